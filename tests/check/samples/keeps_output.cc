// A correct program under test that writes nothing until the script has
// ended: every listing waits in memory, and all of them go out at once.
#include "script_io.h"

int main() {
  keyscript::samples::KeySet keys;
  keyscript::samples::KeyWriter out(/*keep_everything=*/true);
  return keyscript::samples::RunScript(keys, out);
}
