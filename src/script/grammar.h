#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The script's grammar a line at a time, and the one wording of every
// refusal: the replayer's slow path and a script read into its compact value
// both read lines here, so that they accept the same scripts and blame the
// same line for the same fault.

namespace keyscript {

// The item of one line (script_value.h's encoding), its line end taken off,
// read inside an insertion block or outside one; none when the line is not
// the language there.
std::optional<std::int32_t> item_of_line(std::string_view text, bool in_block);

// Why `text` is refused where it stands (item_of_line gave none for it).
std::string why_refused(std::string_view text, bool in_block);
// Why a line that comes after the q line is refused.
std::string why_after_q(std::string_view text);

// A script's input has ended without its q line, after `lines` whole lines;
// `unfinished` is its last line when that has no line end. Only a q outside
// a block may end a script that way (last_line_is_q says whether it does).
bool last_line_is_q(std::string_view unfinished, bool in_block);
struct refusal {
  std::uint64_t line;  // the line blamed, 1 for the first
  std::string why;
};
refusal refuse_end(std::uint64_t lines, bool in_block, std::string_view unfinished);

}  // namespace keyscript
