#include "expect/key_lines.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "expect/input.h"
#include "reference_replay.h"

namespace keyscript {
namespace {

key_model model;

struct kernel {
  const char* name;
  const char* (*take)(key_model&, const char*, const char*, std::uint64_t&);
};

std::vector<kernel> kernels_here() {
  std::vector<kernel> kernels = {{"portable", take_key_lines_portable}};
#if defined(KEYSCRIPT_X86_V3)
  if (cpu_runs_x86_v3()) {
    kernels.push_back({"x86-64 AVX2", take_key_lines_x86_v3});
  }
#endif
  return kernels;
}

// Lines, mostly plain keys, with a few that no fast path may take.
std::string random_lines(std::mt19937& random, std::size_t count, unsigned odd_in) {
  static const char* const odd[] = {"32768", "99999", "00", "012", "123456", "",       "1 2",
                                    "12\r",  "-1",    "x",  "0x1", "100000", "3276\r", "1234567890123"};
  std::string text;
  for (std::size_t i = 0; i < count; ++i) {
    if (random() % odd_in == 0) {
      text += odd[random() % std::size(odd)];
    } else {
      const std::uint32_t digits = 1 + random() % 5;
      const std::uint32_t key = random() % 32768;
      text += std::to_string(digits < 5 ? key % 10 * (digits > 1 ? 1000 : 1) : key);
    }
    text += '\n';
  }
  return text;
}

TEST(KeyLines, EachFastPathTakesOnlyPlainKeysAndCountsThemAll) {
  std::mt19937 random(20261209);
  for (const kernel& k : kernels_here()) {
    for (int round = 0; round < 300; ++round) {
      const std::string lines = random_lines(random, 200, round % 2 == 0 ? 1000000 : 40);
      std::vector<char> buffer(INPUT_ROOM_BEFORE + lines.size(), '\n');
      std::memcpy(buffer.data() + INPUT_ROOM_BEFORE, lines.data(), lines.size());
      const char* begin = buffer.data() + INPUT_ROOM_BEFORE;
      const char* end = begin + lines.size();
      reset(model, semantics::multiset);
      std::uint64_t taken = 0;
      const char* stop = k.take(model, begin, end, taken);
      // It stops at a line start, having taken every line before it...
      ASSERT_TRUE(stop == begin || stop[-1] == '\n') << k.name;
      ASSERT_EQ(static_cast<std::uint64_t>(std::count(begin, stop, '\n')), taken) << k.name;
      // ...each a plain key, counted once.
      std::vector<std::uint32_t> want(KEY_VALUES, 0);
      for (const char* line = begin; line < stop;) {
        const char* line_end = static_cast<const char*>(std::memchr(line, '\n', static_cast<std::size_t>(stop - line)));
        int key = -1;
        ASSERT_TRUE(reference::plain_key(std::string_view(line, static_cast<std::size_t>(line_end - line)), key))
            << k.name << ": took '" << std::string(line, line_end) << "'";
        ++want[static_cast<std::size_t>(key)];
        line = line_end + 1;
      }
      ASSERT_EQ(std::memcmp(model.added, want.data(), sizeof model.added), 0) << k.name << " round " << round;
      // Only a line it cannot take, or the last window, stops it.
      const char* next_end = static_cast<const char*>(std::memchr(stop, '\n', static_cast<std::size_t>(end - stop)));
      int key = -1;
      const bool next_plain =
          next_end != nullptr &&
          reference::plain_key(std::string_view(stop, static_cast<std::size_t>(next_end - stop)), key);
      if (next_plain && end - stop >= 128) {
        // A window may end on a line it cannot take: never more than 64 bytes away.
        const char* bad = stop;
        for (; bad < end;) {
          const char* e = static_cast<const char*>(std::memchr(bad, '\n', static_cast<std::size_t>(end - bad)));
          if (!reference::plain_key(std::string_view(bad, static_cast<std::size_t>(e - bad)), key)) {
            break;
          }
          bad = e + 1;
        }
        EXPECT_LE(bad - stop, 64) << k.name << ": stopped short of " << bad - stop << " bytes of plain keys";
      }
    }
  }
}

}  // namespace
}  // namespace keyscript
