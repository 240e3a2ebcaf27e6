#pragma once

// What /proc says of the processes there are now, for the tests that check
// what a run leaves behind.
#include <dirent.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace keyscript {

struct process_stat {
  int pid;
  char state;  // 'Z' a zombie, 'X' dead
  int parent;
  int group;
};

// /proc/PID/stat, if the process is there. Its name, in parentheses, may
// hold spaces and parentheses of its own: the fields start after the last
// ") ".
inline std::optional<process_stat> process_stat_of(int pid) {
  std::string stat;
  std::getline(std::ifstream("/proc/" + std::to_string(pid) + "/stat"), stat);
  const std::size_t name_end = stat.rfind(") ");
  if (name_end == std::string::npos) {
    return std::nullopt;
  }
  process_stat process{pid, 0, 0, 0};
  std::istringstream(stat.substr(name_end + 2)) >> process.state >> process.parent >> process.group;
  return process;
}

// Every process /proc shows; one that ends while it is read is left out.
inline std::vector<process_stat> process_table() {
  std::vector<process_stat> table;
  DIR* proc = opendir("/proc");
  while (const dirent* entry = readdir(proc)) {
    const int pid = std::atoi(entry->d_name);
    if (pid <= 0) {
      continue;
    }
    if (const std::optional<process_stat> process = process_stat_of(pid)) {
      table.push_back(*process);
    }
  }
  closedir(proc);
  return table;
}

}  // namespace keyscript
