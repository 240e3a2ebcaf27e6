#include "io/input.h"

#include <cerrno>
#include <cstring>

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>
// Windows builds use MinGW's win32 threads: there the parts are read when
// they are asked for.
#define KEYSCRIPT_READ_AHEAD 1
#endif

namespace keyscript {

// Outside the unnamed namespace, as input_reader::shared holds it.
struct input_slot {
  std::unique_ptr<char[]> bytes;  // room before, the carried line, then the part
  std::ptrdiff_t got;             // what the read returned
  int error;
  bool full;  // read, and not yet given back
};

namespace {

// Parts go round a ring of slots: while the caller works through one, the
// reading thread fills the others.
constexpr std::size_t SLOTS = 4;

char* read_area(input_slot& slot) { return slot.bytes.get() + line_span::READABLE_BEFORE + INPUT_CARRY; }

}  // namespace

struct input_reader::shared {
  int fd;
  read_function read;
  std::size_t part;
  input_slot slots[SLOTS];
  input_slot* handed_out = nullptr;  // given back once its carried bytes are copied
#ifdef KEYSCRIPT_READ_AHEAD
  std::mutex lock;
  std::condition_variable changed;
  bool running = false;
  bool stopping = false;
  int wake[2] = {-1, -1};  // written to stop a thread that waits for input
  pthread_t thread{};
#endif
};

namespace {

void fill(input_reader::shared& state, input_slot& slot) {
  slot.got = read_some(state.fd, read_area(slot), state.part, state.read);
  slot.error = slot.got < 0 ? errno : 0;
}

#ifdef KEYSCRIPT_READ_AHEAD
// Waits until the input has bytes (or has ended) or the reader is stopped;
// false when stopped. Polling first means a thread never sits in a read that
// nothing would end.
bool wait_for_input(input_reader::shared& state) {
  if (state.fd < 0) {
    return true;  // no descriptor: a test's read function, which never waits
  }
  pollfd both[2] = {{state.fd, POLLIN, 0}, {state.wake[0], POLLIN, 0}};
  while (::poll(both, 2, -1) < 0) {
    if (errno != EINTR) {
      return true;  // the read says what is wrong
    }
  }
  return (both[1].revents & POLLIN) == 0;
}

void* read_parts(void* argument) {
  auto& state = *static_cast<input_reader::shared*>(argument);
  for (std::size_t i = 0;; i = (i + 1) % SLOTS) {
    input_slot& slot = state.slots[i];
    {
      std::unique_lock<std::mutex> held(state.lock);
      state.changed.wait(held, [&] { return !slot.full || state.stopping; });
      if (state.stopping) {
        break;
      }
    }
    if (!wait_for_input(state)) {
      break;
    }
    fill(state, slot);
    {
      const std::lock_guard<std::mutex> held(state.lock);
      slot.full = true;
    }
    state.changed.notify_all();
    if (slot.got <= 0) {
      break;  // the end, or a failure: nothing is read after it
    }
  }
  return nullptr;
}

bool start_reading_thread(input_reader::shared& state) {
  if (::pipe(state.wake) != 0) {
    return false;
  }
  ::fcntl(state.wake[0], F_SETFD, FD_CLOEXEC);
  ::fcntl(state.wake[1], F_SETFD, FD_CLOEXEC);
  // A thread that cannot start (too little address space or too many
  // processes) is no reason to fail: the main thread reads instead.
  if (::pthread_create(&state.thread, nullptr, read_parts, &state) != 0) {
    ::close(state.wake[0]);
    ::close(state.wake[1]);
    return false;
  }
  state.running = true;
  return true;
}
#endif

// Waits until `slot` is read (or reads it now, without a reading thread).
void wait_until_full(input_reader::shared& state, input_slot& slot) {
#ifdef KEYSCRIPT_READ_AHEAD
  if (state.running) {
    std::unique_lock<std::mutex> held(state.lock);
    state.changed.wait(held, [&] { return slot.full; });
    return;
  }
#endif
  fill(state, slot);
  slot.full = true;
}

void give_back(input_reader::shared& state, input_slot* slot) {
  if (slot == nullptr) {
    return;
  }
#ifdef KEYSCRIPT_READ_AHEAD
  {
    const std::lock_guard<std::mutex> held(state.lock);
    slot->full = false;
  }
  state.changed.notify_all();
#else
  (void)state;
  slot->full = false;
#endif
}

// The end of the last line end in [data, end), or `data` when there is none.
const char* after_last_newline(const char* data, const char* end) {
  while (end != data && end[-1] != '\n') {
    --end;
  }
  return end;
}

}  // namespace

input_reader::input_reader(int fd, bool read_ahead, read_function read, std::size_t part) : shared_(new shared) {
  shared_->fd = fd;
  shared_->read = read;
  shared_->part = part;
  for (input_slot& slot : shared_->slots) {
    slot.bytes.reset(new char[line_span::READABLE_BEFORE + INPUT_CARRY + part]);
    slot.full = false;
  }
#ifdef KEYSCRIPT_READ_AHEAD
  if (read_ahead) {
    start_reading_thread(*shared_);
  }
#else
  (void)read_ahead;
#endif
}

input_reader::~input_reader() {
#ifdef KEYSCRIPT_READ_AHEAD
  shared& state = *shared_;
  if (state.running) {
    {
      const std::lock_guard<std::mutex> held(state.lock);
      state.stopping = true;
    }
    state.changed.notify_all();
    const char stop = 0;
    (void)!::write(state.wake[1], &stop, 1);
    ::pthread_join(state.thread, nullptr);
    ::close(state.wake[0]);
    ::close(state.wake[1]);
  }
#endif
}

input_chunk input_reader::next() {
  for (;;) {
    input_slot& slot = shared_->slots[next_slot_];
    next_slot_ = (next_slot_ + 1) % SLOTS;
    wait_until_full(*shared_, slot);
    char* data = read_area(slot) - carried_.size();
    if (!carried_.empty()) {
      std::memmove(data, carried_.data(), carried_.size());
    }
    give_back(*shared_, shared_->handed_out);
    shared_->handed_out = &slot;
    const std::size_t read = slot.got > 0 ? static_cast<std::size_t>(slot.got) : 0;
    const char* end = data + carried_.size() + read;
    const char* whole = after_last_newline(data, end);
    input_chunk chunk{{data, static_cast<std::size_t>(whole - data)}, {}, slot.got == 0, false, slot.error};
    carried_ = std::string_view(whole, static_cast<std::size_t>(end - whole));
    if (chunk.at_end || chunk.error != 0) {
      chunk.unfinished = carried_;
      carried_ = {};
      return chunk;
    }
    if (carried_.size() > INPUT_CARRY) {
      // No line is that long; it is handed out on what there is of it.
      chunk.unfinished = carried_.substr(0, INPUT_CARRY);
      chunk.too_long = true;
      carried_ = {};
      return chunk;
    }
    if (chunk.lines.size != 0) {
      return chunk;
    }
  }
}

}  // namespace keyscript
