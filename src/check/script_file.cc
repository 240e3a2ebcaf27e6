#include "check/script_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <cinttypes>
#include <cstring>

#include "io/input.h"
#include "io/quote.h"
#include "replay/replayer.h"
#include "script/file_source.h"
#include "shrink/candidate.h"

namespace keyscript {

namespace {

// Refusals said as keyscript-expect says them, with the file's name.
struct refusal_sink final : replay_sink {
  message_stream& messages;
  const char* path;
  refusal_sink(message_stream& to, const char* file) : messages(to), path(file) {}
  bool checkpoint(const checkpoint_place& /*place*/, const key_model& /*model*/) override { return true; }
  void refused(std::uint64_t line, std::string_view why) override {
    complain(messages, "%s: line %" PRIu64 ": %.*s\n", quote(path).text, line, static_cast<int>(why.size()),
             why.data());
  }
  void ended(std::uint64_t /*lines*/, const replay_totals& /*totals*/) override {}
};

bool cannot_read(const char* path, int error, message_stream& messages) {
  complain(messages, "%s: %s\n", quote(path).text, std::strerror(error));
  return false;
}

// Replays the whole file, refusing it where a line is not the language; its
// lines when it is a well-formed script.
std::optional<std::uint64_t> replayed_lines(int fd, const char* path, message_stream& messages) {
  refusal_sink sink(messages, path);
  replayer replay(semantics::set, sink);
  input_reader input(fd, true, system_read, FILE_PART);
  for (;;) {
    const input_chunk chunk = input.next();
    replay.take(chunk.lines);
    if (replay.status() == replay_status::refused) return std::nullopt;
    if (chunk.error != 0) {
      cannot_read(path, chunk.error, messages);
      return std::nullopt;
    }
    if (chunk.too_long) {
      replay.refuse_long_line(chunk.unfinished);
      return std::nullopt;
    }
    if (chunk.at_end) {
      replay.finish(chunk.unfinished);
      return replay.status() == replay_status::ended ? std::optional<std::uint64_t>(replay.lines()) : std::nullopt;
    }
  }
}

// Reads the whole file into its value, refusing it where a line is not the
// language.
std::optional<script> read_value(int fd, const char* path, std::uint64_t lines, message_stream* messages) {
  script_builder builder;
  builder.reserve(static_cast<std::size_t>(lines));
  input_reader input(fd, true, system_read, FILE_PART);
  bool going = true;
  while (going) {
    const input_chunk chunk = input.next();
    going = builder.add({chunk.lines.data, chunk.lines.size});
    if (going && chunk.error != 0) {
      if (messages != nullptr) cannot_read(path, chunk.error, *messages);
      return std::nullopt;
    }
    if (going && chunk.too_long) {
      // Too long for any line of the language: refused on what there is of it.
      going = builder.add(std::string(chunk.unfinished) + "\n");
    } else if (going && chunk.at_end) {
      going = builder.finish(chunk.unfinished);
      break;
    }
  }
  if (!going) {
    if (messages != nullptr) {
      const refusal& refused = *builder.refused();
      complain(*messages, "%s: line %" PRIu64 ": %s\n", quote(path).text, refused.line, refused.why.c_str());
    }
    return std::nullopt;
  }
  return builder.take();
}

}  // namespace

std::optional<saved_file> check_saved_file(const char* path, message_stream& messages) {
  const int fd = open_for_reading(path);
  if (fd < 0) {
    cannot_read(path, errno, messages);
    return std::nullopt;
  }
  struct stat status {};
  const bool regular = fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
  std::optional<saved_file> file;
  if (regular) {
    // Read again for each run, so that a run holds nothing that grows with it.
    if (const std::optional<std::uint64_t> lines = replayed_lines(fd, path, messages)) {
      file = saved_file{path, *lines, std::nullopt};
    }
  } else if (std::optional<script> value = read_value(fd, path, 0, &messages)) {
    // A pipe or a device can be read only once: its value is kept.
    const std::uint64_t lines = value->items.size();
    file = saved_file{path, lines, std::move(value)};
  }
  system_close(fd);
  return file;
}

std::unique_ptr<line_source> open_saved_file(const saved_file& file) {
  if (file.value) {
    return std::make_unique<candidate_source>(without_items(*file.value, 0, 0));
  }
  const int fd = open_for_reading(file.path);
  if (fd < 0) {
    return nullptr;
  }
  return std::make_unique<file_source>(fd);
}

std::optional<script> value_of_saved_file(const saved_file& file) {
  if (file.value) {
    return file.value;
  }
  const int fd = open_for_reading(file.path);
  if (fd < 0) {
    return std::nullopt;
  }
  std::optional<script> value = read_value(fd, file.path, file.lines, nullptr);
  system_close(fd);
  return value;
}

}  // namespace keyscript
