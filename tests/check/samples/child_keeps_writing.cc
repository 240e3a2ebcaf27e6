// A correct program under test whose child, in a session of its own, writes
// a line to the standard error it inherited every 10 ms, for ever. A checker
// that reads the output until no process writes to it never ends a run.
#include <unistd.h>

#include "script_io.h"

int main() {
  if (fork() == 0) {
    setsid();
    for (;;) {
      [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, "still here\n", 11);
      keyscript::samples::SleepMilliseconds(10);
    }
  }
  keyscript::samples::KeySet keys;
  keyscript::samples::KeyWriter out;
  return keyscript::samples::RunScript(keys, out);
}
