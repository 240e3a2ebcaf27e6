#include "check/campaign.h"

#include "script/keyscript_source.h"
#include "wide/wide_source.h"

namespace keyscript {

namespace {

// A run's seed is the campaign's mixed with the run's number. Neighbouring
// seeds would not do: seeds a step apart differ by the multiplier in the
// generator's first state, and their first keys by a few units.
std::uint32_t mix(std::uint32_t x) {
  x ^= x >> 16;
  x *= 0x7FEB352DU;
  x ^= x >> 15;
  x *= 0x846CA68BU;
  x ^= x >> 16;
  return x;
}

// The first tenth of the runs (at least one) count up from 0 key by key.
std::uint32_t counting_runs(std::uint32_t runs) { return runs / 10 > 0 ? runs / 10 : 1; }

// The size of run `index` of `runs` of one kind.
std::int32_t size_of_run(std::uint32_t runs, std::int32_t max_keys, std::uint32_t index) {
  if (runs <= 1) {
    return max_keys;
  }
  const std::uint32_t counting = counting_runs(runs);
  if (index < counting) {
    return static_cast<std::int32_t>(index) < max_keys ? static_cast<std::int32_t>(index) : max_keys;
  }
  // Then the sizes grow as the square of the run's place, up to max_keys.
  const double place = static_cast<double>(index - counting + 1) / static_cast<double>(runs - counting);
  const auto size = static_cast<std::int32_t>(place * place * static_cast<double>(max_keys));
  const auto smallest = static_cast<std::int32_t>(counting);
  return size > smallest ? size : (smallest < max_keys ? smallest : max_keys);
}

}  // namespace

campaign_run plan_run(std::uint32_t campaign_seed, std::uint32_t runs, std::int32_t max_keys, std::uint32_t index,
                      script_kinds kinds) {
  const std::uint32_t seed = mix(campaign_seed + 0x9E3779B9U * (index + 1));
  if (kinds == script_kinds::keyscript) {
    return {seed, size_of_run(runs, max_keys, index), std::nullopt};
  }
  if (kinds == script_kinds::both && index % 2 == 0) {
    return {seed, size_of_run((runs + 1) / 2, max_keys, index / 2), std::nullopt};
  }
  const std::uint32_t wide_runs = kinds == script_kinds::both ? runs / 2 : runs;
  const std::uint32_t wide_index = kinds == script_kinds::both ? index / 2 : index;
  return {seed, size_of_run(wide_runs, max_keys, wide_index), shape_in_turn(wide_index)};
}

std::string_view shape_text(const campaign_run& run) { return run.shape ? shape_name(*run.shape) : KEYSCRIPT_SHAPE; }

std::unique_ptr<line_source> script_of(const campaign_run& run) {
  if (run.shape) {
    return std::make_unique<wide_source>(run.seed, run.num_keys, *run.shape);
  }
  return std::make_unique<keyscript_source>(run.seed, run.num_keys);
}

}  // namespace keyscript
