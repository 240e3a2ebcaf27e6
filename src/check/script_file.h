#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "io/messages.h"
#include "script/script_value.h"
#include "script/source.h"

// A saved script, read for a run as it is needed.

namespace keyscript {

// What a saved script is, once it has been read through and found well
// formed: its lines, and whether it can be read again from its path (a
// regular file) or was kept as a value because it cannot (a pipe).
struct saved_file {
  const char* path;
  std::uint64_t lines;
  std::optional<script> value;  // for a file that cannot be read twice
};

// Reads the file at `path` through once, refusing it as keyscript-expect
// would (with the line at fault) when it is not a well-formed script; the
// complaint goes to `messages`.
std::optional<saved_file> check_saved_file(const char* path, message_stream& messages);

// The saved script from its start, in parts; null with errno set when the
// file cannot be opened again.
std::unique_ptr<line_source> open_saved_file(const saved_file& file);

// Its compact value, for shrinking; none when the file can no longer be read
// as it was.
std::optional<script> value_of_saved_file(const saved_file& file);

}  // namespace keyscript
