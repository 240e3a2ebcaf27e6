#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "io/input.h"
#include "script/source.h"

// A saved script read from its file as it is asked for, in parts of whole
// lines, so that a run holds nothing that grows with the script. The lines
// are handed out as a script's lines are written: LF only (a CR LF line
// loses its CR), and a last q without a line end gets one.

namespace keyscript {

// A saved script's file is read in parts smaller than a pipe's: a file reads
// as fast that way, and a run reads its script twice at once.
inline constexpr std::size_t FILE_PART = std::size_t{1} << 16;

class file_source final : public line_source {
 public:
  // Reads the open descriptor `fd`, and closes it when done.
  explicit file_source(int fd);
  ~file_source() override;

  line_span next() override;
  // The errno value of a failed read, or a line too long for the language
  // (EINVAL); 0 while the file reads as it should. The parts end at it.
  int error() const { return error_; }

 private:
  line_span without_returns(line_span lines);

  int fd_;
  std::unique_ptr<input_reader> reader_;
  std::vector<char> copy_;  // a part with its CRs taken out, 8 bytes of room before it
  bool last_q_ = false;     // the file ended in a q without its line end
  bool ended_ = false;
  int error_ = 0;
};

}  // namespace keyscript
