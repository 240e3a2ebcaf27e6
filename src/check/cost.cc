#include "check/cost.h"

#include <algorithm>
#include <cmath>

namespace keyscript {

namespace {

constexpr std::int32_t FIRST_SIZE = COST_LADDER[0];

class climb {
 public:
  climb(std::uint32_t seed, std::int64_t startup_us, const cost_measure& measure)
      : seed_(seed), startup_us_(startup_us), measure_(measure) {}

  cost_outcome take(std::span<const cost_order> orders);

 private:
  std::optional<double> measure(cost_order order, std::int32_t keys);
  std::optional<cost_comparison> compare(order_figures& figures, std::size_t rung);
  bool calibrate(cost_order first);

  std::uint32_t seed_;
  std::int64_t startup_us_;
  const cost_measure& measure_;
  cost_outcome outcome_;
};

std::optional<double> climb::measure(cost_order order, std::int32_t keys) {
  const cost_script script{order, keys, outcome_.commands, seed_};
  const std::optional<std::int64_t> cpu_us = measure_(script);
  if (!cpu_us) {
    outcome_.stopped = true;
    return std::nullopt;
  }
  return ns_per_command(*cpu_us, startup_us_, commands_in(script));
}

// Sizes the scripts by a run of the first order's first size with
// CALIBRATION_COMMANDS, and measures that size again when they change.
bool climb::calibrate(cost_order first) {
  const std::optional<std::int64_t> cpu_us = measure_({first, FIRST_SIZE, CALIBRATION_COMMANDS, seed_});
  if (!cpu_us) {
    outcome_.stopped = true;
    return false;
  }
  const std::int64_t wanted_us = work_wanted_us(startup_us_);
  outcome_.commands = commands_for(*cpu_us - startup_us_, wanted_us);
  outcome_.floor_ns = floor_ns(wanted_us, outcome_.commands);
  std::optional<double> ns = ns_per_command(*cpu_us, startup_us_, CALIBRATION_COMMANDS);
  if (outcome_.commands != CALIBRATION_COMMANDS && !(ns = measure(first, FIRST_SIZE))) {
    return false;
  }
  outcome_.figures.push_back({first, {*ns}});
  return true;
}

// The order's figure at `rung` against its first, measured again (both)
// while it breaks the rule, up to MEASUREMENTS_TO_FAIL times each; the
// fastest of each counts. Returns the comparison, or none when a
// measurement did not come back.
std::optional<cost_comparison> climb::compare(order_figures& figures, std::size_t rung) {
  const std::int32_t keys = COST_LADDER[rung];
  const double allowed = allowed_growth(keys);
  double& base = figures.ns.front();
  double& ns = figures.ns[rung];
  for (int measured = 1; growth_of(base, ns, outcome_.floor_ns) > allowed && measured < MEASUREMENTS_TO_FAIL;
       ++measured) {
    const std::optional<double> base_again = measure(figures.order, FIRST_SIZE);
    const std::optional<double> again = base_again ? measure(figures.order, keys) : std::nullopt;
    if (!again) {
      return std::nullopt;
    }
    base = std::min(base, *base_again);
    ns = std::min(ns, *again);
  }
  return cost_comparison{figures.order, keys, base, ns, growth_of(base, ns, outcome_.floor_ns), allowed};
}

cost_outcome climb::take(std::span<const cost_order> orders) {
  if (orders.empty() || !calibrate(orders.front())) {
    return outcome_;
  }
  for (const cost_order order : orders.subspan(1)) {
    const std::optional<double> ns = measure(order, FIRST_SIZE);
    if (!ns) {
      return outcome_;
    }
    outcome_.figures.push_back({order, {*ns}});
  }
  for (std::size_t rung = 1; rung < COST_LADDER.size(); ++rung) {
    for (order_figures& figures : outcome_.figures) {
      const std::optional<double> ns = measure(figures.order, COST_LADDER[rung]);
      if (!ns) {
        return outcome_;
      }
      figures.ns.push_back(*ns);
      const std::optional<cost_comparison> compared = compare(figures, rung);
      if (!compared) {
        return outcome_;
      }
      if (compared->growth > compared->allowed) {
        outcome_.broken = compared;
        return outcome_;
      }
      if (!outcome_.closest ||
          compared->growth / compared->allowed > outcome_.closest->growth / outcome_.closest->allowed) {
        outcome_.closest = compared;
      }
    }
  }
  return outcome_;
}

}  // namespace

double log_growth(std::int32_t keys) { return std::log2(keys) / std::log2(FIRST_SIZE); }

double allowed_growth(std::int32_t keys) { return COST_MARGIN * log_growth(keys); }

std::int64_t work_wanted_us(std::int64_t startup_us) { return std::max(WORK_WANTED_US, STARTUPS_WANTED * startup_us); }

std::int64_t commands_for(std::int64_t work_us, std::int64_t wanted_us) {
  std::int64_t commands = FEWEST_COMMANDS;
  while (commands < MOST_COMMANDS && work_us * commands < wanted_us * CALIBRATION_COMMANDS) {
    commands *= 2;
  }
  return commands;
}

double ns_per_command(std::int64_t cpu_us, std::int64_t startup_us, std::int64_t commands) {
  return static_cast<double>(std::max<std::int64_t>(0, cpu_us - startup_us)) * 1000 / static_cast<double>(commands);
}

double floor_ns(std::int64_t wanted_us, std::int64_t commands) {
  return static_cast<double>(wanted_us) / 2 * 1000 / static_cast<double>(commands);
}

double growth_of(double base_ns, double ns, double least_ns) { return ns / std::max(base_ns, least_ns); }

cost_outcome climb_ladder(std::span<const cost_order> orders, std::uint32_t seed, std::int64_t startup_us,
                          const cost_measure& measure) {
  return climb(seed, startup_us, measure).take(orders);
}

}  // namespace keyscript
