#include "expect/reader.h"

#include <cerrno>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "expect/key_lines.h"
#include "expect/report.h"
#include "output/output.h"
#include "output/quote.h"

namespace keyscript {

std::int32_t parse_key(std::string_view text) {
  if (text.empty() || text.size() > 5 || (text[0] == '0' && text.size() > 1)) {
    return -1;
  }
  std::int32_t key = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') {
      return -1;
    }
    key = key * 10 + (c - '0');
  }
  return key < KEY_VALUES ? key : -1;
}

namespace {

key_model model;

// A block's insertions are applied at least this often, so that no counter
// of `added` can overflow.
inline constexpr std::uint64_t BLOCK_LIMIT = std::uint64_t{1} << 31;

// The fast path counts without listing the keys it counts, so closing a
// block it has counted into looks at all 32768 counters. It starts only once
// a block has this many lines, which keeps that cost below a few nanoseconds
// a line however short the blocks.
inline constexpr std::uint64_t FAST_PATH_AFTER = 8192;

struct replay_state {
  const replay_options& options;
  std::uint64_t line = 0;  // lines handled so far
  std::uint64_t checkpoints = 0;
  std::uint64_t block_lines = 0;   // insertions counted since they were last applied
  std::uint64_t block_length = 0;  // lines of the open block so far
  bool in_block = false;
  bool ended = false;  // q has been read
  bool refused = false;
};

[[gnu::format(printf, 3, 4)]] void refuse(replay_state& state, std::uint64_t line, const char* format, ...);

void refuse(replay_state& state, std::uint64_t line, const char* format, ...) {
  char what[512];
  va_list values;
  va_start(values, format);
  std::vsnprintf(what, sizeof what, format, values);
  va_end(values);
  write_message("keyscript-expect: line %" PRIu64 ": %s\n", line, what);
  state.refused = true;
}

void checkpoint(replay_state& state, char command) {
  write_checkpoint(++state.checkpoints, state.line, command, holding_of(model));
  if (state.options.list_keys) {
    write_held_keys(model);
  }
}

void count_block_lines(replay_state& state, std::uint64_t lines) {
  state.block_length += lines;
  state.block_lines += lines;
  if (state.block_lines >= BLOCK_LIMIT) {
    close_block(model);
    state.block_lines = 0;
  }
}

// One whole line, its line end taken off.
void take_line(replay_state& state, std::string_view text) {
  ++state.line;
  if (state.in_block) {
    const std::int32_t key = parse_key(text);
    if (key >= 0) {
      model.touched_count = count_insertion(model, model.touched_count, key);
      count_block_lines(state, 1);
    } else if (text == "-1") {
      close_block(model);
      state.block_lines = 0;
      state.block_length = 0;
      state.in_block = false;
    } else {
      refuse(state, state.line, "expected a key (0 to 32767) or -1 in an insertion block, not %s", quote(text).text);
    }
    return;
  }
  if (text == "i") {
    state.in_block = true;
  } else if (text == "s") {
    checkpoint(state, 's');
  } else if (text == "q") {
    checkpoint(state, 'q');
    write_totals(state.line, model.totals);
    state.ended = true;
  } else if (text.substr(0, 2) == "d ") {
    const std::int32_t key = parse_key(text.substr(2));
    if (key >= 0) {
      delete_key(model, key);
    } else {
      refuse(state, state.line, "%s does not name a key: a key is 0 to 32767, in plain decimal", quote(text).text);
    }
  } else {
    refuse(state, state.line, "expected i, s, d KEY or q, not %s", quote(text).text);
  }
}

// The fast path for the key lines of a block, in the best version this
// processor runs.
using key_lines_function = const char* (*)(key_model&, const char*, const char*, std::uint64_t&);

key_lines_function best_key_lines() {
#if defined(KEYSCRIPT_X86_V3)
  if (cpu_runs_x86_v3()) {
    return take_key_lines_x86_v3;
  }
#endif
  return take_key_lines_portable;
}

const key_lines_function take_key_lines_fast = best_key_lines();

const char* take_key_lines(replay_state& state, const char* p, const char* end) {
  std::uint64_t taken = 0;
  p = take_key_lines_fast(model, p, end, taken);
  state.line += taken;
  count_block_lines(state, taken);
  return p;
}

// Takes every whole line in [p, end), and at the end of the input the last
// line too; returns where the unfinished line starts.
const char* take_lines(replay_state& state, const char* p, const char* end, bool at_end) {
  while (!state.refused && !state.ended) {
    if (state.in_block && state.block_length >= FAST_PATH_AFTER) {
      p = take_key_lines(state, p, end);
    }
    const auto* newline = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
    if (newline == nullptr) {
      if (at_end && p != end) {
        // The last line has no line end: only q may end the script that way.
        const std::string_view text(p, static_cast<std::size_t>(end - p));
        if (text == "q" && !state.in_block) {
          take_line(state, text);
        } else {
          refuse(state, state.line + 1, "the script ends in the middle of this line (%s), with no q line",
                 quote(text).text);
        }
        return end;
      }
      return p;
    }
    std::string_view text(p, static_cast<std::size_t>(newline - p));
    if (!text.empty() && text.back() == '\r') {
      text.remove_suffix(1);
    }
    take_line(state, text);
    p = newline + 1;
  }
  return p;
}

// q is the last line: the first line of whatever follows it is refused.
void refuse_after_q(replay_state& state, const char* from, const char* end) {
  const auto* newline = static_cast<const char*>(std::memchr(from, '\n', static_cast<std::size_t>(end - from)));
  const std::string_view text(from, static_cast<std::size_t>((newline != nullptr ? newline : end) - from));
  refuse(state, state.line + 1, "%s comes after q, which ends the script", quote(text).text);
}

// The input ended, every line of it whole, before q.
void refuse_early_end(replay_state& state) {
  if (state.line == 0) {
    refuse(state, 1, "the script is empty: it has no q line");
  } else {
    refuse(state, state.line, "the script ends after this line%s, with no q line",
           state.in_block ? ", inside an insertion block" : "");
  }
}

}  // namespace

replay_end replay(int fd, const char* name, const replay_options& options, read_function read_some) {
  reset(model, options.kind);
  replay_state state{options};
  start_input(fd, options.read_ahead, read_some);
  std::string_view carried;  // the unfinished line at the end of the part before
  for (;;) {
    // Checkpoints reached go out before more input is awaited, so that a
    // slow script shows its checkpoints as they come.
    flush_output();
    const input_part part = next_input(carried);
    if (part.error != 0) {
      write_message("keyscript-expect: %s: %s\n", name, std::strerror(part.error));
      return replay_end::unreadable;
    }
    const char* end = part.data + part.size;
    const char* rest = state.ended ? part.data : take_lines(state, part.data, end, part.at_end);
    if (state.refused) {
      return replay_end::malformed;
    }
    carried = std::string_view(rest, static_cast<std::size_t>(end - rest));
    if (state.ended) {
      if (!carried.empty()) {
        refuse_after_q(state, rest, end);
        return replay_end::malformed;
      }
      if (part.at_end) {
        return replay_end::complete;
      }
      continue;  // one more part tells whether anything follows q
    }
    if (part.at_end) {
      refuse_early_end(state);
      return replay_end::malformed;
    }
    if (carried.size() > INPUT_CARRY) {
      // No line is that long; refused on what there is of it.
      take_line(state, carried.substr(0, INPUT_CARRY));
      return replay_end::malformed;
    }
  }
}

}  // namespace keyscript
