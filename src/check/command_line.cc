#include "check/command_line.h"

#include <ctime>
#include <memory>

#include "check/options.h"
#include "check/plan.h"
#include "check/session.h"
#include "cli/program.h"
#include "io/messages.h"
#include "io/writer.h"

namespace keyscript {

int run_keyscript_check(int argc, char** argv, const std::atomic<bool>& interrupted, const program_streams& streams) {
  use_text_mode(streams.out);
  use_text_mode(streams.err);
  message_stream messages{"keyscript-check", streams.err};
  const char* invoked = invoked_name(argc, argv, "keyscript-check");
  auto out = std::make_unique<output_writer>(streams.out);
  const options_reading reading = read_options(argc, argv, *out, messages, invoked);
  int status = reading.status;
  if (reading.options) {
    const auto clock_seed = static_cast<std::uint32_t>(static_cast<std::uint64_t>(std::time(nullptr)));
    status = run_session(plan_session(*reading.options, clock_seed, invoked), messages, *out, interrupted);
  }
  return end_program(status, *out, messages, streams.close_out, CHECK_TROUBLE);
}

}  // namespace keyscript
