#include "expect/report.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace keyscript {

static constexpr std::size_t REPORT_LINE = 256;  // room for the longest line: every figure at 20 digits

static void write_formatted(output_writer& out, const char* text, int length) {
  char* at = out.reserve(REPORT_LINE);
  std::memcpy(at, text, static_cast<std::size_t>(length));
  out.commit(at + length);
}

void write_checkpoint(output_writer& out, const checkpoint_place& place, const holding& now) {
  char min[16] = "none";
  char max[16] = "none";
  if (now.distinct != 0) {
    std::snprintf(min, sizeof min, "%d", now.min);
    std::snprintf(max, sizeof max, "%d", now.max);
  }
  char text[REPORT_LINE];
  const int length = std::snprintf(text, sizeof text,
                                   "checkpoint=%" PRIu64 " line=%" PRIu64 " command=%c held=%" PRIu64
                                   " distinct=%" PRIu32 " min=%s max=%s sum=%" PRIu64 "\n",
                                   place.number, place.line, place.command, now.held, now.distinct, min, max, now.sum);
  write_formatted(out, text, length);
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
