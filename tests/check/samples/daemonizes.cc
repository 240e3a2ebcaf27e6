// A correct program under test that starts a daemon as daemons start: it
// forks, the child calls setsid and forks again, and the grandchild, in a
// session of its own with its standard streams on /dev/null, sleeps for
// ever. Killing the program's process group does not reach it.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "samples.h"
#include "script_io.h"

namespace keyscript::samples::daemonizes {

int Main(char** /*argv*/) {
  const pid_t child = fork();
  if (child == 0) {
    setsid();
    if (fork() == 0) {
      const int null = open("/dev/null", O_RDWR);
      for (int stream = 0; stream <= 2; ++stream) dup2(null, stream);
      for (;;) pause();
    }
    _exit(0);
  }
  waitpid(child, nullptr, 0);
  KeySet keys;
  KeyWriter out;
  return RunScript(keys, out);
}

}  // namespace keyscript::samples::daemonizes
