#include "script/keyscript_source.h"

#include "script/language.h"

namespace keyscript {

namespace {

// Room for the end of a pass: "-1", "s" and ten deletions.
constexpr std::ptrdiff_t PASS_END_ROOM = 128;

}  // namespace

keyscript_source::keyscript_source(std::uint32_t seed, std::int32_t num_keys) : generator_{seed}, num_keys_(num_keys) {}

char* keyscript_source::write_some(char* out, const char* limit) {
  while (phase_ != phase::done && limit - out >= PASS_END_ROOM) {
    switch (phase_) {
      case phase::pass_start:
        plan_ = begin_pass(generator_, num_keys_);
        keys_left_ = plan_.insert_count > 0 ? plan_.insert_count : 0;
        out = write_line(out, INSERT_LINE);
        phase_ = phase::keys;
        break;
      case phase::keys: {
        const auto room = static_cast<std::int32_t>((limit - out) / MAX_KEY_LINE);
        const std::int32_t count = keys_left_ < room ? keys_left_ : room;
        out = write_drawn_keys(generator_.state, count, out);
        keys_left_ -= count;
        if (keys_left_ == 0) {
          phase_ = phase::pass_end;
        }
        break;
      }
      case phase::pass_end:
        out = write_line(out, BLOCK_END_LINE);
        out = write_line(out, CHECKPOINT_LINE);
        for (std::int32_t i = 0; i < plan_.delete_count; ++i) {
          out = write_delete_line(out, next_deletion(generator_, plan_));
        }
        phase_ = ++passes_done_ < 2 ? phase::pass_start : phase::closing;
        break;
      case phase::closing:
        out = write_line(write_line(out, CHECKPOINT_LINE), QUIT_LINE);
        phase_ = phase::done;
        break;
      case phase::done:
        break;
    }
  }
  return out;
}

}  // namespace keyscript
