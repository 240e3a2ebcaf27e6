#include "check/fault.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace keyscript {
namespace {

std::string ranges_text(const std::vector<line_range>& before) {
  std::string text;
  for (const line_range& range : before) {
    text += ' ';
    text += std::to_string(range.first);
    if (range.last != range.first) {
      text += '-';
      text += std::to_string(range.last);
    }
  }
  return text;
}

TEST(Fault, ACheckpointFollowsEveryCommand) {
  const struct {
    const char* reduced;
    bool split;
    const char* checked;
    const char* before;  // the command before each checkpoint: its lines, 0 for none
  } cases[] = {
      {"i\n1\n0\n2\n-1\nd 1\nq\n", true, "i\n1\n-1\ns\ni\n0\n-1\ns\ni\n2\n-1\ns\nd 1\nq\n", " 2 3 4 6"},
      {"i\n1\n0\n2\n-1\nd 1\nq\n", false, "i\n1\n0\n2\n-1\ns\nd 1\nq\n", " 1-5 6"},
      // A checkpoint of the script's own stands for the one that would be added.
      {"s\ni\n5\n-1\ns\nd 5\nd 5\nq\n", true, "s\ni\n5\n-1\ns\nd 5\ns\nd 5\nq\n", " 0 3 6 7"},
      {"i\n-1\nq\n", false, "i\n-1\nq\n", " 1-2"},
      {"q\n", true, "q\n", " 0"},
  };
  for (const auto& c : cases) {
    const checked_script got = with_checkpoints(parse_script(c.reduced).value, c.split);
    EXPECT_EQ(script_text(got.value), c.checked) << c.reduced << c.split;
    EXPECT_EQ(ranges_text(got.before), c.before) << c.reduced << c.split;
  }
}

}  // namespace
}  // namespace keyscript
