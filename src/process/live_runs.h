#pragma once

// The runs a program has in flight, side by side, and what lets it kill
// everything they started: a mark in each run's environment
// (KEYSCRIPT_CHECK_RUN=<this process's pid>.<run number>), which every
// descendant inherits, and the program's pid of each live run. The program
// owns one (e.g. in main) and names it in each process_command; a signal
// handler can kill every live run through it.
//
// A descendant that leaves its run's process group (a double fork and
// setsid) is found again only when this process is a child subreaper, so
// that the system hands it here once its parent is gone: call
// become_child_subreaper() first. A run then kills such a process when it
// carries the run's mark; one without (it started with an environment of
// its own) only when no other run is in flight, since it could be any
// run's.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace keyscript {

// Makes this process the one that adopts its orphaned descendants (Linux:
// PR_SET_CHILD_SUBREAPER); false where the system has no such thing. For a
// program to call once, at its start.
bool become_child_subreaper();

class live_runs {
 public:
  // More runs side by side than a program may start (keyscript-check's
  // -j is at most 1024); a run that finds no room does not start (EAGAIN).
  static constexpr std::size_t CAPACITY = 1040;
  static constexpr std::string_view MARK_NAME = "KEYSCRIPT_CHECK_RUN";

  live_runs();
  live_runs(const live_runs&) = delete;
  live_runs& operator=(const live_runs&) = delete;
  ~live_runs() = default;

  // Set by a signal handler (or anyone): every run ends within a poll's
  // tick, and its finish kills what it started.
  std::atomic<bool>& interrupted() { return interrupted_; }
  const std::atomic<bool>& interrupted() const { return interrupted_; }

  // Kills every live run's process group and every process this one has
  // adopted from a run, and waits (a second at most) until no adopted one is
  // left alive, with async-signal-safe calls only: for a handler about to
  // end the program.
  void kill_all() const noexcept;

  // The rest is the runner's.

  int owner() const { return owner_; }
  std::string next_mark();  // "KEYSCRIPT_CHECK_RUN=<owner>.<n>", n counting from 1
  // Held from a fork until its child is entered, and while a run decides
  // which adopted processes to kill or reap: a child of this process that is
  // no run's program is then sure to be an adopted one.
  std::unique_lock<std::mutex> hold() { return std::unique_lock<std::mutex>(deciding_); }
  // A place for a run about to start, or CAPACITY when there is none.
  std::size_t reserve();
  void enter(std::size_t slot, int program);
  void program_reaped(std::size_t slot);
  void leave(std::size_t slot);
  // `pid` is a live run's program, not yet reaped.
  bool is_program(int pid) const;
  bool others_in_flight(std::size_t slot) const;
  // The oldest adopted process left alive for now because another run may
  // own it (0: none), so that a later run alone looks back as far as it.
  // Set under hold().
  int deferred() const { return deferred_.load(); }
  void set_deferred(int pid) { deferred_.store(pid); }

 private:
  // A slot's program: 0 when free, -1 reserved or reaped, else the pid.
  std::array<std::atomic<int>, CAPACITY> programs_{};
  // A slot's first pid, for as long as the run is in flight.
  std::array<std::atomic<int>, CAPACITY> firsts_{};
  std::atomic<int> deferred_{0};
  std::atomic<std::uint64_t> marks_{0};
  std::atomic<bool> interrupted_{false};
  std::mutex deciding_;
  int owner_;
};

}  // namespace keyscript
