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
// Each round tries changes to the whole script in one candidate each
// (repeated insertions dropped, adjacent blocks merged, the keys renumbered
// by first appearance or by rank, the largest keys left out); removes whole
// commands, from the last towards the first; tries the whole-script changes
// again; then removes lines, a block whole and, when it stays, its key lines
// one by one; then lowers each distinct key. A removal that succeeds is
// followed by one of twice as many lines or commands from the same place,
// and halving back when that fails, so that a long run that can go costs a
// few candidates and not one each. Rounds end after one in
// which neither the line removal nor the lowering changed anything, so the
// result is 1-minimal: no line alone (a block whole) can go.
//
// Candidates come in a fixed order and the first failing one is taken, so
// the result is the same whatever the batch size. A candidate whose script
// has already passed is not handed out again, unless its tester said that
// its answer was uncertain.

namespace keyscript {

enum class candidate_answer : std::uint8_t {
  not_run,    // left unrun, after the batch's first failing candidate
  passes,     // does not fail the same way
  fails,      // fails the same way
  uncertain,  // did not fail the same way, but might have with more time: not remembered as passing
};

class candidate_tester {
 public:
  virtual ~candidate_tester() = default;

  // Answers the batch's candidates, each in `answers` (as long as the batch,
  // every answer not_run on entry), at least up to and including the first
  // one that fails; answers after it may be left not_run. Every candidate is
  // well formed and differs from the current script.
  virtual void answer(std::span<const candidate> batch, std::span<candidate_answer> answers) = 0;
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
  // batch of one would have tried, whatever the batch size. Candidates known
  // to pass already are not counted.
  std::uint64_t candidates_tried;
  std::uint64_t candidates_handed_out;  // every candidate given to the tester
  bool stopped_early;
};

// `failing` must be well formed and fail. It is reduced in place: beyond it,
// the reducer needs memory only for a batch, tables of a word a key value,
// the ranges a whole-script change leaves out, and 8 bytes a candidate that
// passed.
shrink_result shrink(script failing, candidate_tester& tester, const shrink_options& options);

}  // namespace keyscript
