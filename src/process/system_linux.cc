// Linux: pipe2, close_range and a larger pipe for the start; a child
// subreaper, and /proc, for finding what a run left running outside its
// process group.
//
// A process that leaves its group (a double fork and setsid) is adopted by
// this process once its parent is gone, when this one is a child subreaper.
// It is then one of this process's children that is no run's program.
// Finding them all would mean reading every process's /proc/PID/stat (over a
// millisecond with a few hundred processes), but a run's processes were all
// started after its program: pids are handed out in turn (from 300 again
// after pid_max), so /proc/sys/kernel/ns_last_pid tells whether any process
// has started since, and only the pids handed out since the program are
// read.
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "process/live_runs.h"
#include "process/system.h"

#if __has_include(<linux/close_range.h>)
#include <linux/close_range.h>
#endif

namespace keyscript {

namespace {

constexpr int INPUT_PIPE_BYTES = 1 << 20;
// Up to this many pids handed out since a run's program are looked up one
// by one (a few microseconds each), rather than all of /proc read (some
// tens).
constexpr int LOOKED_UP_AT_MOST = 8;
// How long a sweep that waits for a run's processes to go may take.
constexpr std::chrono::seconds LONGEST_SWEEP{1};

// Reads what `path` holds, up to `size` - 1 bytes, NUL-ended: the count, or
// -1. Async-signal-safe.
ssize_t read_file(const char* path, char* buffer, std::size_t size) noexcept {
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return -1;
  }
  std::size_t got = 0;
  while (got + 1 < size) {
    const ssize_t n = read(fd, buffer + got, size - 1 - got);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      break;
    }
    got += static_cast<std::size_t>(n);
  }
  close(fd);
  buffer[got] = '\0';
  return static_cast<ssize_t>(got);
}

// The number at `at`, after any spaces; `at` moves past it.
int read_number(const char*& at) noexcept {
  while (*at == ' ') {
    ++at;
  }
  int value = 0;
  for (; *at >= '0' && *at <= '9'; ++at) {
    value = value * 10 + (*at - '0');
  }
  return value;
}

// "/proc/PID/LEAF", written without snprintf, which may allocate.
struct proc_path {
  char text[64] = "/proc/";
  proc_path(int pid, const char* leaf) noexcept {
    char digits[12];
    int count = 0;
    for (unsigned value = static_cast<unsigned>(pid); count == 0 || value != 0; value /= 10) {
      digits[count++] = static_cast<char>('0' + value % 10);
    }
    std::size_t at = 6;
    while (count > 0) {
      text[at++] = digits[--count];
    }
    text[at++] = '/';
    for (; *leaf != '\0' && at + 1 < sizeof text; ++leaf) {
      text[at++] = *leaf;
    }
    text[at] = '\0';
  }
};

struct proc_stat {
  int pid = 0;
  int parent = 0;
  char state = 0;
  bool dead() const { return state == 'Z' || state == 'X'; }
};

// A process's state and parent from /proc/PID/stat ("PID (NAME) S PPID
// ..."); false once it is gone. Async-signal-safe.
bool read_stat(int pid, proc_stat& stat) noexcept {
  char text[256];
  if (read_file(proc_path(pid, "stat").text, text, sizeof text) <= 0) {
    return false;
  }
  const char* name_end = std::strrchr(text, ')');
  if (name_end == nullptr || name_end[1] != ' ') {
    return false;
  }
  stat.pid = pid;
  stat.state = name_end[2];
  const char* at = name_end + 3;
  stat.parent = read_number(at);
  return true;
}

// Where pids stand: the last one handed out, and the largest there can be,
// read when a pid past the last shows that the count went round. A pid's
// age is how many were handed out after it. Async-signal-safe.
class pid_clock {
 public:
  static pid_clock now() noexcept {
    pid_clock clock;
    clock.last_ = read_number_file("/proc/sys/kernel/ns_last_pid");
    return clock;
  }
  bool known() const { return last_ > 0; }
  int last() const { return last_; }
  int age(int pid) noexcept { return pid <= last_ ? last_ - pid : last_ - pid + max(); }
  int max() noexcept {
    if (max_ == 0) {
      max_ = read_number_file("/proc/sys/kernel/pid_max");
    }
    return max_;
  }
  // The one of `a` and `b` started first; 0 stands for none.
  int older(int a, int b) noexcept { return a == 0 ? b : b == 0 ? a : age(a) >= age(b) ? a : b; }

