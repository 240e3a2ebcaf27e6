// A correct program under test that leaves a child behind: the child sleeps
// for ever with the program's standard output open, while the program itself
// answers the script and ends. A checker that waits for the end of the
// output, rather than for the program, never finishes.
#include <unistd.h>

#include "script_io.h"

int main() {
  if (fork() == 0) {
    for (;;) pause();
  }
  keyscript::samples::KeySet keys;
  keyscript::samples::KeyWriter out;
  return keyscript::samples::RunScript(keys, out);
}
