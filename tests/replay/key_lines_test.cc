#include "replay/key_lines.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "key_lines_check.h"

namespace keyscript {
namespace {

std::uint32_t counts[KEY_VALUES];  // all 0, and left so by each check

// Lines, mostly plain keys, with a few that no fast path may take.
std::string random_lines(std::mt19937& random, std::size_t count, unsigned odd_in) {
  static const char* const odd[] = {"32768", "99999", "00",    "012", "123456", "",       "1 2",
                                    "12\r",  "-1",    "x",     "0x1", "100000", "3276\r", "1234567890123",
                                    "\r",    "0\r",   "7\r\r", "\r5", "01\r"};
  std::string text;
  for (std::size_t i = 0; i < count; ++i) {
    if (random() % odd_in == 0) {
      text += odd[random() % std::size(odd)];
    } else {
      static const std::uint32_t ranges[] = {10, 100, 1000, 10000, 32768};  // keys of every length
      text += std::to_string(random() % ranges[random() % std::size(ranges)]);
    }
    text += '\n';
  }
  return text;
}

TEST(KeyLines, EachFastPathTakesOnlyPlainKeysAndCountsThemAll) {
  std::mt19937 random(20261209);
  for (const key_lines_check::kernel& k : key_lines_check::kernels_here()) {
    for (int round = 0; round < 300; ++round) {
      const std::string lf = random_lines(random, 200, round % 2 == 0 ? 1000000 : 40);
      const std::string lines = round % 3 == 0 ? reference::with_crlf(lf) : lf;
      ASSERT_EQ(key_lines_check::check(k, counts, lines), "") << "round " << round;
    }
  }
}

}  // namespace
}  // namespace keyscript
