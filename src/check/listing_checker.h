#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "replay/replayer.h"
#include "script/source.h"

// Holds a program's standard output to what a correct program lists: at
// every checkpoint ("s", and the final "q"), the keys held in ascending
// order, one a line, a key held n times n times. The expected listings come
// from replaying the same script a second time, paused at each checkpoint
// until the program's listing for it has been read, so that nothing kept
// grows with the script, whether the program writes as it goes or all at
// the end.

namespace keyscript {

// The first few keys a listing misses or adds, and the first keys of each
// listing, are kept for the report.
inline constexpr std::size_t KEYS_SHOWN = 8;
inline constexpr std::size_t LISTING_SHOWN = 64;

struct listing_verdict {
  bool failed = false;
  std::uint64_t checkpoint = 0;   // 1 for the first
  std::uint64_t script_line = 0;  // of the checkpoint
  char command = 's';             // 's', or 'q' for the last
  bool after_q = false;           // the program wrote more after the final listing
  // The listing ended before all its keys: the program's output ended, or
  // its next line was lower than the last key listed, so it belongs to
  // whatever comes next.
  bool ended_short = false;
  bool output_ended = false;       // the first difference is that the output ended
  std::uint64_t listing_line = 0;  // where in the listing the output first differs, 1 for the first line
  std::string expected;            // that line as it should be, or "(end of listing)"
  std::string seen;                // as the program wrote it, or "(end of output)"
  std::uint64_t expected_count = 0;
  std::uint64_t seen_count = 0;
  std::uint64_t missing_count = 0;
  std::uint64_t extra_count = 0;
  std::vector<std::int32_t> missing;  // the first KEYS_SHOWN
  std::vector<std::int32_t> extra;
  std::vector<std::int32_t> expected_keys;  // the first LISTING_SHOWN of each listing
  std::vector<std::int32_t> seen_keys;
};

class listing_checker {
 public:
  // `expected` hands out the script the program is given, a second time.
  // With `end_line`, the program ends its output for the script with a line
  // "q" after the last listing, as a program that goes on to the next
  // script does, and nothing may follow that line.
  listing_checker(line_source& expected, semantics kind, bool end_line = false);

  // More of the program's output; false once the output cannot match any
  // more (the verdict says why), when the program may as well be stopped.
  bool take(std::string_view bytes);
  // The program's output has ended: every listing still due must be empty.
  void finish();

  const listing_verdict& verdict() const { return verdict_; }
  // The end line has been read: the output for this script is complete.
  bool ended() const { return phase_ == phase::ended; }
  // A line of the script was refused while replaying it (a script that is
  // not well formed): where, and why.
  std::uint64_t refused_line() const { return sink_.refused_line; }
  const std::string& refusal() const { return sink_.why; }

 private:
  struct quiet_sink final : replay_sink {
    std::uint64_t refused_line = 0;
    std::string why;
    bool checkpoint(const checkpoint_place& /*place*/, const key_model& /*model*/) override { return true; }
    void refused(std::uint64_t line, std::string_view text) override {
      refused_line = line;
      why = text;
    }
    void ended(std::uint64_t /*lines*/, const replay_totals& /*totals*/) override {}
  };
  enum class phase { between, listing, diagnosing, ended, done };

  bool next_checkpoint();
  void start_listing();
  void take_line(std::string_view text);
  void match(std::int32_t key);
  void step_cursor();
  void begin_diagnosis(std::string_view seen);
  void diagnose(std::int32_t key);
  void end_diagnosis();

  line_source& expected_;
  quiet_sink sink_;
  replayer replay_;
  semantics kind_;
  bool end_line_;
  line_span pending_{nullptr, 0};  // what is left of the expected script's current part
  phase phase_ = phase::between;
  std::int32_t cursor_ = -1;  // the next key due in the listing, -1 at its end
  std::uint64_t copies_left_ = 0;
  std::int32_t previous_ = -1;  // the last key the program listed at this checkpoint
  std::uint64_t listed_ = 0;    // lines of this listing so far
  std::string carry_;           // an unfinished line of output
  listing_verdict verdict_;
};

}  // namespace keyscript
