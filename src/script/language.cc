#include "script/language.h"

namespace keyscript {

std::int32_t parse_key(std::string_view text) {
  if (text.empty() || text.size() > 5 || (text[0] == '0' && text.size() > 1)) {
    return -1;
  }
  std::int32_t key = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') {
      return -1;
    }
    key = key * 10 + (c - '0');
  }
  return key < KEY_VALUES ? key : -1;
}

}  // namespace keyscript
