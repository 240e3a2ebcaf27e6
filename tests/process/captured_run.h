#pragma once

// Whole strings in and out of a program run, for the tests.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "process/process.h"

namespace keyscript {

// A text known in full, handed out in one part (bytes of any kind: the
// process runner feeds what it is given).
class whole_input final : public line_source {
 public:
  explicit whole_input(std::string_view text) : rest_(text) {}
  line_span next() override {
    const std::string_view part = std::exchange(rest_, std::string_view());
    return {part.data(), part.size()};
  }

 private:
  std::string_view rest_;
};

class appending_sink final : public output_sink {
 public:
  explicit appending_sink(std::string& text) : text_(&text) {}
  sink_answer take(std::string_view bytes) override {
    text_->append(bytes);
    return sink_answer::more;
  }

 private:
  std::string* text_;
};

struct captured_run {
  process_result result;
  std::string out;
  std::string err;
};

inline captured_run run_captured(const process_command& command, std::string_view input, const process_limits& limits) {
  captured_run run;
  whole_input source(input);
  appending_sink out(run.out);
  appending_sink err(run.err);
  run.result = run_process(command, &source, out, err, limits);
  return run;
}

// The words that run `script` with /bin/sh.
inline std::vector<std::string> shell(const std::string& script) { return {"/bin/sh", "-c", script}; }

}  // namespace keyscript
