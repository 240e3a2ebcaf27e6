#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "../capture.h"
#include "../replay/reference_replay.h"
#include "expect/command_line.h"

namespace keyscript {
namespace {

// The input the scripted read hands out, `chunk` bytes a call at the most.
std::string source;
std::size_t source_at = 0;
std::size_t chunk = 1;
int fail_with = 0;  // once the source is used up, fail with this instead of ending

std::ptrdiff_t scripted_read(int /*fd*/, char* data, std::size_t size) {
  if (source_at == source.size() && fail_with != 0) {
    errno = fail_with;
    return -1;
  }
  const std::size_t n = std::min({size, chunk, source.size() - source_at});
  std::copy_n(source.data() + source_at, n, data);
  source_at += n;
  return static_cast<std::ptrdiff_t>(n);
}

struct replayed {
  int status;
  captured streams;
};

replayed replay_source(const replay_settings& settings) {
  int status = -1;
  const captured streams = capture_output([&](int out_fd, int err_fd) {
    const auto out = std::make_unique<output_writer>(out_fd);
    message_stream messages{"keyscript-expect", err_fd};
    status = replay_input(-1, "the script", settings, *out, messages);
    out->flush();
  });
  return {status, streams};
}

replayed replay_text(const std::string& text, semantics kind, bool keys, std::size_t chunk_size, bool ahead = false,
                     kernel_choice kernel = kernel_choice::best) {
  source = text;
  source_at = 0;
  chunk = chunk_size;
  fail_with = 0;
  return replay_source({kind, keys, kernel, ahead, scripted_read});
}

// A block long enough for the fast path, which starts once a block has run
// 8192 lines: keys drawn from a fixed seed, one of every length.
std::string long_block(std::size_t lines, std::uint32_t seed) {
  std::mt19937 random(seed);
  std::string text = "i\n0\n7\n42\n999\n32767\n10000\n";
  for (std::size_t i = 0; i < lines; ++i) {
    text += std::to_string(random() % 32768) + "\n";
  }
  return text + "-1\n";
}

// Blocks of 1 to `longest` keys, each followed by deletions and a
// checkpoint: blocks that end inside a window, and runs of "d KEY" lines.
std::string short_blocks(std::size_t longest, std::uint32_t seed) {
  std::mt19937 random(seed);
  std::string text;
  for (std::size_t length = 1; length <= longest; length += 1 + length / 4) {
    text += "i\n";
    for (std::size_t i = 0; i < length; ++i) {
      text += std::to_string(random() % 32768) + "\n";
    }
    text += "-1\n";
    for (std::size_t i = 0; i < length / 2; ++i) {
      text += "d " + std::to_string(random() % 32768) + "\n";
    }
    text += "s\n";
  }
  return text;
}

// `count` checkpoints in a row, after a block of all `held` keys from 0.
std::string dense_checkpoints(std::int32_t held, std::size_t count) {
  std::string text = "i\n";
  for (std::int32_t key = 0; key < held; ++key) {
    text += std::to_string(key) + "\n";
  }
  text += "-1\n";
  for (std::size_t i = 0; i < count; ++i) {
    text += "s\n";
  }
  return text;
}

// Built when the test runs, not when the program starts: every test of this
// program starts it once, and under an emulator these scripts took most of
// each start.
std::vector<std::string> well_formed_scripts() {
  return {
      "q",
      "q\n",
      "s\nq\n",
      "i\n-1\ns\nq\n",
      "i\n5\n7\n5\n-1\ns\nd 5\nd 9\ns\nq\n",
      "d 3\ni\n3\n3\n3\n-1\nd 3\ns\nd 3\nd 3\ns\nq",
      "i\n0\n32767\n10\n-1\ni\n0\n-1\ns\ns\ns\nd 0\nd 32767\nq\n",
      short_blocks(3000, 5) + "q\n",
      dense_checkpoints(0, 200) + dense_checkpoints(32768, 3) + "d 0\nd 32767\ns\nq\n",
      "i\n1\n2\n-1\nd 1\ns\ni\n1\n-1\nd 1\ns\ni\n123\n-1\nd 123\ns\ni\n123\n-1\nd 123\ns\nd 0\nd 10\nd 9999\nq\n",
      long_block(20000, 1) + "s\nd 5\n" + long_block(9000, 2) + "s\nq\n",
  };
}

TEST(Replay, WellFormedScriptsMatchTheModel) {
  for (const std::string& script : well_formed_scripts()) {
    for (const std::string& text : {script, reference::with_crlf(script)}) {
      for (const bool multiset : {false, true}) {
        for (const bool keys : {false, true}) {
          const reference::replay_result want = reference::replay(text, multiset, keys);
          ASSERT_FALSE(want.refused_at.has_value()) << text.substr(0, 40);
          for (const std::size_t chunk_size : {std::size_t{1}, std::size_t{7}, std::size_t{4093}, text.size()}) {
            const kernel_choice kernel = chunk_size == 7 ? kernel_choice::portable : kernel_choice::best;
            const replayed got = replay_text(text, multiset ? semantics::multiset : semantics::set, keys,
                                             std::max<std::size_t>(chunk_size, 1), false, kernel);
            ASSERT_EQ(got.status, EXPECT_COMPLETE) << got.streams.err;
            ASSERT_TRUE(got.streams.out == want.out)
                << text.substr(0, 40) << " multiset " << multiset << " keys " << keys << " chunk " << chunk_size;
            EXPECT_EQ(got.streams.err, "");
          }
        }
      }
    }
  }
}

TEST(Replay, MalformedScriptsAreRefusedAtTheirLine) {
  const std::string long_line(5000, 'x');
  const struct {
    std::string script;
    std::string message;  // the whole line on standard error
  } cases[] = {
      {"", "line 1: the script is empty: it has no q line"},
      {"i\n5\n", "line 2: the script ends after this line, inside an insertion block, with no q line"},
      {"s\n", "line 1: the script ends after this line, with no q line"},
      {"s\n12", "line 2: the script ends in the middle of this line ('12'), with no q line"},
      {"i\nq", "line 2: the script ends in the middle of this line ('q'), with no q line"},
      {"s\nq\n\n", "line 3: '' comes after q, which ends the script"},
      {"q\ns\n", "line 2: 's' comes after q, which ends the script"},
      {"q\r", "line 1: the script ends in the middle of this line ('q'$'\\r'), with no q line"},
      {"\nq\n", "line 1: expected i, s, d KEY or q, not ''"},
      {"s \nq\n", "line 1: expected i, s, d KEY or q, not 's '"},
      {" s\nq\n", "line 1: expected i, s, d KEY or q, not ' s'"},
      {"x\nq\n", "line 1: expected i, s, d KEY or q, not 'x'"},
      {"-1\nq\n", "line 1: expected i, s, d KEY or q, not '-1'"},
      {"5\nq\n", "line 1: expected i, s, d KEY or q, not '5'"},
      {"s\r\r\nq\n", "line 1: expected i, s, d KEY or q, not 's'$'\\r'"},
      {"d\nq\n", "line 1: expected i, s, d KEY or q, not 'd'"},
      {"d 05\nq\n", "line 1: 'd 05' does not name a key: a key is 0 to 32767, in plain decimal"},
      // Deletions with a line after them, long enough to be read at once.
      {"d 05\ns\ns\nq\n", "line 1: 'd 05' does not name a key: a key is 0 to 32767, in plain decimal"},
      {"d 7\ns\nd 32768\ns\ns\nq\n", "line 3: 'd 32768' does not name a key: a key is 0 to 32767, in plain decimal"},
      {"d 123456\ns\nq\n", "line 1: 'd 123456' does not name a key: a key is 0 to 32767, in plain decimal"},
      {"d \ns\ns\nq\n", "line 1: 'd ' does not name a key: a key is 0 to 32767, in plain decimal"},
      {"d 12x\ns\nq\n", "line 1: 'd 12x' does not name a key: a key is 0 to 32767, in plain decimal"},
      {"d 12\r\r\ns\nq\n", "line 1: 'd 12'$'\\r' does not name a key: a key is 0 to 32767, in plain decimal"},
      {"s\r\rs\ns\nq\n", "line 1: expected i, s, d KEY or q, not 's'$'\\r'$'\\r''s'"},
      {"d  5\nq\n", "line 1: 'd  5' does not name a key: a key is 0 to 32767, in plain decimal"},
      {"d 32768\nq\n", "line 1: 'd 32768' does not name a key: a key is 0 to 32767, in plain decimal"},
      {"d -1\nq\n", "line 1: 'd -1' does not name a key: a key is 0 to 32767, in plain decimal"},
      {"i\n5\ni\n", "line 3: expected a key (0 to 32767) or -1 in an insertion block, not 'i'"},
      {"i\ns\n", "line 2: expected a key (0 to 32767) or -1 in an insertion block, not 's'"},
      {"i\nq\n", "line 2: expected a key (0 to 32767) or -1 in an insertion block, not 'q'"},
      {"i\nd 5\n", "line 2: expected a key (0 to 32767) or -1 in an insertion block, not 'd 5'"},
      {"i\n007\n", "line 2: expected a key (0 to 32767) or -1 in an insertion block, not '007'"},
      {"i\n+5\n", "line 2: expected a key (0 to 32767) or -1 in an insertion block, not '+5'"},
      {"i\n32768\n", "line 2: expected a key (0 to 32767) or -1 in an insertion block, not '32768'"},
      {"i\n123456\n", "line 2: expected a key (0 to 32767) or -1 in an insertion block, not '123456'"},
      {"i\n5 \n", "line 2: expected a key (0 to 32767) or -1 in an insertion block, not '5 '"},
      {"i\n\n", "line 2: expected a key (0 to 32767) or -1 in an insertion block, not ''"},
      {"i\n-2\n", "line 2: expected a key (0 to 32767) or -1 in an insertion block, not '-2'"},
      {long_line, "line 1: expected i, s, d KEY or q, not '" + std::string(250, 'x') + "'..."},
  };
  for (const auto& c : cases) {
    for (const std::size_t chunk_size : {std::size_t{1}, std::size_t{3}, std::size_t{1} << 20}) {
      const replayed got = replay_text(c.script, semantics::set, false, chunk_size);
      EXPECT_EQ(got.status, EXPECT_MALFORMED) << c.script.substr(0, 20);
      EXPECT_EQ(got.streams.err, "keyscript-expect: " + c.message + "\n") << c.script.substr(0, 20);
      const reference::replay_result want = reference::replay(c.script, false, false);
      EXPECT_EQ(got.streams.out, want.out) << "checkpoints before the refusal";
    }
  }
}

TEST(Replay, FastPathHandsOverEveryKindOfLineAtItsNumber) {
  // Lines the fast path must leave to the plain path, deep in a long block:
  // each is refused at its own line, or taken, as the model says.
  // The odd line comes after 12000 keys and before 2000 more: well inside
  // the part of a block the fast path reads.
  const std::string block = long_block(12000, 3);
  const std::string before = block.substr(0, block.size() - 3);  // without its "-1"
  const std::string after = long_block(2000, 4).substr(2);       // without its "i"
  const std::uint64_t odd_line = static_cast<std::uint64_t>(std::count(before.begin(), before.end(), '\n')) + 1;
  const struct {
    const char* odd;
    std::uint64_t refused_at;  // 0: taken
  } cases[] = {{"32768", odd_line},  {"99999", odd_line},   {"00", odd_line},   {"012", odd_line},
               {"123456", odd_line}, {"", odd_line},        {"1 2", odd_line},  {"x", odd_line},
               {"s", odd_line},      {"12\r", 0},           {"4\r", 0},         {"0\r", 0},
               {"\r", odd_line},     {"01\r", odd_line},    {"1\r2", odd_line}, {"3\r\r", odd_line},
               {"-1", odd_line + 1}, {"-1\r", odd_line + 1}};  // closes the block: the next line, a key, is out of
                                                               // place
  for (const auto& c : cases) {
    std::string text = before;
    text.append(c.odd).append("\n").append(after).append("s\nq\n");
    const reference::replay_result want = reference::replay(text, true, false);
    ASSERT_EQ(want.refused_at.value_or(0), c.refused_at) << "'" << c.odd << "'";
    const replayed got = replay_text(text, semantics::multiset, false, 65536);
    EXPECT_EQ(got.streams.out, want.out) << "'" << c.odd << "'";
    if (c.refused_at != 0) {
      EXPECT_EQ(got.streams.err.rfind("keyscript-expect: line " + std::to_string(c.refused_at) + ": ", 0), 0U)
          << "'" << c.odd << "': " << got.streams.err;
    } else {
      EXPECT_EQ(got.status, EXPECT_COMPLETE) << "'" << c.odd << "'";
    }
  }
}

TEST(Replay, ReadingAheadGivesTheSameReplay) {
  const std::string script = well_formed_scripts().back();
  const reference::replay_result want = reference::replay(script, false, true);
  for (const std::size_t chunk_size : {std::size_t{5}, std::size_t{1} << 20}) {
    const replayed got = replay_text(script, semantics::set, true, chunk_size, true);
    EXPECT_EQ(got.status, EXPECT_COMPLETE);
    EXPECT_TRUE(got.streams.out == want.out) << chunk_size;
  }
  // A refusal ends the replay while the reading thread still has input.
  const replayed refused = replay_text("x\n" + script, semantics::set, false, 7, true);
  EXPECT_EQ(refused.status, EXPECT_MALFORMED);
}

TEST(Replay, FailedReadIsUnreadable) {
  for (const bool ahead : {false, true}) {
    source = "i\n5\n";
    source_at = 0;
    chunk = 3;
    fail_with = EIO;
    const replayed got = replay_source({semantics::set, false, kernel_choice::best, ahead, scripted_read});
    EXPECT_EQ(got.status, EXPECT_TROUBLE);
    EXPECT_EQ(got.streams.err, "keyscript-expect: the script: Input/output error\n");
  }
}

TEST(Replay, KeysAreDecimalWithoutSignOrLeadingZero) {
  const struct {
    const char* text;
    std::int32_t key;
  } cases[] = {{"0", 0},   {"7", 7},       {"10", 10}, {"32767", 32767}, {"32768", -1},
               {"00", -1}, {"01", -1},     {"", -1},   {"-0", -1},       {"+1", -1},
               {"1a", -1}, {"123456", -1}, {" 1", -1}, {"99999", -1},    {"10000", 10000}};
  for (const auto& c : cases) {
    EXPECT_EQ(parse_key(c.text), c.key) << '"' << c.text << '"';
  }
}

}  // namespace
}  // namespace keyscript
