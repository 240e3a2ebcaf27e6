#include "keyscript/command_line.h"

#include <charconv>
#include <cstdlib>
#include <cstring>

#include "cli/program.h"
#include "io/messages.h"
#include "io/quote.h"
#include "io/writer.h"
#include "random/generator.h"
#include "script/language.h"
#include "script/pass_writer.h"

namespace keyscript {

static bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

static bool is_digit(char c) { return c >= '0' && c <= '9'; }

std::optional<count_reading> parse_count(const char* text) {
  while (is_space(*text)) {
    ++text;
  }
  const bool negative = *text == '-';
  if (*text == '+' || *text == '-') {
    ++text;
  }
  if (!is_digit(*text)) {
    return std::nullopt;
  }
  std::uint32_t value = 0;
  std::uint64_t magnitude = 0;  // the digits' true value, held once past 2^32
  for (; is_digit(*text); ++text) {
    const auto digit = static_cast<std::uint32_t>(*text - '0');
    value = value * 10U + digit;
    magnitude = magnitude > UINT32_MAX ? magnitude : magnitude * 10U + digit;
  }
  const char* rest = text;
  while (is_space(*rest)) {
    ++rest;
  }
  const std::uint64_t limit = negative ? std::uint64_t{INT32_MAX} + 1 : INT32_MAX;
  return count_reading{static_cast<std::int32_t>(negative ? 0U - value : value), *rest != '\0', magnitude > limit};
}

std::optional<std::uint32_t> parse_seed(const char* text) {
  // from_chars takes no sign, space or base prefix for an unsigned value and
  // refuses one out of range; all that is left is to insist on the whole text.
  const char* end = text + std::strlen(text);
  std::uint32_t value = 0;
  const auto [stop, error] = std::from_chars(text, end, value);
  if (error != std::errc() || stop != end) {
    return std::nullopt;
  }
  return value;
}

static int usage(message_stream& messages, const char* program) {
  say(messages, "Usage: %s <Num Keys>\n", program);
  return 1;
}

static void write_help(output_writer& out, const char* program) {
  out.write("Usage: ");
  out.write(program);
  out.write(
      " NUM_KEYS\n"
      "Write a random, reproducible command script for exercising a program that\n"
      "keeps a collection of integer keys.\n"
      "\n"
      "The script has two passes. Each pass is \"i\", its keys (0 to 32767, one per\n"
      "line, about 0.9 to 1.1 times NUM_KEYS of them, drawn with replacement), \"-1\",\n"
      "\"s\", then lines \"d KEY\" naming keys of that pass to delete: 1 when NUM_KEYS\n"
      "is 10 or less, else 10, each picked independently, so a pass can name a key\n"
      "more than once. The script ends with \"s\" and \"q\". Each pass reports its\n"
      "counts on standard error.\n"
      "\n"
      "NUM_KEYS is from 0 to 1952257819, read like C's %d: leading white space, an\n"
      "optional sign, then digits. Text after the digits is ignored and digits past\n"
      "32 bits wrap around; either draws a warning that says what NUM_KEYS is read as.\n"
      "\n"
      "  -h, --help  show this help\n"
      "  --version   show the version\n"
      "\n"
      "Environment:\n"
      "  KEYSCRIPT_SEED  seed the generator with this whole number, 0 to 4294967295,\n"
      "                  instead of the clock (the Unix time in whole seconds when the\n"
      "                  run starts); when set, it must not be empty. The same seed\n"
      "                  and NUM_KEYS give the same script.\n"
      "\n"
      "Exit status: 0 on success; 1 on wrong usage, a refused NUM_KEYS or\n"
      "KEYSCRIPT_SEED, a failed write or close of standard output, or a standard\n"
      "error that cannot be written.\n");
}

// Standard error reports problems itself; if it cannot even do that, the
// exit status is all that is left to say so.
static int finish(int status, output_writer& out, message_stream& messages, close_function close_fd) {
  const int ended = end_program(status, out, messages, close_fd, 1);
  return messages.lost ? 1 : ended;
}

// Both passes, then the closing lines; a pass whose output failed ends the
// run there.
static void write_script(random_generator& generator, std::int32_t num_keys, output_writer& out,
                         message_stream& messages) {
  for (int pass = 0; pass < 2 && out.error() == 0; ++pass) {
    write_pass(generator, num_keys, out, messages);
  }
  for (const std::string_view line : {CHECKPOINT_LINE, QUIT_LINE}) {
    out.write(line);
    out.write("\n");
  }
}

int run_keyscript(int argc, char** argv, const program_streams& streams) {
  use_text_mode(streams.out);
  use_text_mode(streams.err);
  message_stream messages{"keyscript", streams.err};
  const char* program = invoked_name(argc, argv, "keyscript");
  if (argc != 2) {
    return usage(messages, program);
  }
  output_writer out(streams.out);
  const char* argument = argv[1];
  if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0) {
    write_help(out, program);
    return finish(0, out, messages, streams.close_out);
  }
  if (std::strcmp(argument, "--version") == 0) {
    write_version(out, "keyscript");
    return finish(0, out, messages, streams.close_out);
  }
  const std::optional<count_reading> count = parse_count(argument);
  if (!count) {
    return usage(messages, program);
  }
  // Refusals and warnings quote the argument as typed, and say what it was
  // read as: 4294967295 is -1, 1e6 is 1.
  if (count->value < 0 || count->value > MAX_NUM_KEYS) {
    complain(messages, "NUM_KEYS %s is read as %d; it must be from 0 to %d\n", quote(argument).text, count->value,
             MAX_NUM_KEYS);
    return 1;
  }
  // The generator is seeded once, after the arguments are known to be good:
  // a refused run never reads the clock. A seed that is set but empty is
  // refused, not taken for the clock: KEYSCRIPT_SEED=$seed with a misspelt
  // variable would otherwise give a run that nobody can repeat.
  std::uint32_t seed = 0;
  const char* seed_text = std::getenv("KEYSCRIPT_SEED");
  if (seed_text != nullptr) {
    const std::optional<std::uint32_t> given = parse_seed(seed_text);
    if (!given) {
      complain(messages,
               "KEYSCRIPT_SEED %s is not a seed: set it to a whole number from 0 to 4294967295, "
               "or unset it to seed from the clock\n",
               quote(seed_text).text);
      return 1;
    }
    seed = *given;
  } else {
    seed = clock_seed();
  }
  if (count->text_after_digits || count->wrapped) {
    complain(messages, "warning: NUM_KEYS %s is read as %d\n", quote(argument).text, count->value);
  }
  random_generator generator{seed};
  write_script(generator, count->value, out, messages);
  return finish(0, out, messages, streams.close_out);
}

}  // namespace keyscript
