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

int run_keyscript_check(int argc, char** argv, live_runs& runs, const program_streams& streams) {
  use_text_mode(streams.out);
  use_text_mode(streams.err);
  message_stream messages{"keyscript-check", streams.err};
  const char* invoked = invoked_name(argc, argv, "keyscript-check");
  auto out = std::make_unique<output_writer>(streams.out);
  const options_reading reading = read_options(argc, argv, *out, messages, invoked);
  int status = reading.status;
  if (reading.options) {
    const auto clock_seed = static_cast<std::uint32_t>(static_cast<std::uint64_t>(std::time(nullptr)));
    session_plan plan = plan_session(*reading.options, clock_seed, invoked);
    // Every run of the program joins the registry, which kills what it
    // leaves behind, and stops when it is interrupted.
    plan.program.runs = &runs;
    status = run_session(plan, messages, *out, runs.interrupted());
  }
  return end_program(status, *out, messages, streams.close_out, CHECK_TROUBLE);
}

}  // namespace keyscript
