// A program under test that ignores SIGTERM and sleeps for ever, without
// reading its script: only SIGKILL ends it.
#include <unistd.h>

#include <csignal>

int main() {
  std::signal(SIGTERM, SIG_IGN);
  for (;;) pause();
}
