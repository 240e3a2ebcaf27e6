#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace keyscript {

// Room for a quoted word in a message: a longer text is cut.
inline constexpr std::size_t QUOTED_CAPACITY = 256;

struct quoted_word {
  char text[QUOTED_CAPACITY];
};

// `text` as one shell word in single quotes, the way a user would type it
// back: 'it'\''s'. Control characters come out as $'\n' escapes, so that a
// message stays one line. A text too long for the room is cut, and "..."
// follows the closing quote.
quoted_word quote(std::string_view text);

// The same word whole, however long: for text that is to be run or parsed
// again (a command line to repeat, a logfmt field), where a cut word would
// name something else.
std::string shell_word(std::string_view text);

}  // namespace keyscript
