#include "check/cost_script.h"

#include <algorithm>
#include <bitset>
#include <numeric>

#include "script/language.h"

namespace keyscript {

namespace {

constexpr std::string_view ORDER_NAMES[] = {"sorted", "reverse", "clustered", "keyscript"};
constexpr std::int32_t CLUSTERS = KEY_VALUES / CLUSTER_KEYS;

// Room for the longest line and the 8-byte copy that writes a key.
constexpr std::ptrdiff_t LINE_ROOM = 16;

// A draw from 0 to n - 1, for n up to 32768; the slight lean towards low
// values that the modulo gives does not matter to a cost.
std::int32_t draw_below(random_generator& generator, std::int32_t n) { return next_draw(generator) % n; }

void add_run(std::vector<std::int32_t>& keys, std::int32_t first, std::int32_t count, bool ascending) {
  for (std::int32_t at = 0; at < count; ++at) {
    keys.push_back(ascending ? first + at : first + count - 1 - at);
  }
}

// Runs of CLUSTER_KEYS in distinct places, chosen as a shuffle's first draws.
void add_clusters(std::vector<std::int32_t>& keys, std::int32_t count, random_generator& generator) {
  std::array<std::int32_t, CLUSTERS> places{};
  std::iota(places.begin(), places.end(), 0);
  for (std::int32_t run = 0; count > 0; ++run) {
    const std::int32_t pick = run + draw_below(generator, CLUSTERS - run);
    std::swap(places[static_cast<std::size_t>(run)], places[static_cast<std::size_t>(pick)]);
    const std::int32_t size = std::min(count, CLUSTER_KEYS);
    add_run(keys, places[static_cast<std::size_t>(run)] * CLUSTER_KEYS, size, true);
    count -= size;
  }
}

// Keyscript's draws, each key the first time it comes.
void add_drawn(std::vector<std::int32_t>& keys, std::int32_t count, random_generator& generator) {
  std::bitset<KEY_VALUES> drawn;
  while (static_cast<std::int32_t>(keys.size()) < count) {
    const std::int32_t key = next_draw(generator);
    if (!drawn.test(static_cast<std::size_t>(key))) {
      drawn.set(static_cast<std::size_t>(key));
      keys.push_back(key);
    }
  }
}

}  // namespace

std::string_view order_name(cost_order order) { return ORDER_NAMES[static_cast<std::size_t>(order)]; }

std::optional<cost_order> order_named(std::string_view name) {
  for (const cost_order order : COST_ORDERS) {
    if (order_name(order) == name) {
      return order;
    }
  }
  return std::nullopt;
}

std::int64_t builds_of(const cost_script& script) {
  return std::max<std::int64_t>(1, script.commands / (2 * static_cast<std::int64_t>(script.keys)));
}

std::int64_t commands_in(const cost_script& script) { return builds_of(script) * 2 * script.keys; }

std::int64_t lines_of(const cost_script& script) { return commands_in(script) + 2 * builds_of(script) + 1; }

std::vector<std::int32_t> draw_build(cost_order order, std::int32_t keys, random_generator& generator) {
  std::vector<std::int32_t> build;
  build.reserve(static_cast<std::size_t>(keys));
  switch (order) {
    case cost_order::sorted:
    case cost_order::reverse:
      add_run(build, draw_below(generator, KEY_VALUES - keys + 1), keys, order == cost_order::sorted);
      break;
    case cost_order::clustered:
      add_clusters(build, keys, generator);
      break;
    case cost_order::keyscript:
      add_drawn(build, keys, generator);
      break;
  }
  return build;
}

cost_source::cost_source(const cost_script& script)
    : script_(script),
      generator_{script.seed},
      builds_left_(builds_of(script)),
      build_(draw_build(script.order, script.keys, generator_)) {}

char* cost_source::write_some(char* out, const char* limit) {
  const std::size_t keys = build_.size();
  while (!done_ && limit - out >= LINE_ROOM) {
    if (line_ == 0) {
      out = write_line(out, INSERT_LINE);
    } else if (line_ <= keys) {
      out = write_key_line(out, build_[line_ - 1]);
    } else if (line_ == keys + 1) {
      out = write_line(out, BLOCK_END_LINE);
    } else if (line_ <= 2 * keys + 1) {
      out = write_delete_line(out, build_[line_ - keys - 2]);
    } else if (--builds_left_ > 0) {
      build_ = draw_build(script_.order, script_.keys, generator_);
      line_ = 0;
      continue;
    } else {
      out = write_line(out, QUIT_LINE);
      done_ = true;
    }
    ++line_;
  }
  return out;
}

}  // namespace keyscript
