// A correct program under test that leaves a child behind: the child sleeps
// for ever with the program's standard output open, while the program itself
// answers the script and ends. A checker that waits for the end of the
// output, rather than for the program, never finishes.
#include <unistd.h>

#include "samples.h"
#include "script_io.h"

namespace keyscript::samples::leaves_child {

int Main(char** /*argv*/) {
  if (fork() == 0) {
    for (;;) pause();
  }
  KeySet keys;
  KeyWriter out;
  return RunScript(keys, out);
}

}  // namespace keyscript::samples::leaves_child
