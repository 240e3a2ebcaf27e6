#include "expect/input.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <thread>
// Windows builds use MinGW's win32 threads, which have no std::thread: there
// the parts are read when they are asked for.
#define KEYSCRIPT_READ_AHEAD 1
#endif

namespace keyscript {

std::ptrdiff_t system_read(int fd, char* data, std::size_t size) {
#ifdef _WIN32
  constexpr std::size_t most = std::size_t{1} << 30;  // _read takes an unsigned int
  return _read(fd, data, static_cast<unsigned int>(size < most ? size : most));
#else
  return ::read(fd, data, size);
#endif
}

namespace {

// Parts go round a ring of slots: while the caller works through one, the
// reading thread fills the others.
constexpr std::size_t SLOTS = 4;

struct input_slot {
  char bytes[INPUT_ROOM_BEFORE + INPUT_CARRY + INPUT_PART];
  std::ptrdiff_t got;  // what the read returned
  int error;
  bool full;  // read, and not yet given back
};

input_slot slots[SLOTS];
int input_fd = -1;
read_function read_input = system_read;
std::size_t next_slot = 0;
input_slot* handed_out = nullptr;  // given back once its carried bytes are copied

char* read_area(input_slot& slot) { return slot.bytes + INPUT_ROOM_BEFORE + INPUT_CARRY; }

void fill(input_slot& slot) {
  std::ptrdiff_t got = 0;
  do {
    got = read_input(input_fd, read_area(slot), INPUT_PART);
  } while (got < 0 && errno == EINTR);
  slot.got = got;
  slot.error = got < 0 ? errno : 0;
}

#ifdef KEYSCRIPT_READ_AHEAD
// The thread is detached as it starts: a program ends without waiting for
// it (it may be waiting on a pipe that stays silent). Whoever must know that
// it has finished waits for `finished` instead.
struct read_ahead {
  std::mutex lock;
  std::condition_variable changed;
  bool running = false;
  bool stopping = false;
  bool finished = false;  // the thread touches nothing shared any more
};

// Never destroyed: at exit the thread may still be waiting on it.
read_ahead& ahead() {
  static auto* state = new read_ahead;
  return *state;
}

void read_parts() {
  read_ahead& state = ahead();
  for (std::size_t i = 0;; i = (i + 1) % SLOTS) {
    input_slot& slot = slots[i];
    {
      std::unique_lock<std::mutex> held(state.lock);
      state.changed.wait(held, [&] { return !slot.full || state.stopping; });
      if (state.stopping) {
        break;
      }
    }
    fill(slot);
    {
      const std::lock_guard<std::mutex> held(state.lock);
      slot.full = true;
    }
    state.changed.notify_all();
    if (slot.got <= 0) {
      break;  // the end, or a failure: nothing is read after it
    }
  }
  {
    const std::lock_guard<std::mutex> held(state.lock);
    state.finished = true;
  }
  state.changed.notify_all();
}
#endif

// Waits until `slot` is read (or reads it now, without a reading thread).
void wait_until_full(input_slot& slot) {
#ifdef KEYSCRIPT_READ_AHEAD
  read_ahead& state = ahead();
  if (state.running) {
    std::unique_lock<std::mutex> held(state.lock);
    state.changed.wait(held, [&] { return slot.full; });
    return;
  }
#endif
  fill(slot);
  slot.full = true;
}

void give_back(input_slot* slot) {
  if (slot == nullptr) {
    return;
  }
#ifdef KEYSCRIPT_READ_AHEAD
  read_ahead& state = ahead();
  {
    const std::lock_guard<std::mutex> held(state.lock);
    slot->full = false;
  }
  state.changed.notify_all();
#else
  slot->full = false;
#endif
}

}  // namespace

void start_input(int fd, bool ahead_of_time, read_function read_some) {
  input_fd = fd;
  read_input = read_some;
  next_slot = 0;
  handed_out = nullptr;
  for (input_slot& slot : slots) {
    slot.full = false;
  }
#ifdef KEYSCRIPT_READ_AHEAD
  if (ahead_of_time) {
    read_ahead& state = ahead();
    state.stopping = false;
    state.finished = false;
    state.running = true;
    std::thread(read_parts).detach();
  }
#else
  (void)ahead_of_time;
#endif
}

input_part next_input(std::string_view carried) {
  input_slot& slot = slots[next_slot];
  next_slot = (next_slot + 1) % SLOTS;
  wait_until_full(slot);
  char* data = read_area(slot) - carried.size();
  if (!carried.empty()) {
    std::memcpy(data, carried.data(), carried.size());
  }
  give_back(handed_out);
  handed_out = &slot;
  const std::size_t read = slot.got > 0 ? static_cast<std::size_t>(slot.got) : 0;
  return {data, carried.size() + read, slot.got == 0, slot.error};
}

void stop_input() {
#ifdef KEYSCRIPT_READ_AHEAD
  read_ahead& state = ahead();
  if (!state.running) {
    return;
  }
  std::unique_lock<std::mutex> held(state.lock);
  state.stopping = true;
  state.changed.notify_all();
  state.changed.wait(held, [&] { return state.finished; });
  state.running = false;
#endif
}

}  // namespace keyscript
