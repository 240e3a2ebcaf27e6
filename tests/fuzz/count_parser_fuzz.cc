// Checks parse_count against a plain model: the same reading rules, with the
// digits accumulated in 64 bits and wrapped to 32 only at the end, and whether
// they fit decided by comparing them as text.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "keyscript/command_line.h"

static std::optional<keyscript::count_reading> model_count(const char* text) {
  const auto space = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  while (space(*text)) {
    ++text;
  }
  const bool negative = *text == '-';
  if (*text == '+' || *text == '-') {
    ++text;
  }
  if (*text < '0' || *text > '9') {
    return std::nullopt;
  }
  std::string digits;
  for (; *text >= '0' && *text <= '9'; ++text) {
    digits += *text;
  }
  std::uint64_t value = 0;  // wraps modulo 2^64, which 2^32 divides
  for (const char digit : digits) {
    value = value * 10 + static_cast<std::uint64_t>(digit - '0');
  }
  while (space(*text)) {
    ++text;
  }
  // The digits fit when, leading zeros aside, they are no longer and no
  // larger as text than the largest value of their sign.
  const std::size_t first = digits.find_first_not_of('0');
  const std::string significant = first == std::string::npos ? "0" : digits.substr(first);
  const std::string largest = negative ? "2147483648" : "2147483647";
  const bool fits =
      significant.size() < largest.size() || (significant.size() == largest.size() && significant <= largest);
  const auto low = static_cast<std::uint32_t>(value);
  return keyscript::count_reading{static_cast<std::int32_t>(negative ? 0U - low : low), *text != '\0', !fits};
}

static bool same(const std::optional<keyscript::count_reading>& a, const std::optional<keyscript::count_reading>& b) {
  if (!a || !b) {
    return a.has_value() == b.has_value();
  }
  return a->value == b->value && a->text_after_digits == b->text_after_digits && a->wrapped == b->wrapped;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  if (!same(keyscript::parse_count(text.c_str()), model_count(text.c_str()))) {
    std::abort();
  }
  return 0;
}
