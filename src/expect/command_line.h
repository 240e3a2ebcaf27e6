#pragma once

#include "io/messages.h"
#include "io/platform.h"
#include "io/writer.h"
#include "replay/replayer.h"

namespace keyscript {

// Exit statuses: the script is well-formed; a line was refused or the script
// ended early; the options, the input or the output failed.
inline constexpr int EXPECT_COMPLETE = 0;
inline constexpr int EXPECT_MALFORMED = 1;
inline constexpr int EXPECT_TROUBLE = 2;

// The whole run of keyscript-expect on `streams`; returns the exit status.
// The output is closed at the end, and a failed close fails the run.
int run_keyscript_expect(int argc, char** argv, const program_streams& streams = {});

// How a script is replayed: the model's semantics, whether checkpoints list
// the keys held, which fast path runs, and how the input is read.
struct replay_settings {
  semantics kind = semantics::set;
  bool list_keys = false;
  kernel_choice kernel = kernel_choice::best;
  bool read_ahead = true;
  read_function read = system_read;
};

// Replays the script on `fd` (`name` is what messages call it), writing the
// report to `out` and refusals to `messages`; returns the exit status.
int replay_input(int fd, const char* name, const replay_settings& settings, output_writer& out,
                 message_stream& messages);

}  // namespace keyscript
