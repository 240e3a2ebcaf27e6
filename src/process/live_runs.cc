#include "process/live_runs.h"

#include <unistd.h>

#include <algorithm>
#include <csignal>

#include "process/system.h"

namespace keyscript {

live_runs::live_runs() : owner_(static_cast<int>(getpid())) {}

std::string live_runs::next_mark() {
  return std::string(MARK_NAME) + '=' + std::to_string(owner_) + '.' + std::to_string(++marks_);
}

std::size_t live_runs::reserve() {
  for (std::size_t slot = 0; slot < CAPACITY; ++slot) {
    int free = 0;
    if (programs_[slot].compare_exchange_strong(free, -1)) {
      return slot;
    }
  }
  return CAPACITY;
}

void live_runs::enter(std::size_t slot, int program) {
  firsts_[slot].store(program);
  programs_[slot].store(program);
}

void live_runs::program_reaped(std::size_t slot) { programs_[slot].store(-1); }

void live_runs::leave(std::size_t slot) {
  firsts_[slot].store(0);
  programs_[slot].store(0);
}

bool live_runs::is_program(int pid) const {
  return std::any_of(programs_.begin(), programs_.end(),
                     [pid](const std::atomic<int>& program) { return program.load() == pid; });
}

bool live_runs::others_in_flight(std::size_t slot) const {
  for (std::size_t other = 0; other < CAPACITY; ++other) {
    if (other != slot && programs_[other].load() != 0) {
      return true;
    }
  }
  return false;
}

void live_runs::kill_all() const noexcept {
  for (const std::atomic<int>& program : programs_) {
    const int group = program.load();
    if (group > 0) {
      kill(-group, SIGKILL);
    }
  }
  kill_adopted_since(owner_, firsts_.data(), CAPACITY, deferred_.load());
}

}  // namespace keyscript
