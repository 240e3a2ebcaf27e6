#include "app/command_line.h"

#include <charconv>
#include <cstdlib>
#include <cstring>

#include "random/generator.h"
#include "output/output.h"
#include "script/pass_writer.h"
#include "version.h"

namespace keyscript {

static bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

static bool is_digit(char c) { return c >= '0' && c <= '9'; }

std::optional<std::int32_t> parse_count(const char* text) {
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
  for (; is_digit(*text); ++text) {
    value = value * 10U + static_cast<std::uint32_t>(*text - '0');
  }
  return static_cast<std::int32_t>(negative ? 0U - value : value);
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

static int usage(const char* program) {
  write_message("Usage: %s <Num Keys>\n", program);
  return 1;
}

static void write_help(const char* program) {
  write_output("Usage: ");
  write_output(program);
  write_output(
      " <Num Keys>\n"
      "Write a random, reproducible command script for exercising a program that\n"
      "keeps a collection of integer keys.\n"
      "\n"
      "The script has two passes. Each pass is \"i\", its keys (0 to 32767, one per\n"
      "line, about 0.9 to 1.1 times Num Keys of them), \"-1\", \"s\", then lines\n"
      "\"d KEY\" naming keys of that pass to delete: 1 when Num Keys is 10 or less,\n"
      "else 10. The script ends with \"s\" and \"q\". Each pass reports its counts on\n"
      "standard error. Num Keys is from 0 to 1952257819.\n"
      "\n"
      "  -h, --help  show this help\n"
      "  --version   show the version\n"
      "\n"
      "Environment:\n"
      "  KEYSCRIPT_SEED  seed the generator with this whole number, 0 to 4294967295,\n"
      "                  instead of the clock (the Unix time in whole seconds when the\n"
      "                  run starts). The same seed and Num Keys give the same script.\n"
      "\n"
      "Exit status: 0 on success; 1 on wrong usage, a refused Num Keys or\n"
      "KEYSCRIPT_SEED, or a write error.\n");
}

// Standard error reports problems itself; if it cannot even do that, the
// exit status is all that is left to say so.
static int finish(int status, close_function close_fd) {
  close_output(close_fd);
  return messages_failed() ? 1 : status;
}

int run_keyscript(int argc, char** argv, close_function close_fd) {
  use_text_streams();
  const char* program = argc > 0 && argv[0] != nullptr && argv[0][0] != '\0' ? argv[0] : "keyscript";
  if (argc != 2) {
    return usage(program);
  }
  const char* argument = argv[1];
  if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0) {
    write_help(program);
    return finish(0, close_fd);
  }
  if (std::strcmp(argument, "--version") == 0) {
    write_output("keyscript " KEYSCRIPT_VERSION "\n");
    return finish(0, close_fd);
  }
  const std::optional<std::int32_t> num_keys = parse_count(argument);
  if (!num_keys) {
    return usage(program);
  }
  if (*num_keys < 0 || *num_keys > MAX_NUM_KEYS) {
    write_message("keyscript: Num Keys must be from 0 to %d, got %d\n", MAX_NUM_KEYS, *num_keys);
    return 1;
  }
  // The generator is seeded once, after the arguments are known to be good:
  // a refused run never reads the clock.
  std::uint32_t seed = 0;
  const char* seed_text = std::getenv("KEYSCRIPT_SEED");
  if (seed_text != nullptr && *seed_text != '\0') {
    const std::optional<std::uint32_t> given = parse_seed(seed_text);
    if (!given) {
      write_message("keyscript: KEYSCRIPT_SEED must be a whole number from 0 to 4294967295, digits only\n");
      return 1;
    }
    seed = *given;
  } else {
    seed = clock_seed();
  }
  random_generator generator{seed};
  write_pass(generator, *num_keys);
  write_pass(generator, *num_keys);
  write_output("s\nq\n");
  return finish(0, close_fd);
}

}  // namespace keyscript
