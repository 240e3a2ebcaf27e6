#include "expect/report.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "output/output.h"

namespace keyscript {

static constexpr std::size_t REPORT_LINE = 256;  // room for the longest line: every figure at 20 digits

static void write_formatted(const char* text, int length) {
  char* at = output_reserve(REPORT_LINE);
  std::memcpy(at, text, static_cast<std::size_t>(length));
  output_commit(at + length);
}

void write_checkpoint(std::uint64_t number, std::uint64_t line, char command, const holding& now) {
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
                                   number, line, command, now.held, now.distinct, min, max, now.sum);
  write_formatted(text, length);
}

void write_held_keys(const key_model& model) {
  constexpr std::uint64_t chunk_lines = OUTPUT_CAPACITY / MAX_KEY_LINE;
  for_each_held(model, [](std::int32_t key, std::uint64_t copies) {
    const key_text& text = KEY_TEXT[static_cast<std::size_t>(key)];
    while (copies > 0) {
      const std::uint64_t lines = copies < chunk_lines ? copies : chunk_lines;
      char* out = output_reserve(static_cast<std::size_t>(lines) * MAX_KEY_LINE);
      for (std::uint64_t i = 0; i < lines; ++i) {
        std::memcpy(out, &text, sizeof text);  // 8 bytes; the room past the line is slack
        out += text.length;
      }
      output_commit(out);
      copies -= lines;
    }
  });
}

void write_totals(std::uint64_t lines, const replay_totals& totals) {
  char text[REPORT_LINE];
  const int length = std::snprintf(text, sizeof text,
                                   "total lines=%" PRIu64 " inserts=%" PRIu64 " already_held=%" PRIu64
                                   " deletes=%" PRIu64 " not_held=%" PRIu64 "\n",
                                   lines, totals.inserts, totals.already_held, totals.deletes, totals.not_held);
  write_formatted(text, length);
}

}  // namespace keyscript
