#include "replay/replayer.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "replay/window.h"
#include "script/grammar.h"
#include "script/script_value.h"

namespace keyscript {

namespace {

// A block's insertions are applied at least this often, so that no counter
// of the open block can overflow.
constexpr std::uint64_t BLOCK_LIMIT = std::uint64_t{1} << 31;

// A block's keys are listed as they are counted until it has this many
// lines; after that, closing it looks at all 32768 counters instead, which
// is then cheaper than listing each line.
constexpr std::uint64_t LISTED_UP_TO = 16384;

key_lines_function chosen_kernel(kernel_choice kernel) {
#if defined(KEYSCRIPT_X86_V3)
  if (kernel == kernel_choice::best && x86_v3::cpu_runs_it()) {
    return x86_v3::take_key_lines;
  }
#else
  (void)kernel;
#endif
  return portable::take_key_lines;
}

// The start of the next line when a line end (LF or CR LF) begins at `at`,
// else null. The bytes up to the span's last newline may be read.
const char* after_line_end(const char* at) {
  if (at[0] == '\n') {
    return at + 1;
  }
  return at[0] == '\r' && at[1] == '\n' ? at + 2 : nullptr;
}

struct deletion {
  std::int32_t key;
  const char* next;  // the next line's start
};

// The key of a "d KEY" line that starts at `p`, read from one 8-byte load
// (`p` has at least 8 bytes before the span's end), or a null `next` for a
// line that is not that plainly a deletion: the slow path then says why.
deletion plain_deletion(const char* p) {
  const std::uint64_t word = load_le64(p);
  constexpr std::uint64_t KEY_BYTES = 0xFFFFFFFFFFFF0000U;  // after "d "
  const std::uint64_t not_digits = ~swar::digit_bytes(word) & swar::HIGH & KEY_BYTES;
  if (not_digits == 0) {
    return {0, nullptr};  // 6 digits or more
  }
  const auto text_end = static_cast<unsigned>(__builtin_ctzll(not_digits)) / 8;
  const unsigned length = text_end - 2;
  if (length == 0 || (length > 1 && p[2] == '0')) {
    return {0, nullptr};
  }
  const std::uint32_t key = portable_key(p + text_end, length);
  const char* next = after_line_end(p + text_end);
  return {static_cast<std::int32_t>(key), key < static_cast<std::uint32_t>(KEY_VALUES) ? next : nullptr};
}

}  // namespace

replayer::replayer(semantics kind, replay_sink& sink, kernel_choice kernel)
    : model_(new key_model(kind)), sink_(sink), take_key_lines_fast_(chosen_kernel(kernel)) {}

void replayer::refuse(std::uint64_t line, std::string_view why) {
  sink_.refused(line, why);
  status_ = replay_status::refused;
}

void replayer::checkpoint(char command) {
  const checkpoint_place place{++checkpoints_, line_, command};
  if (!sink_.checkpoint(place, *model_)) {
    status_ = replay_status::stopped;
  } else if (command == 'q') {
    sink_.ended(line_, model_->totals());
    status_ = replay_status::ended;
  } else if (pause_) {
    status_ = replay_status::paused;
  }
}

void replayer::count_block_lines(std::uint64_t lines) {
  block_length_ += lines;
  block_lines_ += lines;
  if (block_lines_ >= BLOCK_LIMIT) {
    model_->close_block();
    block_lines_ = 0;
  }
}

// One whole line, its line end taken off.
void replayer::take_line(std::string_view text) {
  ++line_;
  const std::optional<std::int32_t> item = item_of_line(text, in_block_);
  if (!item) {
    refuse(line_, why_refused(text, in_block_));
  } else if (is_key_item(*item)) {
    model_->insert(*item);
    count_block_lines(1);
  } else if (is_erase_item(*item)) {
    model_->erase(key_of(*item));
  } else if (*item == CLOSE_ITEM) {
    model_->close_block();
    block_lines_ = 0;
    block_length_ = 0;
    in_block_ = false;
  } else if (*item == OPEN_ITEM) {
    in_block_ = true;
  } else {
    checkpoint(*item == QUIT_ITEM ? 'q' : 's');
  }
}

const char* replayer::take_key_lines(const char* p, const char* end) {
  if (block_length_ >= LISTED_UP_TO) {
    model_->stop_listing();
  }
  std::uint64_t taken = 0;
  p = take_key_lines_fast_(model_->counter(), p, end, taken);
  line_ += taken;
  count_block_lines(taken);
  return p;
}

// The lines that most scripts hold out of a block, "s", "i" and "d KEY",
// taken without first looking for where they end. Returns the next line's
// start, or null for a line left to take_line.
const char* replayer::take_plain_command(const char* p, const char* end) {
  if (p[0] == 'd' && p[1] == ' ' && end - p >= 8) {
    const deletion plain = plain_deletion(p);
    if (plain.next != nullptr) {
      ++line_;
      model_->erase(plain.key);
    }
    return plain.next;
  }
  const char* next = p[0] == '\n' ? nullptr : after_line_end(p + 1);
  if (next == nullptr) {
    return nullptr;
  }
  if (p[0] == 's') {
    ++line_;
    checkpoint('s');
  } else if (p[0] == 'i') {
    ++line_;
    in_block_ = true;
  } else {
    return nullptr;
  }
  return next;
}

void replayer::refuse_after_q(std::string_view text) { refuse(line_ + 1, why_after_q(text)); }

const char* replayer::take(line_span lines) {
  const char* p = lines.data;
  const char* end = p + lines.size;
  if (status_ == replay_status::paused) {
    status_ = replay_status::reading;
  }
  while (status_ == replay_status::reading && p != end) {
    if (in_block_) {
      p = take_key_lines(p, end);
      if (p == end) {
        break;
      }
    } else if (const char* next = take_plain_command(p, end)) {
      p = next;
      continue;
    }
    const auto* newline = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
    std::string_view text(p, static_cast<std::size_t>(newline - p));
    if (!text.empty() && text.back() == '\r') {
      text.remove_suffix(1);
    }
    take_line(text);
    p = newline + 1;
  }
  if (status_ == replay_status::ended && p != end) {
    // q is the last line: the first line of whatever follows it is refused.
    const auto* newline = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
    refuse_after_q(std::string_view(p, static_cast<std::size_t>(newline - p)));
    p = newline + 1;
  }
  return p;
}

void replayer::finish(std::string_view unfinished) {
  if (status_ == replay_status::ended) {
    if (!unfinished.empty()) {
      refuse_after_q(unfinished);
    }
    return;
  }
  if (status_ != replay_status::reading && status_ != replay_status::paused) {
    return;
  }
  if (last_line_is_q(unfinished, in_block_)) {
    take_line(unfinished);
  } else {
    const refusal ending = refuse_end(line_, in_block_, unfinished);
    refuse(ending.line, ending.why);
  }
}

void replayer::refuse_long_line(std::string_view start) {
  if (status_ == replay_status::ended) {
    refuse_after_q(start);
  } else {
    take_line(start);
  }
}

}  // namespace keyscript
