#include "script/script_value.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../script/parsed_text.h"
#include "replay/replayer.h"

namespace keyscript {
namespace {

TEST(ScriptValue, PrintsBackExactlyWhatItRead) {
  for (const std::string text :
       {"q\n", "i\n-1\nq\n", "i\n0\n32767\n5\n5\n-1\ns\nd 5\nd 0\nd 32767\nq\n", "s\ns\nq\n"}) {
    EXPECT_EQ(script_text(parsed(text)), text);
  }
  EXPECT_EQ(script_text(parsed("i\r\n7\r\n-1\r\nd 7\r\nq")), "i\n7\n-1\nd 7\nq\n");
}

// What the replayer, with its fast paths, refuses in `text`.
refusal replayer_refusal(const std::string& text) {
  struct sink final : replay_sink {
    refusal got{0, ""};
    bool checkpoint(const checkpoint_place& /*place*/, const key_model& /*model*/) override { return true; }
    void refused(std::uint64_t line, std::string_view why) override { got = {line, std::string(why)}; }
    void ended(std::uint64_t /*lines*/, const replay_totals& /*totals*/) override {}
  } refusals;
  replayer replay(semantics::set, refusals);
  const std::string padded = std::string(line_span::READABLE_BEFORE, '\n') + text;
  const std::size_t whole = text.rfind('\n') == std::string::npos ? 0 : text.rfind('\n') + 1;
  const char* stop = replay.take({padded.data() + line_span::READABLE_BEFORE, whole});
  if (replay.status() != replay_status::refused) {
    replay.finish(std::string_view(stop, static_cast<std::size_t>(padded.data() + padded.size() - stop)));
  }
  return refusals.got;
}

// A script read into its value is refused at the line, and in the words, that
// keyscript-expect's replay gives.
TEST(ScriptValue, RefusesAnythingElseAsTheReplayDoes) {
  const struct {
    std::uint64_t line;
    std::vector<std::string> texts;
  } cases[] = {
      {1,
       {"", "x\nq\n", "I\nq\n", "s \nq\n", "-1\nq\n", "7\nq\n", "d\nq\n", "d 01\nq\n", "d  1\nq\n", "d -1\nq\n",
        "d 99999\nq\n", "q\r", "s\rq\n", "s\n"}},
      {2,
       {"q\nq\n", "q\n\n", "i\nq\n", "i\ni\n-1\nq\n", "i\ns\n-1\nq\n", "i\n-2\n-1\nq\n", "i\n32768\n-1\nq\n",
        "i\n07\n-1\nq\n", "i\n+7\n-1\nq\n", "i\n 7\n-1\nq\n", "i\n\n-1\nq\n", "i\n5\r\r\n-1\nq\n", "i\n5\n", "s\nd 1",
        "q\nd 1"}},
  };
  for (const auto& c : cases) {
    for (const std::string& text : c.texts) {
      const parsed_script result = parse_script(text);
      ASSERT_TRUE(result.refused) << text;
      EXPECT_EQ(result.refused->line, c.line) << text;
      const refusal replayed = replayer_refusal(text);
      EXPECT_EQ(result.refused->line, replayed.line) << text;
      EXPECT_EQ(result.refused->why, replayed.why) << text;
    }
  }
}

TEST(ScriptValue, CutKeepsTheScriptUpToTheCheckpoint) {
  const std::string text = "i\n1\n-1\ns\nd 1\ns\nd 2\nq\n";
  const struct {
    std::uint64_t number;
    std::string kept;
  } cases[] = {{1, "i\n1\n-1\ns\nq\n"}, {2, "i\n1\n-1\ns\nd 1\ns\nq\n"}, {3, text}, {9, text}};
  for (const auto& c : cases) {
    EXPECT_EQ(script_text(cut_after_checkpoint(parsed(text), c.number)), c.kept) << c.number;
  }
}

TEST(ScriptValue, HoldsAMillionKeysInAtMostEightBytesALine) {
  std::string text = "i\n";
  for (std::int32_t n = 0; n < 1'000'000; ++n) {
    text += std::to_string(n % 32768) + "\n";
  }
  const script value = parsed(text + "-1\ns\nd 5\nq\n");
  const std::size_t lines = value.items.size();
  ASSERT_EQ(lines, 1'000'005U);
  EXPECT_LE(sizeof value + value.items.capacity() * sizeof(std::int32_t), 8 * lines);
}

}  // namespace
}  // namespace keyscript
