#include "io/quote.h"

#include <cstdio>
#include <cstring>

namespace keyscript {

namespace {

// The word written so far, whether it ends in an open '...', and the room
// each piece must leave free for the ending (besides the NUL) when the word
// has a capacity.
struct word_builder {
  std::string text;
  bool open = false;
  std::size_t reserve = 0;
  bool capped = true;
};

// Appends `piece` if it fits, leaving the builder's reserve and the NUL free.
bool append(word_builder& builder, std::string_view piece) {
  if (builder.capped && builder.text.size() + piece.size() + builder.reserve >= QUOTED_CAPACITY) {
    return false;
  }
  builder.text += piece;
  return true;
}

bool set_open(word_builder& builder, bool open) {
  if (builder.open == open) {
    return true;
  }
  builder.open = open;
  return append(builder, "'");
}

// One character as the word shows it: plain inside quotes, a quote as '\'',
// a control character as $'\n' or $'\ooo'.
bool append_char(word_builder& builder, unsigned char c) {
  if (c == '\'') {
    return set_open(builder, false) && append(builder, "\\'");
  }
  if (c >= 0x20 && c != 0x7F) {
    const char plain = static_cast<char>(c);
    return set_open(builder, true) && append(builder, std::string_view(&plain, 1));
  }
  const char* named = c == '\n' ? "n" : c == '\t' ? "t" : c == '\r' ? "r" : c == '\v' ? "v" : c == '\f' ? "f" : nullptr;
  char escape[12];
  if (named != nullptr) {
    std::snprintf(escape, sizeof escape, "$'\\%s'", named);
  } else {
    std::snprintf(escape, sizeof escape, "$'\\%03o'", c);
  }
  return set_open(builder, false) && append(builder, escape);
}

// The word for `text`, or as much of it as leaves `reserve` bytes free;
// false when it had to stop short.
bool build(word_builder& builder, std::string_view text) {
  for (const char c : text) {
    if (!append_char(builder, static_cast<unsigned char>(c))) {
      return false;
    }
  }
  return true;
}

void close_word(word_builder& builder, std::string_view text) {
  builder.reserve = 0;
  if (text.empty()) {
    append(builder, "''");
  } else if (builder.open) {
    append(builder, "'");
  }
}

}  // namespace

quoted_word quote(std::string_view text) {
  // First as a whole word, with room for its closing quote only; a text that
  // does not fit is built again, leaving room for "'..." too.
  word_builder builder;
  builder.reserve = 1;
  const bool whole = build(builder, text);
  if (!whole) {
    builder = word_builder();
    builder.reserve = 4;
    build(builder, text);
  }
  close_word(builder, text);
  if (!whole) {
    append(builder, "...");
  }
  quoted_word word{};
  std::memcpy(word.text, builder.text.data(), builder.text.size());
  return word;
}

std::string shell_word(std::string_view text) {
  word_builder builder;
  builder.capped = false;
  build(builder, text);
  close_word(builder, text);
  return std::move(builder.text);
}

}  // namespace keyscript
