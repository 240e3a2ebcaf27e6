#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "check/cost_script.h"

// The cost check: how the CPU time a command costs a program grows with the
// keys it holds, and the rule that fails a program whose cost grows faster
// than a logarithm allows.
//
// A command's cost at a size is the program's CPU time (user and system,
// never wall time) on that size's script, less its start-up (its CPU time on
// the script "q" alone), over the script's commands. A structure whose
// commands cost log n grows log2(32768) / log2(1024) = 1.5 times from the
// ladder's first size to its last; one that walks its keys (an unbalanced
// tree on sorted keys, a list) grows about 32 times. The rule: a program
// fails at a size when its cost there is more than COST_MARGIN times what a
// logarithm allows, that is more than 4 * log2(n) / log2(1024) times its
// cost at 1024 keys in the same order (4.4x at 2048, 6x at 32768). The
// margin covers what a logarithm does not: a large structure that no longer
// fits in a processor's caches (a correct AVL tree's commands cost up to 2.7
// times as much at 32768 keys as at 1024 on a loaded machine here), and the
// noise of a machine that other programs share. A size that breaks the rule
// is measured again, with the first size, until each has been measured
// MEASUREMENTS_TO_FAIL times; the fastest of each is taken, and only if they
// still break it does the program fail.
//
// The sizes are climbed in turn, every order at one size before the next
// size, and the check stops at the first that fails: the report gives the
// smallest size at which it shows, and a program that degrades is not run
// on the sizes where it would take minutes.

namespace keyscript {

inline constexpr double COST_MARGIN = 4;
inline constexpr int MEASUREMENTS_TO_FAIL = 3;

// The scripts of one check have the same number of commands, sized by a
// first run of CALIBRATION_COMMANDS (a build of 32768 keys and its
// deletions) at the first size: the fewest from FEWEST_COMMANDS up to
// MOST_COMMANDS, doubling, whose work (CPU time less start-up) comes to the
// work wanted: WORK_WANTED_US, or the start-up when that is more, so
// that start-up's noise (a few milliseconds of CPU for a C++ program here,
// tens for python3 and hundreds for python3 behind a pyenv shim) stays a
// small part of what is measured. A slow program gets short scripts, and a
// size whose single build has more commands than that gets one build.
inline constexpr std::int64_t CALIBRATION_COMMANDS = 65536;
inline constexpr std::int64_t FEWEST_COMMANDS = CALIBRATION_COMMANDS / 8;
inline constexpr std::int64_t MOST_COMMANDS = 16 * CALIBRATION_COMMANDS;
inline constexpr std::int64_t WORK_WANTED_US = 20000;
inline constexpr std::int64_t STARTUPS_WANTED = 1;

std::int64_t work_wanted_us(std::int64_t startup_us);

// How much a logarithm grows from the ladder's first size to `keys`, and
// how much the rule allows.
double log_growth(std::int32_t keys);
double allowed_growth(std::int32_t keys);

// The commands of every script, from the work a script of
// CALIBRATION_COMMANDS at the first size took.
std::int64_t commands_for(std::int64_t work_us, std::int64_t wanted_us);

// A program that still works less than half the work wanted in a script of
// MOST_COMMANDS spends nanoseconds on a command: its growth is measured
// from at least that much work, so that noise over almost nothing is not
// called growth. The least cost a command is taken to have, in ns.
double floor_ns(std::int64_t wanted_us, std::int64_t commands);

// Nanoseconds of CPU time a command, never below 0.
double ns_per_command(std::int64_t cpu_us, std::int64_t startup_us, std::int64_t commands);

// How many times a command's cost at the first size, `base_ns`, it costs at
// another size, the base taken as at least `least_ns`.
double growth_of(double base_ns, double ns, double least_ns);

// The best (lowest) cost a command measured in one order at each size
// climbed, the ladder's first size first.
struct order_figures {
  cost_order order;
  std::vector<double> ns;
};

// One size in one order, against the first size in the same order.
struct cost_comparison {
  cost_order order;
  std::int32_t keys;
  double base_ns;
  double ns;
  double growth;
  double allowed;
};

struct cost_outcome {
  std::int64_t commands = CALIBRATION_COMMANDS;
  double floor_ns = 0;  // the least a command is taken to cost

  std::vector<order_figures> figures;  // what was measured, in the orders' order
  // The rule broken, at the smallest size and first order that broke it,
  // after MEASUREMENTS_TO_FAIL measurements of each.
  std::optional<cost_comparison> broken;
  // Else the comparison that came closest to breaking it.
  std::optional<cost_comparison> closest;
  bool stopped = false;  // a measurement did not come back
};

// Runs the program on one script: its CPU time in microseconds, or none
// when the run did not pass (or was interrupted), which ends the climb.
using cost_measure = std::function<std::optional<std::int64_t>(const cost_script&)>;

cost_outcome climb_ladder(std::span<const cost_order> orders, std::uint32_t seed, std::int64_t startup_us,
                          const cost_measure& measure);

}  // namespace keyscript
