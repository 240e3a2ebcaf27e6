#include "expect/command_line.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "cli/options.h"
#include "cli/program.h"
#include "expect/report.h"
#include "io/input.h"
#include "io/messages.h"
#include "io/quote.h"
#include "io/writer.h"
#include "replay/replayer.h"

namespace keyscript {

namespace {

void write_help(output_writer& out, const char* program) {
  out.write("Usage: ");
  out.write(program);
  out.write(
      " [--multiset] [--keys] [FILE]\n"
      "Replay a keyscript command script (FILE, or standard input) on a model\n"
      "collection of keys 0 to 32767, and write what a correct program holds at\n"
      "every checkpoint: a line for each \"s\" and for the final \"q\",\n"
      "\n"
      "  checkpoint=N line=L command=s held=H distinct=D min=A max=B sum=S\n"
      "\n"
      "then, after the \"q\" line's,\n"
      "\n"
      "  total lines=L inserts=I already_held=X deletes=R not_held=Y\n"
      "\n"
      "held and sum count copies; min and max are \"none\" when nothing is held;\n"
      "already_held counts insertions of a key already held, not_held deletions of a\n"
      "key not held.\n"
      "\n"
      "The script: outside an insertion block \"i\" opens one, \"s\" is a checkpoint,\n"
      "\"d KEY\" deletes, \"q\" ends the script and is its last line; inside a block\n"
      "every line is a KEY and \"-1\" closes it. A KEY is 0 to 32767 in plain decimal.\n"
      "Lines end in LF or CR LF. Any other line is refused, as is a script that\n"
      "ends before its \"q\".\n"
      "\n"
      "  --multiset  each insertion adds a copy and a deletion removes one (by\n"
      "              default the collection is a set: inserting a key held, or\n"
      "              deleting one not held, changes nothing)\n"
      "  --keys      follow each checkpoint line with the keys held, in ascending\n"
      "              order, one a line (a key held n times comes n times)\n"
      "  -h, --help  show this help\n"
      "  --version   show the version\n"
      "\n"
      "Exit status: 0 for a well-formed script; 1 when a line is refused or the\n"
      "script ends early (standard error says at which line); 2 for a bad option,\n"
      "an input that cannot be read, or a failed write.\n");
}

enum class option_code { multiset = 'm', keys = 'k', help = 'h', version = 'V' };

constexpr option LONG_OPTIONS[] = {
    {"multiset", no_argument, nullptr, static_cast<int>(option_code::multiset)},
    {"keys", no_argument, nullptr, static_cast<int>(option_code::keys)},
    {"help", no_argument, nullptr, static_cast<int>(option_code::help)},
    {"version", no_argument, nullptr, static_cast<int>(option_code::version)},
    {nullptr, 0, nullptr, 0},
};

// The kernels can be chosen for tests: KEYSCRIPT_KERNEL=portable runs the one
// every processor has, wherever a faster one is there.
kernel_choice kernel_from_environment() {
  const char* chosen = std::getenv("KEYSCRIPT_KERNEL");
  return chosen != nullptr && std::strcmp(chosen, "portable") == 0 ? kernel_choice::portable : kernel_choice::best;
}

// Unlike keyscript, whose progress lines are part of its work, this program
// writes on standard error only to complain, and its status already says
// so: a message it could not write changes nothing.
int finish(int status, output_writer& out, message_stream& messages, close_function close_fd) {
  return end_program(status, out, messages, close_fd, EXPECT_TROUBLE);
}

}  // namespace

// Replays the whole input; checkpoints reached go out before more input is
// awaited, so that a slow script shows its checkpoints as they come.
int replay_input(int fd, const char* name, const replay_settings& settings, output_writer& out,
                 message_stream& messages) {
  report_sink sink(out, messages, settings.list_keys);
  replayer replay(settings.kind, sink, settings.kernel);
  input_reader input(fd, settings.read_ahead, settings.read);
  for (;;) {
    if (out.flush() != 0) {
      return EXPECT_TROUBLE;
    }
    const input_chunk chunk = input.next();
    replay.take(chunk.lines);
    if (replay.status() == replay_status::stopped) {
      return EXPECT_TROUBLE;
    }
    if (replay.status() == replay_status::refused) {
      return EXPECT_MALFORMED;
    }
    if (chunk.error != 0) {
      complain(messages, "%s: %s\n", name, std::strerror(chunk.error));
      return EXPECT_TROUBLE;
    }
    if (chunk.too_long) {
      replay.refuse_long_line(chunk.unfinished);
      return EXPECT_MALFORMED;
    }
    if (chunk.at_end) {
      replay.finish(chunk.unfinished);
      return replay.status() == replay_status::ended ? EXPECT_COMPLETE : EXPECT_MALFORMED;
    }
  }
}

int run_keyscript_expect(int argc, char** argv, const program_streams& streams) {
  use_text_mode(streams.out);
  use_text_mode(streams.err);
  // The replay sees each CR itself, so that CR LF is read the same everywhere.
  use_binary_mode(streams.in);
  message_stream messages{"keyscript-expect", streams.err};
  const char* invoked = invoked_name(argc, argv, "keyscript-expect");
  output_writer out(streams.out);
  replay_settings settings;
  settings.kernel = kernel_from_environment();
  begin_options();
  for (int code = 0; (code = next_option(argc, argv, "h", LONG_OPTIONS, messages, invoked)) != OPTIONS_DONE;) {
    switch (static_cast<option_code>(code)) {
      case option_code::multiset:
        settings.kind = semantics::multiset;
        break;
      case option_code::keys:
        settings.list_keys = true;
        break;
      case option_code::help:
        write_help(out, invoked);
        return finish(EXPECT_COMPLETE, out, messages, streams.close_out);
      case option_code::version:
        write_version(out, "keyscript-expect");
        return finish(EXPECT_COMPLETE, out, messages, streams.close_out);
      default:
        return EXPECT_TROUBLE;
    }
  }
  if (argc - optind > 1) {
    complain_usage(messages, invoked, "takes one FILE at most, and got another: %s", quote(argv[optind + 1]).text);
    return EXPECT_TROUBLE;
  }
  const char* path = optind < argc ? argv[optind] : nullptr;  // standard input when null or "-"
  const bool from_file = path != nullptr && std::strcmp(path, "-") != 0;
  int fd = streams.in;
  if (from_file) {
    fd = open_for_reading(path);
    if (fd < 0) {
      complain(messages, "%s: %s\n", quote(path).text, std::strerror(errno));
      return EXPECT_TROUBLE;
    }
  }
  const int status = replay_input(fd, from_file ? quote(path).text : "standard input", settings, out, messages);
  if (from_file) {
    system_close(fd);
  }
  return finish(status, out, messages, streams.close_out);
}

}  // namespace keyscript
