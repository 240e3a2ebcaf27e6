#include "expect/command_line.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <string_view>

#include "expect/reader.h"
#include "output/quote.h"
#include "version.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace keyscript {

namespace {

constexpr int INPUT_FD = 0;

void write_help(const char* program) {
  write_output("Usage: ");
  write_output(program);
  write_output(
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

int bad_usage(const char* program, const char* what, const char* text) {
  write_message("keyscript-expect: %s %s\nTry '%s --help'.\n", what, quote(text).text, program);
  return EXPECT_TROUBLE;
}

int finish(int status, close_function close_fd) {
  close_output(close_fd);
  return status;
}

int open_input(const char* path) {
#ifdef _WIN32
  return _open(path, _O_RDONLY | _O_BINARY);
#else
  return ::open(path, O_RDONLY);
#endif
}

void use_binary_input() {
#ifdef _WIN32
  // The reader sees each CR itself, so that CR LF is read the same everywhere.
  _setmode(INPUT_FD, _O_BINARY);
#endif
}

}  // namespace

int run_keyscript_expect(int argc, char** argv, close_function close_fd) {
  use_text_streams();
  use_binary_input();
  name_program("keyscript-expect", EXPECT_TROUBLE);
  const char* program = argc > 0 && argv[0] != nullptr && argv[0][0] != '\0' ? argv[0] : "keyscript-expect";
  replay_options options;
  options.read_ahead = true;  // the program exits after the replay, thread and all
  const char* path = nullptr;
  bool options_done = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view word = argv[i];
    if (!options_done && word == "--") {
      options_done = true;
    } else if (!options_done && word == "--multiset") {
      options.kind = semantics::multiset;
    } else if (!options_done && word == "--keys") {
      options.list_keys = true;
    } else if (!options_done && (word == "--help" || word == "-h")) {
      write_help(program);
      return finish(EXPECT_COMPLETE, close_fd);
    } else if (!options_done && word == "--version") {
      write_output("keyscript-expect " KEYSCRIPT_VERSION "\n");
      return finish(EXPECT_COMPLETE, close_fd);
    } else if (!options_done && word.size() > 1 && word[0] == '-') {
      return bad_usage(program, "unknown option", argv[i]);
    } else if (path != nullptr) {
      return bad_usage(program, "takes one FILE at most, and got another:", argv[i]);
    } else {
      path = argv[i];
    }
  }
  int fd = INPUT_FD;
  const bool from_file = path != nullptr && std::strcmp(path, "-") != 0;
  if (from_file) {
    fd = open_input(path);
    if (fd < 0) {
      write_message("keyscript-expect: %s: %s\n", quote(path).text, std::strerror(errno));
      return EXPECT_TROUBLE;
    }
  }
  const replay_end end = replay(fd, from_file ? quote(path).text : "standard input", options);
  const int status = end == replay_end::complete    ? EXPECT_COMPLETE
                     : end == replay_end::malformed ? EXPECT_MALFORMED
                                                    : EXPECT_TROUBLE;
  return finish(status, close_fd);
}

}  // namespace keyscript
