#include "check/listing_checker.h"

#include <cstring>

#include "io/input.h"
#include "io/quote.h"
#include "script/language.h"

namespace keyscript {

namespace {

// A line of output longer than this is no key, whatever follows.
constexpr std::size_t LONGEST_LINE = 16;
// Past the first difference, the listing is read on (to count what it
// misses and adds) while its keys ascend, for at most this many lines.
constexpr std::uint64_t DIAGNOSIS_LINES = std::uint64_t{1} << 16;

void keep_first(std::vector<std::int32_t>& keys, std::int32_t key, std::size_t most) {
  if (keys.size() < most) {
    keys.push_back(key);
  }
}

}  // namespace

listing_checker::listing_checker(line_source& expected, semantics kind, bool end_line)
    : expected_(expected), replay_(kind, sink_), kind_(kind), end_line_(end_line) {
  replay_.pause_at_checkpoints(true);
}

// Replays the expected script up to its next checkpoint; false when it has
// none left (or is not well formed).
bool listing_checker::next_checkpoint() {
  const std::uint64_t before = replay_.checkpoints();
  if (replay_.status() == replay_status::ended || replay_.status() == replay_status::refused) {
    return false;
  }
  for (;;) {
    if (pending_.size == 0) {
      pending_ = expected_.next();
      if (pending_.size == 0) {
        replay_.finish({});
        break;
      }
    }
    const char* stop = replay_.take(pending_);
    const auto taken = static_cast<std::size_t>(stop - pending_.data);
    pending_ = {stop, pending_.size - taken};
    if (replay_.status() != replay_status::reading) {
      break;
    }
  }
  return replay_.checkpoints() > before &&
         (replay_.status() == replay_status::paused || replay_.status() == replay_status::ended);
}

void listing_checker::start_listing() {
  const key_model& model = replay_.model();
  cursor_ = model.next_held(0);
  copies_left_ = cursor_ < 0 ? 0 : model.copies(cursor_);
  previous_ = -1;
  listed_ = 0;
  verdict_.checkpoint = replay_.checkpoints();
  verdict_.script_line = replay_.lines();
  verdict_.command = replay_.status() == replay_status::ended ? 'q' : 's';
  verdict_.expected_count = model.now().held;
  verdict_.expected_keys.clear();
  verdict_.seen_keys.clear();
  model.for_each_held([&](std::int32_t key, std::uint64_t copies) {
    for (std::uint64_t i = 0; i < copies && verdict_.expected_keys.size() < LISTING_SHOWN; ++i) {
      verdict_.expected_keys.push_back(key);
    }
  });
  phase_ = phase::listing;
}

void listing_checker::step_cursor() {
  if (--copies_left_ == 0) {
    cursor_ = replay_.model().next_held(cursor_ + 1);
    copies_left_ = cursor_ < 0 ? 0 : replay_.model().copies(cursor_);
  }
}

bool listing_checker::take(std::string_view bytes) {
  while (!bytes.empty() && phase_ != phase::done) {
    const auto* newline = static_cast<const char*>(std::memchr(bytes.data(), '\n', bytes.size()));
    const std::size_t length = newline == nullptr ? bytes.size() : static_cast<std::size_t>(newline - bytes.data());
    if (carry_.size() + length > LONGEST_LINE) {
      // Too long for a key: judged on what there is of it.
      carry_.append(bytes.data(), std::min(length, LONGEST_LINE));
      take_line(carry_);
      carry_.clear();
      if (phase_ != phase::done) {
        end_diagnosis();
      }
      break;
    }
    if (newline == nullptr) {
      carry_.append(bytes.data(), length);
      break;
    }
    std::string_view line(bytes.data(), length);
    if (!carry_.empty()) {
      carry_.append(line);
      line = carry_;
    }
    if (!line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
    }
    take_line(line);
    carry_.clear();
    bytes.remove_prefix(length + 1);
  }
  return phase_ != phase::done;
}

void listing_checker::take_line(std::string_view text) {
  if (phase_ == phase::ended) {
    verdict_.after_q = true;  // nothing may follow the end line
    phase_ = phase::listing;
  }
  if (phase_ == phase::between) {
    while (phase_ == phase::between) {
      if (!next_checkpoint()) {
        if (end_line_ && text == QUIT_LINE) {
          phase_ = phase::ended;
          return;
        }
        // Past the last listing: whatever follows is extra, judged as part
        // of it.
        verdict_.after_q = true;
        phase_ = phase::listing;
        break;
      }
      start_listing();
      if (cursor_ < 0) {
        phase_ = phase::between;  // an empty listing is complete already
      }
    }
  }
  const std::int32_t key = parse_key(text);
  if (phase_ == phase::diagnosing) {
    if (key < 0 || key < previous_ || verdict_.after_q || verdict_.seen_count - listed_ >= DIAGNOSIS_LINES) {
      end_diagnosis();  // the listing has ended: the next one starts here
    } else {
      diagnose(key);
    }
    return;
  }
  if (key >= 0 && key == cursor_) {
    keep_first(verdict_.seen_keys, key, LISTING_SHOWN);
    ++listed_;
    previous_ = key;
    step_cursor();
    if (cursor_ < 0) {
      phase_ = phase::between;
    }
    return;
  }
  begin_diagnosis(text);
  if (key >= 0 && key < previous_ && !verdict_.after_q) {
    verdict_.ended_short = true;  // a listing's keys ascend: this one has ended
    end_diagnosis();
  } else if (key < 0) {
    end_diagnosis();
  } else {
    diagnose(key);
  }
}

void listing_checker::begin_diagnosis(std::string_view seen) {
  verdict_.failed = true;
  verdict_.listing_line = listed_ + 1;
  verdict_.expected = cursor_ < 0 ? "(end of listing)" : std::to_string(cursor_);
  verdict_.seen = parse_key(seen) >= 0 ? std::string(seen) : std::string(quote(seen).text);
  verdict_.seen_count = listed_;
  phase_ = phase::diagnosing;
}

// One more key of a listing known to be wrong, merged against what is due.
void listing_checker::diagnose(std::int32_t key) {
  keep_first(verdict_.seen_keys, key, LISTING_SHOWN);
  ++verdict_.seen_count;
  while (cursor_ >= 0 && cursor_ < key) {
    verdict_.missing_count += copies_left_;
    keep_first(verdict_.missing, cursor_, KEYS_SHOWN);
    copies_left_ = 1;
    step_cursor();
  }
  if (cursor_ == key) {
    step_cursor();
  } else {
    ++verdict_.extra_count;  // not held, or listed more often than held
    keep_first(verdict_.extra, key, KEYS_SHOWN);
  }
  previous_ = key;
}

void listing_checker::end_diagnosis() {
  while (cursor_ >= 0) {
    verdict_.missing_count += copies_left_;
    keep_first(verdict_.missing, cursor_, KEYS_SHOWN);
    copies_left_ = 1;
    step_cursor();
  }
  phase_ = phase::done;
}

void listing_checker::finish() {
  if (!carry_.empty()) {
    take_line(carry_);  // a last line without its line end
    carry_.clear();
  }
  for (;;) {
    if (phase_ == phase::done) {
      return;
    }
    if (phase_ == phase::diagnosing) {
      end_diagnosis();
      return;
    }
    if (phase_ == phase::listing) {
      begin_diagnosis({});
      verdict_.seen = "(end of output)";
      verdict_.ended_short = !verdict_.after_q;
      verdict_.output_ended = true;
      end_diagnosis();
      return;
    }
    if (!next_checkpoint()) {
      phase_ = phase::done;
      return;
    }
    start_listing();
    if (cursor_ < 0) {
      phase_ = phase::between;
    }
  }
}

}  // namespace keyscript