 private:
  static int read_number_file(const char* path) noexcept {
    char text[32];
    if (read_file(path, text, sizeof text) <= 0) {
      return 0;
    }
    const char* at = text;
    return read_number(at);
  }

  int last_ = 0;
  int max_ = 0;
};

// Calls visit(pid) for every process in /proc. getdents64 rather than
// readdir, which may allocate: this runs in a signal handler too.
template <typename Visit>
void for_each_process(Visit&& visit) noexcept {
  const int fd = open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    return;
  }
  // struct linux_dirent64: 8 bytes of inode, 8 of offset, 2 of length, 1 of
  // type, then the name.
  constexpr std::size_t LENGTH_AT = 16;
  constexpr std::size_t NAME_AT = 19;
  alignas(8) char entries[4096];
  for (long got = 0; (got = syscall(SYS_getdents64, fd, entries, sizeof entries)) > 0;) {
    for (long at = 0; at < got;) {
      unsigned short length = 0;
      std::memcpy(&length, entries + at + LENGTH_AT, sizeof length);
      const char* name = entries + at + NAME_AT;
      int pid = 0;
      for (; *name >= '0' && *name <= '9'; ++name) {
        pid = pid * 10 + (*name - '0');
      }
      if (*name == '\0' && pid > 0) {
        visit(pid);
      }
      at += length;
    }
  }
  close(fd);
}

// The processes started since `first` (itself included), as they stand:
// the few pids handed out since are looked up one by one, more by reading
// the whole of /proc.
std::vector<proc_stat> started_since(int first, pid_clock& clock) {
  std::vector<proc_stat> found;
  const auto look_up = [&](int pid) {
    proc_stat stat;
    if (read_stat(pid, stat)) {
      found.push_back(stat);
    }
  };
  if (clock.age(first) > LOOKED_UP_AT_MOST) {
    for_each_process([&](int pid) {
      if (clock.age(pid) <= clock.age(first)) {
        look_up(pid);
      }
    });
  } else if (first <= clock.last()) {
    for (int pid = first; pid <= clock.last(); ++pid) {
      look_up(pid);
    }
  } else {
    for (int pid = first; pid <= clock.max(); ++pid) {
      look_up(pid);
    }
    for (int pid = 1; pid <= clock.last(); ++pid) {
      look_up(pid);
    }
  }
  return found;
}

// Whether the environment `pid` started with holds the entry `mark`.
bool environment_holds(int pid, std::string_view mark) {
  const int fd = open(proc_path(pid, "environ").text, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return false;
  }
  std::string entries(1, '\0');  // each entry is then between two NULs
  char block[4096];
  for (ssize_t got = 0; (got = read(fd, block, sizeof block)) > 0 || (got < 0 && errno == EINTR);) {
    entries.append(block, static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
  }
  close(fd);
  std::string needle(1, '\0');
  needle.append(mark);
  needle.push_back('\0');
  return entries.find(needle) != std::string::npos;
}

std::string process_name(int pid) {
  char text[64];
  if (read_file(proc_path(pid, "comm").text, text, sizeof text) <= 0) {
    return "";
  }
  std::string name(text);
  if (!name.empty() && name.back() == '\n') {
    name.pop_back();
  }
  return name;
}

bool holds(const std::vector<int>& pids, int pid) { return std::find(pids.begin(), pids.end(), pid) != pids.end(); }

// One look: kills what of the run is running, reaps what of it has died.
// True when it found anything of the run (what it left alone, another
// run's, does not count).
bool sweep_once(live_runs& runs, std::size_t slot, int program, std::string_view mark, sweep_found& found) {
  pid_clock clock = pid_clock::now();
  if (!clock.known() || (clock.last() == program && runs.deferred() == 0)) {
    return false;  // nothing has started since the program
  }
  const int owner = runs.owner();
  const int looked_back_to = runs.deferred();
  const std::vector<proc_stat> recent = started_since(clock.older(program, looked_back_to), clock);
  const auto adopted = [&](const proc_stat& stat) { return stat.parent == owner && stat.pid != program; };
  const bool any_adopted = std::any_of(recent.begin(), recent.end(), adopted);
  if (!any_adopted && looked_back_to == 0) {
    return false;
  }
  const std::unique_lock<std::mutex> held = runs.hold();
  // Under the lock every child of this process that is no run's program is
  // an adopted one, and stays one: only a sweep reaps it.
  const bool alone = !runs.others_in_flight(slot);
  if (!any_adopted) {
    // Nothing is left as far back as it looked. Alone, what was deferred is
    // gone, unless a run that has ended since deferred something else.
    if (alone && runs.deferred() == looked_back_to) {
      runs.set_deferred(0);
    }
    return false;
  }
  bool reaped = false;
  std::vector<int> ours;
  int deferred = runs.deferred();
  for (const proc_stat& seen : recent) {
    proc_stat now;
    if (!adopted(seen) || runs.is_program(seen.pid) || !read_stat(seen.pid, now) || now.parent != owner) {
      continue;
    }
    if (now.dead()) {
      waitpid(now.pid, nullptr, WNOHANG);
      reaped = true;
    } else if (alone || environment_holds(now.pid, mark)) {
      ours.push_back(now.pid);
    } else {
      deferred = clock.older(deferred, now.pid);
    }
  }
  // Alone, it kills (and then reaps) even what others deferred, and keeps
  // looking back as far until nothing is left there.
  runs.set_deferred(deferred);
  // Their descendants are the run's too, whatever their environment.
  for (bool grew = true; grew;) {
    grew = false;
    for (const proc_stat& stat : recent) {
      if (!stat.dead() && holds(ours, stat.parent) && !holds(ours, stat.pid)) {
        ours.push_back(stat.pid);
        grew = true;
      }
    }
  }
  for (const int pid : ours) {
    if (found.first_name.empty()) {
      found.first_name = process_name(pid);
    }
    kill(pid, SIGKILL);
  }
  found.alive += static_cast<int>(ours.size());
  found.any = found.any || reaped || !ours.empty();
  return reaped || !ours.empty();
}

}  // namespace

