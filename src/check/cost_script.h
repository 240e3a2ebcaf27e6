#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "random/generator.h"
#include "script/generated_source.h"

// The scripts of the cost check: for one order of keys and one size, a
// build of that many distinct keys in that order, then the same keys
// deleted in the same order, and again with keys drawn afresh, until the
// script has its number of commands; then "q", which lists nothing. Every
// size's script has the same number of commands, so that the CPU time a
// command costs compares across sizes, and each build draws its keys afresh,
// so that a processor's branch predictor cannot learn a small build by heart
// and make the small sizes look cheaper than they are.

namespace keyscript {

// The orders that degrade structures: ascending keys make an unbalanced
// tree a list, and descending ones mirror it; runs of consecutive keys in
// random places fill one part of a structure at a time; and keys in random
// order, as keyscript draws them, are what a skip list or a hash table
// with a cost bug meets every day.
enum class cost_order : std::uint8_t { sorted, reverse, clustered, keyscript };

inline constexpr std::array<cost_order, 4> COST_ORDERS = {cost_order::sorted, cost_order::reverse,
                                                          cost_order::clustered, cost_order::keyscript};

// "sorted", "reverse", "clustered" and "keyscript", as --shape names them.
std::string_view order_name(cost_order order);
std::optional<cost_order> order_named(std::string_view name);

// The sizes measured: the keys a build holds at its top, from a thousand, a
// size whose per-command cost is already that of a structure rather than of
// reading a line, to every key there is.
inline constexpr std::array<std::int32_t, 6> COST_LADDER = {1024, 2048, 4096, 8192, 16384, 32768};

// A clustered build's keys come in runs of this many consecutive keys, each
// run ascending, the runs in random places and order.
inline constexpr std::int32_t CLUSTER_KEYS = 64;

struct cost_script {
  cost_order order;
  std::int32_t keys;      // each build's, 1 to 32768
  std::int64_t commands;  // key and deletion lines wanted: as many builds of 2 * keys as fit, at least one
  std::uint32_t seed;
};

// How many builds the script has, its commands (key and deletion lines),
// and its lines: its commands, each build's "i" and "-1", and the "q".
std::int64_t builds_of(const cost_script& script);
std::int64_t commands_in(const cost_script& script);
std::int64_t lines_of(const cost_script& script);

// The keys of the next build, in the order they are inserted and then
// deleted, drawn with keyscript's generator; `keys` is 1 to 32768.
std::vector<std::int32_t> draw_build(cost_order order, std::int32_t keys, random_generator& generator);

class cost_source final : public generated_source {
 public:
  explicit cost_source(const cost_script& script);

 private:
  char* write_some(char* out, const char* limit) override;

  cost_script script_;
  random_generator generator_;
  std::int64_t builds_left_;
  std::vector<std::int32_t> build_;
  std::size_t line_ = 0;  // of the current build: "i", its keys, "-1", its deletions
  bool done_ = false;
};

}  // namespace keyscript
