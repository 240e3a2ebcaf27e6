#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "script/script_value.h"
#include "shrink/candidate.h"

// Reduces a failing script to a small one that fails the same way. The
// reducer knows the script's structure and nothing of programs: a tester
// says which candidates still fail.
//
// Each round removes whole commands (ddmin over the commands before q), then
// key lines inside each block, then lowers every distinct key to the smallest
// value that still fails, then tries removing every line alone; it ends after
// a round in which neither of the last two changed anything, so the result is
// 1-minimal. Candidates come in a fixed order and the first failing one is
// taken, so the result is the same whatever the batch size.

namespace keyscript {

class candidate_tester {
 public:
  virtual ~candidate_tester() = default;

  // The index of the first candidate, in batch order, that fails the same
  // way; batch.size() when none does. Candidates after that one may be left
  // unrun. Every candidate is well formed and differs from the current script.
  virtual std::size_t first_failing(std::span<const candidate> batch) = 0;
};

struct shrink_progress {
  std::size_t lines;  // of the current script
  std::uint64_t candidates_tried;
};

struct shrink_options {
  std::size_t batch = 1;                                    // candidates a call; 0 counts as 1
  std::function<bool()> should_stop;                        // asked before each batch; empty: never
  std::function<void(const shrink_progress&)> on_progress;  // after each batch; may be empty
};

struct shrink_result {
  script value;  // fails the same way; the best so far when stopped early
  // Candidates up to and including each batch's first failing one: what a
  // batch of one would have tried, whatever the batch size.
  std::uint64_t candidates_tried;
  std::uint64_t candidates_handed_out;  // every candidate given to the tester
  bool stopped_early;
};

// `failing` must be well formed and fail. It is reduced in place: beyond it,
// the reducer needs memory only for a batch and a table a key value.
shrink_result shrink(script failing, candidate_tester& tester, const shrink_options& options);

}  // namespace keyscript
