#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

#include "io/line_span.h"
#include "io/platform.h"

// A script's bytes, read in parts and handed out as spans of whole lines.
// Where there are threads (not on Windows builds), a thread of the reader's
// own reads the next parts while the caller works through one: copying out
// of a pipe is about a third of a replay's work, and this way it runs beside
// the parsing rather than before it. The thread lives as long as the reader.

namespace keyscript {

// The most of an unfinished line that is carried in front of the next part;
// a line longer than that is handed out as too long before its end is read.
inline constexpr std::size_t INPUT_CARRY = 4096;
// Bytes read for one part, at the most, unless a reader is given another
// size: a quarter of a megabyte a part, in a ring of four, keeps a pipe's
// reads few and large.
inline constexpr std::size_t INPUT_PART = std::size_t{1} << 18;

struct input_chunk {
  line_span lines;
  // At the end of the input, the last line when it has no line end; when
  // `too_long`, the first INPUT_CARRY bytes of a line without an end so far.
  std::string_view unfinished;
  bool at_end;    // nothing follows `unfinished`
  bool too_long;  // a line longer than INPUT_CARRY: nothing follows it either
  int error;      // the errno value of a failed read, else 0 (nothing follows)
};

class input_reader {
 public:
  // Reads `fd`; with `read_ahead`, on a thread of its own where one can be
  // started (where it cannot, the parts are read as they are asked for).
  input_reader(int fd, bool read_ahead, read_function read = system_read, std::size_t part = INPUT_PART);
  ~input_reader();
  input_reader(const input_reader&) = delete;
  input_reader& operator=(const input_reader&) = delete;

  // The next whole lines; waits for at least one line, the end or a failure.
  // The span stays valid until the next call.
  input_chunk next();

  struct shared;  // what the reading thread and the caller share

 private:
  std::unique_ptr<shared> shared_;
  std::size_t next_slot_ = 0;
  std::string_view carried_;  // the unfinished line at the end of the last part
};

}  // namespace keyscript
