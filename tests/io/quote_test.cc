#include "io/quote.h"

#include <gtest/gtest.h>

#include <string>

namespace keyscript {
namespace {

TEST(Quote, TextComesOutAsOneShellWord) {
  const struct {
    std::string text, word;
  } cases[] = {
      {"1e6", "'1e6'"},
      {"", "''"},
      {" 5", "' 5'"},
      {"it's", "'it'\\''s'"},
      {"'", "\\'"},
      {"5\n", "'5'$'\\n'"},
      {"\t\r\v\f", "$'\\t'$'\\r'$'\\v'$'\\f'"},
      {"a\x01"
       "b",
       "'a'$'\\001''b'"},
      {"\x7F", "$'\\177'"},
      {"d 5\r", "'d 5'$'\\r'"},
      {"\xC3\xA9t\xC3\xA9", "'\xC3\xA9t\xC3\xA9'"},  // UTF-8 passes through
  };
  for (const auto& c : cases) {
    EXPECT_EQ(quote(c.text).text, c.word) << c.text;
    EXPECT_EQ(shell_word(c.text), c.word) << c.text;
  }
}

TEST(Quote, LongTextIsCutToFitTheRoom) {
  for (const std::size_t length : {250, 251, 252, 253, 254, 255, 1000}) {
    const std::string word = quote(std::string(length, '7')).text;
    ASSERT_LT(word.size(), QUOTED_CAPACITY) << length;
    const bool whole = length + 2 < QUOTED_CAPACITY;
    const std::size_t digits = whole ? length : word.size() - 5;
    EXPECT_EQ(word.find_first_not_of('7', 1), digits + 1) << length;
    EXPECT_EQ(word.substr(digits + 1), whole ? "'" : "'...") << length;
  }
  // A cut between escapes never leaves half of one.
  const std::string word = quote(std::string(200, '\n')).text;
  EXPECT_EQ(word.substr(word.size() - 8), "$'\\n'...");
  // What is to be run again is never cut.
  EXPECT_EQ(shell_word(std::string(1000, '7')), "'" + std::string(1000, '7') + "'");
}

}  // namespace
}  // namespace keyscript
