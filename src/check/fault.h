#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "check/run_check.h"
#include "script/script_value.h"

// The command at fault: a wrong collection shows only at the next
// checkpoint, so after a listing failure is shrunk, the reduced script is
// run again with a checkpoint after every command, and the first command
// after which the program holds the wrong keys is named.

namespace keyscript {

// Lines of the reduced script: a command (a deletion, a key of a block, or a
// whole block), 1 for the first line.
struct line_range {
  std::uint64_t first = 0;  // 0: none
  std::uint64_t last = 0;
};

// `value` with a checkpoint after each command, and for each of its
// checkpoints the command that comes before it. With `split_blocks`, each
// key of a block is a block of its own, so that every key is a command.
struct checked_script {
  script value;
  std::vector<line_range> before;  // one a checkpoint, q's last
};
checked_script with_checkpoints(const script& value, bool split_blocks);

struct fault_place {
  line_range lines;
  listing_verdict listing;  // at the checkpoint right after it
};

// Where `program`, which fails on `reduced` with a wrong listing, first holds
// the wrong keys; none when checkpoints added to the script change how it
// fails, or it is wrong before any command.
std::optional<fault_place> find_fault(const process_command& program, const script& reduced,
                                      const run_settings& settings);

}  // namespace keyscript
