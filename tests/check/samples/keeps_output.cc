// A correct program under test that writes nothing until the script has
// ended: every listing waits in memory, and all of them go out at once.
#include "samples.h"
#include "script_io.h"

namespace keyscript::samples::keeps_output {

int Main(char** /*argv*/) {
  KeySet keys;
  KeyWriter out(/*keep_everything=*/true);
  return RunScript(keys, out);
}

}  // namespace keyscript::samples::keeps_output
