#include "cli/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../capture.h"
#include "../cli/command_words.h"

namespace keyscript {
namespace {

constexpr option NAMES[] = {
    {"count", required_argument, nullptr, 'c'},
    {"colour", no_argument, nullptr, 'C'},
    {"quiet", no_argument, nullptr, 'q'},
    {nullptr, 0, nullptr, 0},
};

struct read_words {
  std::vector<int> codes;  // every option read, up to and with the last code
  std::string operands;    // what is left, space-separated
  std::string err;
};

read_words read(std::vector<std::string> words) {
  command_words command = command_of("tool", std::move(words));
  const int argc = command.argc();
  char** const argv = command.argv.data();
  read_words got;
  got.err = capture_output([&](int /*out_fd*/, int err_fd) {
              message_stream messages{"tool", err_fd};
              begin_options();
              for (int code = 0; code != OPTIONS_DONE && code != OPTION_REFUSED;) {
                code = next_option(argc, argv, "+c:q", NAMES, messages, "tool");
                got.codes.push_back(code);
              }
              for (int at = optind; at < argc; ++at) {
                got.operands += std::string(got.operands.empty() ? "" : " ") + argv[at];
              }
            }).err;
  return got;
}

TEST(CliOptions, ReadsAsGnuToolsDoAndSaysWhyAWordIsRefused) {
  const struct {
    std::vector<std::string> words;
    std::vector<int> codes;
    std::string operands;
    std::string err;
  } cases[] = {
      {{"--count=3", "-q", "--", "-q"}, {'c', 'q', OPTIONS_DONE}, "-q", ""},
      {{"--cou", "3", "file", "-q"}, {'c', OPTIONS_DONE}, "file -q", ""},
      {{"--count"}, {OPTION_REFUSED}, "", "tool: option '--count' needs a value\nTry 'tool --help'.\n"},
      {{"-c"}, {OPTION_REFUSED}, "", "tool: option '-c' needs a value\nTry 'tool --help'.\n"},
      {{"--quiet=yes"}, {OPTION_REFUSED}, "", "tool: option '--quiet=yes' takes no value\nTry 'tool --help'.\n"},
      {{"--co"}, {OPTION_REFUSED}, "", "tool: option '--co' is ambiguous\nTry 'tool --help'.\n"},
      {{"-x"}, {OPTION_REFUSED}, "", "tool: unknown option '-x'\nTry 'tool --help'.\n"},
      {{"--quiet", "--loud"}, {'q', OPTION_REFUSED}, "", "tool: unknown option '--loud'\nTry 'tool --help'.\n"},
  };
  for (const auto& c : cases) {
    const read_words got = read(c.words);
    EXPECT_EQ(got.codes, c.codes) << c.words.front();
    if (c.codes.back() == OPTIONS_DONE) {
      EXPECT_EQ(got.operands, c.operands) << c.words.front();
    }
    EXPECT_EQ(got.err, c.err) << c.words.front();
  }
}

}  // namespace
}  // namespace keyscript
