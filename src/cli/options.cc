#include "cli/options.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "io/quote.h"

namespace keyscript {

void begin_options() {
  // 0 makes glibc and MinGW-w64 start again from scratch, permutation and all.
  optind = 0;
  opterr = 0;  // the messages are ours
}

void complain_usage(message_stream& messages, const char* invoked, const char* format, ...) {
  char what[512];
  va_list values;
  va_start(values, format);
  std::vsnprintf(what, sizeof what, format, values);
  va_end(values);
  complain(messages, "%s\nTry '%s --help'.\n", what, invoked);
}

// How many long names `word` ("--name" or "--name=value") abbreviates.
static int long_matches(const char* word, const option* names) {
  const char* name = word + 2;
  const std::size_t length = std::strcspn(name, "=");
  int matches = 0;
  for (const option* o = names; o->name != nullptr; ++o) {
    matches += std::strncmp(o->name, name, length) == 0 ? 1 : 0;
  }
  return matches;
}

int next_option(int argc, char** argv, const char* letters, const option* names, message_stream& messages,
                const char* invoked) {
  // A leading ':' tells a missing value (':') from an unknown option ('?').
  // A leading '+' (stop at the first operand) must stay first.
  char with_colon[64];
  const bool in_order = letters[0] == '+';
  std::snprintf(with_colon, sizeof with_colon, "%s:%s", in_order ? "+" : "", letters + (in_order ? 1 : 0));
  const int found = getopt_long(argc, argv, with_colon, names, nullptr);
  if (found != '?' && found != ':') {
    return found;
  }
  const char* word = argv[optind - 1];
  const bool long_word = std::strncmp(word, "--", 2) == 0;
  char letter[3] = {'-', static_cast<char>(optopt), '\0'};
  const char* named = long_word ? word : letter;
  if (found == ':') {
    complain_usage(messages, invoked, "option %s needs a value", quote(named).text);
  } else if (long_word && optopt != 0) {
    complain_usage(messages, invoked, "option %s takes no value", quote(named).text);
  } else if (long_word && long_matches(word, names) > 1) {
    complain_usage(messages, invoked, "option %s is ambiguous", quote(named).text);
  } else {
    complain_usage(messages, invoked, "unknown option %s", quote(named).text);
  }
  return OPTION_REFUSED;
}

}  // namespace keyscript
