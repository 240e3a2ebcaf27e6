#include <atomic>
#include <csignal>

#include "check/command_line.h"

namespace {

// Set by SIGINT and SIGTERM: the run stops its children and ends with what
// it has.
std::atomic<bool> interrupted{false};

void note_interrupt(int /*signal*/) { interrupted.store(true); }

}  // namespace

int main(int argc, char** argv) {
  struct sigaction on_interrupt {};
  on_interrupt.sa_handler = note_interrupt;
  sigemptyset(&on_interrupt.sa_mask);
  sigaction(SIGINT, &on_interrupt, nullptr);
  sigaction(SIGTERM, &on_interrupt, nullptr);
  return keyscript::run_keyscript_check(argc, argv, interrupted);
}
