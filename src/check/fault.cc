#include "check/fault.h"

#include "check/shrinking.h"

namespace keyscript {

namespace {

bool is_checkpoint(std::int32_t item) { return item == CHECKPOINT_ITEM || item == QUIT_ITEM; }

struct builder {
  const std::vector<std::int32_t>& items;
  checked_script checked;
  line_range last{};  // the command since the last checkpoint

  // A command has ended at item `at`; a checkpoint follows it unless the
  // script has one next (after the block's "-1", for a key that ends one).
  void command_done(line_range command, std::size_t at) {
    last = command;
    std::size_t next = at + 1;
    if (next < items.size() && items[next] == CLOSE_ITEM) ++next;
    if (next < items.size() && is_checkpoint(items[next])) return;
    checked.value.items.push_back(CHECKPOINT_ITEM);
    checked.before.push_back(last);
    last = {};
  }
};

}  // namespace

checked_script with_checkpoints(const script& value, bool split_blocks) {
  builder build{value.items, {}, {}};
  std::vector<std::int32_t>& out = build.checked.value.items;
  std::uint64_t block_start = 0;
  for (std::size_t at = 0; at < value.items.size(); ++at) {
    const std::int32_t item = value.items[at];
    const std::uint64_t line = at + 1;
    if (is_checkpoint(item)) {
      out.push_back(item);
      build.checked.before.push_back(build.last);
      build.last = {};
    } else if (item == OPEN_ITEM) {
      block_start = line;
      if (!split_blocks) out.push_back(item);
    } else if (item == CLOSE_ITEM) {
      if (!split_blocks) {
        out.push_back(item);
        build.command_done({block_start, line}, at);
      }
    } else if (is_key_item(item) && split_blocks) {
      out.insert(out.end(), {OPEN_ITEM, item, CLOSE_ITEM});
      build.command_done({line, line}, at);
    } else {
      out.push_back(item);
      if (!is_key_item(item)) build.command_done({line, line}, at);
    }
  }
  return std::move(build.checked);
}

std::optional<fault_place> find_fault(const process_command& program, const script& reduced,
                                      const run_settings& settings) {
  for (const bool split : {true, false}) {
    const checked_script checked = with_checkpoints(reduced, split);
    const run_failed* failure = nullptr;
    const run_verdict verdict = check_script(program, checked.value, settings);
    failure = failure_of(verdict);
    if (failure == nullptr || failure->kind != failure_kind::listing) {
      continue;
    }
    const std::uint64_t checkpoint = failure->listing.checkpoint;
    if (checkpoint == 0 || checkpoint > checked.before.size() || checked.before[checkpoint - 1].first == 0) {
      return std::nullopt;
    }
    return fault_place{checked.before[checkpoint - 1], failure->listing};
  }
  return std::nullopt;
}

}  // namespace keyscript
