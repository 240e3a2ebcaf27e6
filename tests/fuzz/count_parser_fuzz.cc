// Checks parse_count against a plain model: the same reading rules, with the
// digits accumulated in 64 bits and wrapped to 32 only at the end.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/command_line.h"

static std::optional<std::int32_t> model_count(const char* text) {
  while (*text == ' ' || (*text >= '\t' && *text <= '\r')) {
    ++text;
  }
  const bool negative = *text == '-';
  if (*text == '+' || *text == '-') {
    ++text;
  }
  if (*text < '0' || *text > '9') {
    return std::nullopt;
  }
  std::uint64_t value = 0;  // wraps modulo 2^64, which 2^32 divides
  for (; *text >= '0' && *text <= '9'; ++text) {
    value = value * 10 + static_cast<std::uint64_t>(*text - '0');
  }
  const auto low = static_cast<std::uint32_t>(value);
  return static_cast<std::int32_t>(negative ? 0U - low : low);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  if (parse_count(text.c_str()) != model_count(text.c_str())) {
    std::abort();
  }
  return 0;
}
