#pragma once

#include <cstddef>
#include <string_view>

// The script's bytes, read in parts. Where threads are available (not on
// Windows builds) a thread of its own reads the next parts while the caller
// works through one: copying out of a pipe is about a third of the reader's
// work, and this way it runs beside the parsing rather than before it.

namespace keyscript {

// One call of the platform's read: the bytes read (0 at the end), or -1
// with errno set.
using read_function = std::ptrdiff_t (*)(int fd, char* data, std::size_t size);
std::ptrdiff_t system_read(int fd, char* data, std::size_t size);

// The most of an unfinished line that can be carried in front of the next
// part; a line longer than that is refused before its end is read.
inline constexpr std::size_t INPUT_CARRY = 4096;
// Bytes read for one part, at the most.
inline constexpr std::size_t INPUT_PART = std::size_t{1} << 18;
// A part's data can be read from this many bytes before it (8-byte loads
// that end at a line end).
inline constexpr std::size_t INPUT_ROOM_BEFORE = 8;

struct input_part {
  const char* data;  // the carried bytes, then the bytes read
  std::size_t size;
  bool at_end;  // the input has ended: nothing was read after the carried bytes
  int error;    // the errno value of a failed read, else 0
};

// Starts reading `fd`; `ahead` reads on a thread of its own where there are
// threads.
void start_input(int fd, bool ahead, read_function read_some = system_read);

// The next part, with `carried` (at most INPUT_CARRY bytes of the part
// before, which must be the last one handed out) copied in front of it.
input_part next_input(std::string_view carried);

// Stops the reading thread and waits until it has finished. Only for an
// input that ends or keeps coming (as a test's does): a thread waiting on a
// silent pipe would never finish. A program about to exit leaves it be.
void stop_input();

}  // namespace keyscript
