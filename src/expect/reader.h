#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "expect/input.h"
#include "expect/model.h"

// Reads a script and replays it on a model, writing what a correct program
// holds at every checkpoint as it is reached.
//
// The language, one command a line, each line ending in LF or CR LF: outside
// an insertion block "i" opens one, "s" is a checkpoint, "d KEY" deletes and
// "q" ends the script and is its last line (it may lack its line end);
// inside a block every line is a KEY, and "-1" closes it. A KEY is 0 to 32767
// in plain decimal: no sign, no leading zero, nothing else on the line.

namespace keyscript {

struct replay_options {
  semantics kind = semantics::set;
  bool list_keys = false;   // each checkpoint line is followed by the keys held
  bool read_ahead = false;  // read on a thread of its own (see input.h)
};

enum class replay_end {
  complete,    // a well-formed script, replayed to its q line
  malformed,   // a line was refused, or the script ended before q: said on standard error
  unreadable,  // the input could not be read: said on standard error
};

// Replays the script read from `fd`; `name` is how messages call the input.
// With read_ahead, stop_input() after it stops the reading thread.
replay_end replay(int fd, const char* name, const replay_options& options, read_function read_some = system_read);

// A line's key, or -1 when the line is not a plain key.
std::int32_t parse_key(std::string_view text);

}  // namespace keyscript
