#include "expect/report.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace keyscript {

static constexpr std::size_t REPORT_LINE = 256;  // room for the longest line: every figure at 20 digits

static void write_formatted(output_writer& out, const char* text, int length) {
  char* at = out.reserve(REPORT_LINE);
  std::memcpy(at, text, static_cast<std::size_t>(length));
  out.commit(at + length);
}

// Two decimal digits for each value below 100.
static constexpr char DIGIT_PAIRS[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Checkpoints can be most of a script's lines, so their figures are written
// by hand: snprintf would cost ten times what the rest of a checkpoint does.
static char* put_decimal(char* at, std::uint64_t value) {
  unsigned digits = 1;
  for (std::uint64_t power = 10; digits < 20 && value >= power; power *= 10) {
    ++digits;
  }
  char* end = at + digits;
  char* out = end;
  while (value >= 100) {
    const auto pair = static_cast<std::size_t>(value % 100) * 2;
    value /= 100;
    out -= 2;
    std::memcpy(out, DIGIT_PAIRS + pair, 2);
  }
  if (value >= 10) {
    out -= 2;
    std::memcpy(out, DIGIT_PAIRS + static_cast<std::size_t>(value) * 2, 2);
  } else {
    *--out = static_cast<char>('0' + value);
  }
  return end;
}

static char* put_text(char* at, std::string_view text) {
  std::memcpy(at, text.data(), text.size());
  return at + text.size();
}

static char* put_key_or_none(char* at, std::int32_t key) {
  return key < 0 ? put_text(at, "none") : put_decimal(at, static_cast<std::uint64_t>(key));
}

void write_checkpoint(output_writer& out, const checkpoint_place& place, const holding& now) {
  char* at = out.reserve(REPORT_LINE);
  at = put_decimal(put_text(at, "checkpoint="), place.number);
  at = put_decimal(put_text(at, " line="), place.line);
  at = put_text(at, " command=");
  *at++ = place.command;
  at = put_decimal(put_text(at, " held="), now.held);
  at = put_decimal(put_text(at, " distinct="), now.distinct);
  at = put_key_or_none(put_text(at, " min="), now.distinct != 0 ? now.min : -1);
  at = put_key_or_none(put_text(at, " max="), now.distinct != 0 ? now.max : -1);
  at = put_decimal(put_text(at, " sum="), now.sum);
  *at++ = '\n';
  out.commit(at);
}

void write_held_keys(output_writer& out, const key_model& model) {
  constexpr std::uint64_t chunk_lines = OUTPUT_CAPACITY / MAX_KEY_LINE;
  model.for_each_held([&](std::int32_t key, std::uint64_t copies) {
    while (copies > 0) {
      const std::uint64_t lines = copies < chunk_lines ? copies : chunk_lines;
      char* at = out.reserve(static_cast<std::size_t>(lines) * MAX_KEY_LINE);
      for (std::uint64_t i = 0; i < lines; ++i) {
        at = write_key_line(at, key);
      }
      out.commit(at);
      copies -= lines;
    }
  });
}

void write_totals(output_writer& out, std::uint64_t lines, const replay_totals& totals) {
  char text[REPORT_LINE];
  const int length = std::snprintf(text, sizeof text,
                                   "total lines=%" PRIu64 " inserts=%" PRIu64 " already_held=%" PRIu64
                                   " deletes=%" PRIu64 " not_held=%" PRIu64 "\n",
                                   lines, totals.inserts, totals.already_held, totals.deletes, totals.not_held);
  write_formatted(out, text, length);
}

bool report_sink::checkpoint(const checkpoint_place& place, const key_model& model) {
  write_checkpoint(out_, place, model.now());
  if (list_keys_) {
    write_held_keys(out_, model);
  }
  return out_.error() == 0;
}

void report_sink::refused(std::uint64_t line, std::string_view why) {
  complain(messages_, "line %" PRIu64 ": %.*s\n", line, static_cast<int>(why.size()), why.data());
}

void report_sink::ended(std::uint64_t lines, const replay_totals& totals) { write_totals(out_, lines, totals); }

}  // namespace keyscript