bool become_child_subreaper() { return prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) == 0; }

bool open_cloexec_pipe(int (&fds)[2]) { return pipe2(fds, O_CLOEXEC) == 0; }

// Marked close-on-exec rather than closed, so that an emulator running this
// process keeps its own until the exec. Where the kernel lacks the call,
// only the runner's descriptors are sure to stay behind.
void mark_others_close_on_exec() noexcept {
#if defined(CLOSE_RANGE_CLOEXEC) && defined(SYS_close_range)
  syscall(SYS_close_range, STDERR_FILENO + 1U, ~0U, CLOSE_RANGE_CLOEXEC);
#endif
}

// A pipe that cannot grow is left as it is.
void widen_pipe(int fd) { fcntl(fd, F_SETPIPE_SZ, INPUT_PIPE_BYTES); }

sweep_found sweep_adopted(live_runs& runs, std::size_t slot, int program, std::string_view mark, bool until_gone) {
  using clock = std::chrono::steady_clock;
  const clock::time_point start = clock::now();
  sweep_found found;
  std::chrono::microseconds pause{100};
  while (sweep_once(runs, slot, program, mark, found) && until_gone && clock::now() - start < LONGEST_SWEEP) {
    // SIGKILL takes a moment, and a killed process's children come here
    // only once it is gone.
    const timespec wait{0, static_cast<long>(pause.count()) * 1000};
    nanosleep(&wait, nullptr);
    pause = std::min(pause * 2, std::chrono::microseconds{10000});
  }
  return found;
}

void kill_adopted_since(int owner, const std::atomic<int>* firsts, std::size_t count, int deferred) noexcept {
  pid_clock start = pid_clock::now();
  if (!start.known()) {
    return;
  }
  int oldest = deferred;
  for (std::size_t i = 0; i < count; ++i) {
    oldest = start.older(oldest, firsts[i].load());
  }
  if (oldest == 0) {
    return;
  }
  constexpr timespec PAUSE{0, 1000000};
  for (int round = 0; round < 1000; ++round) {
    pid_clock clock = pid_clock::now();
    bool alive = false;
    for_each_process([&](int pid) {
      proc_stat stat;
      if (clock.age(pid) <= clock.age(oldest) && read_stat(pid, stat) && stat.parent == owner && !stat.dead()) {
        kill(pid, SIGKILL);
        alive = true;
      }
    });
    if (!alive) {
      return;
    }
    nanosleep(&PAUSE, nullptr);
  }
}

}  // namespace keyscript
