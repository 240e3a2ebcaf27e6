// A program under test that ignores SIGTERM and sleeps for ever, without
// reading its script: only SIGKILL ends it.
#include <unistd.h>

#include <csignal>

#include "samples.h"

namespace keyscript::samples::ignores_term {

int Main(char** /*argv*/) {
  std::signal(SIGTERM, SIG_IGN);
  for (;;) pause();
}

}  // namespace keyscript::samples::ignores_term
