#pragma once

#include <cstdint>

#include "io/messages.h"
#include "io/writer.h"
#include "replay/replayer.h"

// What keyscript-expect writes on standard output, in logfmt:
//   checkpoint=N line=L command=s held=H distinct=D min=A max=B sum=S
//   total lines=L inserts=I already_held=X deletes=R not_held=Y
// min and max are "none" when nothing is held. Refusals go to standard error.

namespace keyscript {

void write_checkpoint(output_writer& out, const checkpoint_place& place, const holding& now);

// The keys held, in ascending order, one a line; a key held n times comes n
// times.
void write_held_keys(output_writer& out, const key_model& model);

void write_totals(output_writer& out, std::uint64_t lines, const replay_totals& totals);

class report_sink : public replay_sink {
 public:
  report_sink(output_writer& out, message_stream& messages, bool list_keys)
      : out_(out), messages_(messages), list_keys_(list_keys) {}
  // Stops the replay once the output has failed.
  bool checkpoint(const checkpoint_place& place, const key_model& model) override;
  void refused(std::uint64_t line, std::string_view why) override;
  void ended(std::uint64_t lines, const replay_totals& totals) override;

 private:
  output_writer& out_;
  message_stream& messages_;
  bool list_keys_;
};

}  // namespace keyscript
