// A program under test that ignores SIGTERM and sleeps for ever, without
// reading its script: only SIGKILL ends it.
#include <chrono>
#include <csignal>
#include <thread>

int main() {
  std::signal(SIGTERM, SIG_IGN);
  for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}
