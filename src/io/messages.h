#pragma once

// Lines for standard error, each written at once with a single write where
// the descriptor takes it whole. A line that cannot be written is
// remembered, so that a run can still end with a failing status when even
// its complaints are lost.

namespace keyscript {

struct message_stream {
  const char* program;  // the name complaints start with: "keyscript: ..."
  int fd = 2;
  bool lost = false;
};

// A line formatted as printf does, of any length.
[[gnu::format(printf, 2, 3)]] void say(message_stream& messages, const char* format, ...);
// The same, after "PROGRAM: ".
[[gnu::format(printf, 2, 3)]] void complain(message_stream& messages, const char* format, ...);

// argv[0] where there is one, else `fallback`: what a usage line names.
const char* invoked_name(int argc, char** argv, const char* fallback);

}  // namespace keyscript
