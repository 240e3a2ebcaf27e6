// A correct program under test whose child, in a session of its own, writes
// a line to the standard error it inherited every 10 ms, for ever. A checker
// that reads the output until no process writes to it never ends a run.
#include <unistd.h>

#include "samples.h"
#include "script_io.h"

namespace keyscript::samples::child_keeps_writing {

int Main(char** /*argv*/) {
  if (fork() == 0) {
    setsid();
    for (;;) {
      [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, "still here\n", 11);
      SleepMilliseconds(10);
    }
  }
  KeySet keys;
  KeyWriter out;
  return RunScript(keys, out);
}

}  // namespace keyscript::samples::child_keeps_writing
