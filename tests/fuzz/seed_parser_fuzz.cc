// Checks parse_seed against a plain model: a seed is a non-empty run of
// digits whose value, leading zeros aside, is at most 4294967295.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "keyscript/command_line.h"

static std::optional<std::uint32_t> model_seed(const std::string& text) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) {
    return std::nullopt;
  }
  const std::size_t first = text.find_first_not_of('0');
  const std::string digits = first == std::string::npos ? "0" : text.substr(first);
  if (digits.size() > 10 || (digits.size() == 10 && digits > "4294967295")) {
    return std::nullopt;
  }
  return static_cast<std::uint32_t>(std::stoull(digits));
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::string text = bytes.c_str();  // as the environment gives it: up to the first NUL
  if (keyscript::parse_seed(text.c_str()) != model_seed(text)) {
    std::abort();
  }
  return 0;
}
