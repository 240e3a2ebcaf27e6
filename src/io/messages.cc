#include "io/messages.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "io/platform.h"

namespace keyscript {

static void say_with(message_stream& messages, const char* prefix, const char* format, va_list values) {
  char line[256];
  const std::size_t start = std::strlen(prefix) < sizeof line ? std::strlen(prefix) : 0;
  std::memcpy(line, prefix, start);
  va_list again;
  va_copy(again, values);
  const int length = std::vsnprintf(line + start, sizeof line - start, format, values);
  // The rare line that does not fit, such as one naming a long program
  // path, is formatted again into room of its own (malloc rather than a
  // std::string keeps keyscript free of libstdc++ and its start-up cost).
  char* longer = nullptr;
  const std::size_t total = start + static_cast<std::size_t>(length < 0 ? 0 : length);
  if (length >= 0 && total >= sizeof line) {
    longer = static_cast<char*>(std::malloc(total + 1));
    if (longer != nullptr) {
      std::memcpy(longer, line, start);
      std::vsnprintf(longer + start, total + 1 - start, format, again);
    }
  }
  va_end(again);
  const bool formatted = length >= 0 && (total < sizeof line || longer != nullptr);
  if (!formatted || write_all(messages.fd, longer != nullptr ? longer : line, total) != 0) {
    messages.lost = true;
  }
  std::free(longer);
}

void say(message_stream& messages, const char* format, ...) {
  va_list values;
  va_start(values, format);
  say_with(messages, "", format, values);
  va_end(values);
}

void complain(message_stream& messages, const char* format, ...) {
  char prefix[128];
  std::snprintf(prefix, sizeof prefix, "%s: ", messages.program);
  va_list values;
  va_start(values, format);
  say_with(messages, prefix, format, values);
  va_end(values);
}

const char* invoked_name(int argc, char** argv, const char* fallback) {
  return argc > 0 && argv[0] != nullptr && argv[0][0] != '\0' ? argv[0] : fallback;
}

}  // namespace keyscript
