#include "check/cost_report.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "check/report.h"
#include "io/quote.h"

namespace keyscript {

namespace {

constexpr int COLUMN = 9;

std::string times_text(double growth) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1fx", growth);
  return text;
}

// The figures: a row of sizes, and a row for each order with the best cost
// measured at every size it reached.
void report_figures(message_stream& messages, const cost_outcome& outcome, std::int64_t startup_us) {
  std::size_t sizes = 0;
  for (const order_figures& figures : outcome.figures) {
    sizes = std::max(sizes, figures.ns.size());
  }
  say(messages, "  CPU per command in us, %s commands a script, %s of start-up taken off:\n",
      with_commas(outcome.commands).c_str(), (microseconds_text(static_cast<double>(startup_us)) + " ms").c_str());
  std::string row = "    keys held";
  for (std::size_t rung = 0; rung < sizes; ++rung) {
    const std::string size = with_commas(COST_LADDER[rung]);
    row += std::string(static_cast<std::size_t>(COLUMN) - std::min<std::size_t>(COLUMN - 1, size.size()), ' ') + size;
  }
  say(messages, "%s\n", row.c_str());
  for (const order_figures& figures : outcome.figures) {
    row = "    " + std::string(order_name(figures.order));
    row.resize(13, ' ');
    for (const double ns : figures.ns) {
      const std::string figure = microseconds_text(ns);
      row += std::string(static_cast<std::size_t>(COLUMN) - std::min<std::size_t>(COLUMN - 1, figure.size()), ' ') +
             figure;
    }
    say(messages, "%s\n", row.c_str());
  }
}

// "CPU per command 0.21 us with 1,024 keys held, 3.9 us with 32,768: 18x".
std::string comparison_text(const cost_comparison& compared, double least_ns) {
  std::string base = microseconds_text(compared.base_ns) + " us with " + with_commas(COST_LADDER[0]) + " keys held";
  if (compared.base_ns < least_ns) {
    base += " (counted as " + microseconds_text(least_ns) + " us, what noise alone may come to a command)";
  }
  return "CPU per command " + base + ", " + microseconds_text(compared.ns) + " us with " + with_commas(compared.keys) +
         ": " + times_text(compared.growth);
}

std::string rerun_text(const cost_setting& setting, cost_order order, const process_command& program) {
  char options[160];
  char timeout[48] = "";
  if (setting.timeout_s > 0) {
    std::snprintf(timeout, sizeof timeout, " --timeout %g", setting.timeout_s);
  }
  std::snprintf(options, sizeof options, " --cost%s%s --shape %s --seed %" PRIu32,
                setting.kind == semantics::multiset ? " --multiset" : "", timeout, order_name(order).data(),
                setting.seed);
  return std::string(setting.checker) + options + " -- " + command_line_text(program);
}

std::string orders_text(const cost_outcome& outcome) {
  std::string text;
  for (const order_figures& figures : outcome.figures) {
    if (!text.empty()) {
      text += ',';
    }
    text += order_name(figures.order);
  }
  return text;
}

}  // namespace

std::string with_commas(std::int64_t value) {
  std::string digits = std::to_string(value);
  for (std::size_t at = digits.size(); at > 3 && digits[at - 4] != '-'; at -= 3) {
    digits.insert(at - 3, 1, ',');
  }
  return digits;
}

std::string microseconds_text(double ns) {
  const double us = ns / 1000;
  char text[32];
  std::snprintf(text, sizeof text, us >= 10 ? "%.0f" : "%.2g", us);
  return text;
}

void report_cost(message_stream& messages, const cost_outcome& outcome, const cost_setting& setting,
                 const process_command& program) {
  const std::string command = command_line_text(program);
  if (outcome.broken) {
    const cost_comparison& broken = *outcome.broken;
    complain(messages, "%s fails the cost check (seed %" PRIu32 "): cost\n", command.c_str(), setting.seed);
    say(messages,
        "  in %s order, %s; a logarithmic structure's grows %s, and the check allows %g times that, %s (each the "
        "fastest of %d runs)\n",
        order_name(broken.order).data(), comparison_text(broken, outcome.floor_ns).c_str(),
        times_text(log_growth(broken.keys)).c_str(), COST_MARGIN, times_text(broken.allowed).c_str(),
        MEASUREMENTS_TO_FAIL);
    say(messages, "  the smallest size at which it shows: %s keys held\n", with_commas(broken.keys).c_str());
    report_figures(messages, outcome, setting.startup_us);
    say(messages, "  this measurement again: %s\n", rerun_text(setting, broken.order, program).c_str());
    return;
  }
  if (outcome.closest) {
    const cost_comparison& closest = *outcome.closest;
    say(messages,
        "keyscript-check: %s passes the cost check (seed %" PRIu32
        "); the closest it came: CPU per command %s from %s to %s keys held in %s order, where %s is allowed\n",
        command.c_str(), setting.seed, times_text(closest.growth).c_str(), with_commas(COST_LADDER[0]).c_str(),
        with_commas(closest.keys).c_str(), order_name(closest.order).data(), times_text(closest.allowed).c_str());
  }
  report_figures(messages, outcome, setting.startup_us);
}

std::string cost_result_line(const cost_outcome& outcome, const cost_setting& setting) {
  char line[320];
  if (outcome.broken) {
    const cost_comparison& broken = *outcome.broken;
    std::snprintf(line, sizeof line,
                  "result=fail kind=cost shape=%s keys=%" PRId32 " seed=%" PRIu32 " commands=%" PRId64
                  " base_cpu_ns=%.0f cpu_ns=%.0f growth=%.1f allowed=%.1f\n",
                  order_name(broken.order).data(), broken.keys, setting.seed, outcome.commands, broken.base_ns,
                  broken.ns, broken.growth, broken.allowed);
    return line;
  }
  const cost_comparison closest = outcome.closest.value_or(cost_comparison{COST_ORDERS[0], COST_LADDER[0], 0, 0, 0, 0});
  std::snprintf(line, sizeof line,
                "result=pass check=cost seed=%" PRIu32 " commands=%" PRId64
                " shapes=%s growth=%.1f allowed=%.1f shape=%s keys=%" PRId32 "\n",
                setting.seed, outcome.commands, orders_text(outcome).c_str(), closest.growth, closest.allowed,
                order_name(closest.order).data(), closest.keys);
  return line;
}

void report_cost_run_failed(message_stream& messages, const run_failed& failure, const run_verdict& verdict,
                            const cost_script& script, const cost_setting& setting, const process_command& program) {
  const std::string command = command_line_text(program);
  complain(messages, "%s fails a run of the cost check (%s order, %s keys, %s commands, seed %" PRIu32 "): %s\n",
           command.c_str(), order_name(script.order).data(), with_commas(script.keys).c_str(),
           with_commas(script.commands).c_str(), setting.seed, kind_name(failure.kind));
  report_what_failed(messages, failure, verdict.elapsed_ms);
  say(messages, "  the cost check does not shrink it; a campaign finds such failures and shrinks them: %.*s -- %s\n",
      static_cast<int>(setting.checker.size()), setting.checker.data(), command.c_str());
}

std::string cost_run_failed_line(const run_failed& failure, const cost_script& script) {
  char line[200];
  std::snprintf(line, sizeof line,
                "result=fail kind=%s check=cost shape=%s keys=%" PRId32 " seed=%" PRIu32 " commands=%" PRId64 "\n",
                kind_name(failure.kind), order_name(script.order).data(), script.keys, script.seed, script.commands);
  return line;
}

}  // namespace keyscript
