#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "io/file_output.h"
#include "replay/model.h"
#include "script/script_value.h"

// Failures kept between campaigns, as Hypothesis keeps its examples and a
// fuzzer its corpus: each failing script found is written to a folder of
// the program's own, and the next campaign of the same program runs them
// first, before anything new. A program is known by what would run: its
// file (found on PATH as the run finds it, links resolved), its arguments,
// the folder it runs in, and whether it keeps copies.

namespace keyscript {

inline constexpr const char* DEFAULT_STORE = ".keyscript-check";

struct program_identity {
  std::string file;  // resolved; the name as given when it cannot be found
  std::vector<std::string> arguments;
  std::string directory;
  semantics kind;
};

// Who `argv` (the program and its arguments) is, run from the current folder.
program_identity identify_program(const std::vector<std::string>& argv, semantics kind);

class failure_store {
 public:
  failure_store(std::string root, const program_identity& program);

  // The folder this program's failures go to.
  const std::string& folder() const { return folder_; }
  // The scripts kept for this program, oldest name first.
  std::vector<std::string> kept() const;
  // Keeps `failing`; its file's path in `path`. A script kept already is
  // kept once.
  file_written keep(const script& failing, std::string& path) const;
  // A kept failure that passes now is dropped.
  static void drop(const std::string& path);

 private:
  std::string folder_;
  std::string description_;  // what the folder's README says of the program
};

}  // namespace keyscript
