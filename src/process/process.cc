#include "process/process.h"

#include <array>
#include <csignal>

namespace keyscript {

namespace {

struct named_signal {
  int number;
  const char* name;
};

constexpr std::array<named_signal, 28> SIGNAL_NAMES{{
    {SIGHUP, "SIGHUP"},       {SIGINT, "SIGINT"},     {SIGQUIT, "SIGQUIT"}, {SIGILL, "SIGILL"},   {SIGTRAP, "SIGTRAP"},
    {SIGABRT, "SIGABRT"},     {SIGBUS, "SIGBUS"},     {SIGFPE, "SIGFPE"},   {SIGKILL, "SIGKILL"}, {SIGUSR1, "SIGUSR1"},
    {SIGSEGV, "SIGSEGV"},     {SIGUSR2, "SIGUSR2"},   {SIGPIPE, "SIGPIPE"}, {SIGALRM, "SIGALRM"}, {SIGTERM, "SIGTERM"},
    {SIGCHLD, "SIGCHLD"},     {SIGCONT, "SIGCONT"},   {SIGSTOP, "SIGSTOP"}, {SIGTSTP, "SIGTSTP"}, {SIGTTIN, "SIGTTIN"},
    {SIGTTOU, "SIGTTOU"},     {SIGURG, "SIGURG"},     {SIGXCPU, "SIGXCPU"}, {SIGXFSZ, "SIGXFSZ"}, {SIGPROF, "SIGPROF"},
    {SIGVTALRM, "SIGVTALRM"}, {SIGWINCH, "SIGWINCH"}, {SIGSYS, "SIGSYS"},
}};

}  // namespace

process_result run_process(const process_command& command, line_source* input, output_sink& out, output_sink& err,
                           const process_limits& limits) {
  process_run run = start_process(command);
  pump_process(run, input, input_end::close, out, err, limits);
  return finish_process(run);
}

std::string signal_name(int signal) {
  for (const named_signal& named : SIGNAL_NAMES) {
    if (named.number == signal) {
      return named.name;
    }
  }
  return "signal " + std::to_string(signal);
}

}  // namespace keyscript
