#include "check/campaign.h"

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

}  // namespace

campaign_run plan_run(std::uint32_t campaign_seed, std::uint32_t runs, std::int32_t max_keys, std::uint32_t index) {
  const std::uint32_t seed = mix(campaign_seed + 0x9E3779B9U * (index + 1));
  if (runs <= 1) {
    return {seed, max_keys};
  }
  const std::uint32_t counting = counting_runs(runs);
  if (index < counting) {
    return {seed, static_cast<std::int32_t>(index) < max_keys ? static_cast<std::int32_t>(index) : max_keys};
  }
  // Then the sizes grow as the square of the run's place, up to max_keys.
  const double place = static_cast<double>(index - counting + 1) / static_cast<double>(runs - counting);
  const auto size = static_cast<std::int32_t>(place * place * static_cast<double>(max_keys));
  const auto smallest = static_cast<std::int32_t>(counting);
  return {seed, size > smallest ? size : (smallest < max_keys ? smallest : max_keys)};
}

}  // namespace keyscript
