#pragma once

#include <getopt.h>

#include "io/messages.h"

// Options the way GNU tools take them (getopt_long, which glibc and
// MinGW-w64 both have): --opt=VALUE, --opt VALUE, unique abbreviations of
// long names, options among the operands, and "--" to end them.

namespace keyscript {

// What next_option returns when the words hold no more options.
inline constexpr int OPTIONS_DONE = -1;
// What it returns for a word it has refused (and said why).
inline constexpr int OPTION_REFUSED = '?';

// Starts reading `argv`'s options from the first word after the program.
void begin_options();

// The next option's value (its short letter, or a long option's `val`), with
// its argument in `optarg`; OPTIONS_DONE, after which `optind` is the first
// operand; or OPTION_REFUSED after saying why on `messages`, with a pointer
// to --help.
int next_option(int argc, char** argv, const char* letters, const option* names, message_stream& messages,
                const char* invoked);

// "PROGRAM: WHAT\nTry 'INVOKED --help'.\n".
[[gnu::format(printf, 3, 4)]] void complain_usage(message_stream& messages, const char* invoked, const char* format,
                                                  ...);

}  // namespace keyscript
