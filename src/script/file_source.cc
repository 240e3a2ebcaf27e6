#include "script/file_source.h"

#include <cerrno>
#include <cstring>

#include "script/language.h"

namespace keyscript {

namespace {

// The last line, written out with its line end and room before it.
constexpr char QUIT_TEXT[] = "\n\n\n\n\n\n\n\nq\n";

}  // namespace

file_source::file_source(int fd) : fd_(fd), reader_(std::make_unique<input_reader>(fd, true, system_read, FILE_PART)) {}

file_source::~file_source() {
  reader_.reset();  // its thread reads `fd_` until it is stopped
  system_close(fd_);
}

// CR LF as LF: the lines copied without the CR before each LF.
line_span file_source::without_returns(line_span lines) {
  copy_.resize(line_span::READABLE_BEFORE + lines.size);
  char* const start = copy_.data() + line_span::READABLE_BEFORE;
  char* out = start;
  for (std::size_t at = 0; at < lines.size; ++at) {
    const char c = lines.data[at];
    if (c != '\r' || at + 1 == lines.size || lines.data[at + 1] != '\n') {
      *out++ = c;
    }
  }
  return {start, static_cast<std::size_t>(out - start)};
}

line_span file_source::next() {
  if (last_q_) {
    last_q_ = false;
    return {QUIT_TEXT + line_span::READABLE_BEFORE, QUIT_LINE.size() + 1};
  }
  while (!ended_) {
    const input_chunk chunk = reader_->next();
    if (chunk.error != 0 || chunk.too_long) {
      error_ = chunk.error != 0 ? chunk.error : EINVAL;
      ended_ = true;
      break;
    }
    if (chunk.at_end) {
      ended_ = true;
      last_q_ = chunk.unfinished == QUIT_LINE;
    }
    if (chunk.lines.size != 0) {
      const bool has_returns = std::memchr(chunk.lines.data, '\r', chunk.lines.size) != nullptr;
      return has_returns ? without_returns(chunk.lines) : chunk.lines;
    }
    if (last_q_) {
      return next();
    }
  }
  return {nullptr, 0};
}

}  // namespace keyscript
