#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "io/input.h"
#include "replay/key_lines.h"
#include "replay/model.h"

// Replays a script on a model, line by line, and tells a sink what a correct
// program holds at every checkpoint as it is reached, which line it refuses
// and, at the end, what the whole script asked. It reads nothing itself: its
// caller hands it whole lines, from a descriptor or from memory.

namespace keyscript {

struct checkpoint_place {
  std::uint64_t number;  // 1 for the first
  std::uint64_t line;    // the checkpoint's own line
  char command;          // 's', or 'q' for the last
};

class replay_sink {
 public:
  virtual ~replay_sink() = default;
  // Returns false to stop the replay there.
  virtual bool checkpoint(const checkpoint_place& place, const key_model& model) = 0;
  virtual void refused(std::uint64_t line, std::string_view why) = 0;
  virtual void ended(std::uint64_t lines, const replay_totals& totals) = 0;
};

enum class replay_status {
  reading,  // wants more lines
  paused,   // stopped just after a checkpoint, as asked; take() goes on
  stopped,  // the sink asked to stop
  ended,    // the q line was read, and nothing after it so far
  refused,  // a line was refused, or the script ended before q: the sink was told
};

enum class kernel_choice {
  best,      // the fastest version of the key-line fast path this processor runs
  portable,  // the one every processor runs
};

class replayer {
 public:
  replayer(semantics kind, replay_sink& sink, kernel_choice kernel = kernel_choice::best);

  // Replays whole lines (each ending in LF; CR LF too). Returns where it
  // stopped: the span's end, or the end of the line that paused, stopped,
  // ended or was refused. Lines after q are refused.
  const char* take(line_span lines);
  // The input has ended after every line taken; `unfinished` is its last
  // line when that has no line end (only q may end a script that way).
  void finish(std::string_view unfinished);
  // A line too long to be a command, refused on what there is of it.
  void refuse_long_line(std::string_view start);

  // Pause after each checkpoint, so that a caller can look at the model as
  // the checkpoint left it.
  void pause_at_checkpoints(bool pause) { pause_ = pause; }

  replay_status status() const { return status_; }
  const key_model& model() const { return *model_; }
  std::uint64_t lines() const { return line_; }
  std::uint64_t checkpoints() const { return checkpoints_; }

 private:
  void take_line(std::string_view text);
  const char* take_key_lines(const char* p, const char* end);
  const char* take_plain_command(const char* p, const char* end);
  void count_block_lines(std::uint64_t lines);
  void checkpoint(char command);
  void refuse(std::uint64_t line, std::string_view why);
  void refuse_after_q(std::string_view text);

  std::unique_ptr<key_model> model_;
  replay_sink& sink_;
  key_lines_function take_key_lines_fast_;
  std::uint64_t line_ = 0;  // lines handled so far
  std::uint64_t checkpoints_ = 0;
  std::uint64_t block_lines_ = 0;   // insertions counted since they were last applied
  std::uint64_t block_length_ = 0;  // lines of the open block so far
  bool in_block_ = false;
  bool pause_ = false;
  replay_status status_ = replay_status::reading;
};

}  // namespace keyscript
