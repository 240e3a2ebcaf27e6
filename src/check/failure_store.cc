#include "check/failure_store.h"

#include <dirent.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "io/quote.h"
#include "shrink/candidate.h"

namespace keyscript {

namespace {

// FNV-1a: a name for a folder or a file that stays the same from one run
// (and one machine) to the next.
std::uint64_t fnv1a(std::string_view text, std::uint64_t hash = 0xCBF29CE484222325U) {
  for (const char c : text) {
    hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001B3U;
  }
  return hash;
}

std::string hex(std::uint64_t value) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
  return text;
}

std::string resolved(const std::string& path) {
  char full[PATH_MAX];
  return realpath(path.c_str(), full) != nullptr ? std::string(full) : path;
}

bool runnable(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) && access(path.c_str(), X_OK) == 0;
}

// As a shell finds a command: a name with a '/' is a path, any other is
// looked for on PATH.
std::string program_file(const std::string& name) {
  if (name.find('/') != std::string::npos) {
    return resolved(name);
  }
  const char* search = std::getenv("PATH");
  std::string_view path = search != nullptr ? search : "/bin:/usr/bin";
  for (;;) {
    const std::size_t colon = path.find(':');
    const std::string_view element = path.substr(0, colon);
    const std::string candidate = element.empty() ? name : std::string(element) + "/" + name;
    if (runnable(candidate)) {
      return resolved(candidate);
    }
    if (colon == std::string_view::npos) {
      return name;
    }
    path.remove_prefix(colon + 1);
  }
}

std::string current_directory() {
  char here[PATH_MAX];
  return getcwd(here, sizeof here) != nullptr ? std::string(here) : std::string(".");
}

std::string describe(const program_identity& program) {
  std::string text = "keyscript-check keeps here the failures it found of\n\n  ";
  text += shell_word(program.file);
  for (const std::string& argument : program.arguments) {
    text += ' ';
    text += shell_word(argument);
  }
  text += "\n\nrun in ";
  text += shell_word(program.directory);
  text += program.kind == semantics::multiset ? " with --multiset" : "";
  text += ".\nEach .txt file here is a script that failed; the next campaign runs them first.\n";
  return text;
}

int make_folder(const std::string& path) {
  for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string part = path.substr(0, slash);
    if (mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return errno;
    if (slash == std::string::npos) return 0;
  }
}

}  // namespace

program_identity identify_program(const std::vector<std::string>& argv, semantics kind) {
  program_identity program{argv.empty() ? std::string() : program_file(argv[0]), {}, current_directory(), kind};
  if (!argv.empty()) {
    program.arguments.assign(argv.begin() + 1, argv.end());
  }
  return program;
}

failure_store::failure_store(std::string root, const program_identity& program) : description_(describe(program)) {
  folder_ = std::move(root) + "/" + hex(fnv1a(description_));
}

std::vector<std::string> failure_store::kept() const {
  std::vector<std::string> names;
  DIR* folder = opendir(folder_.c_str());
  for (dirent* entry = nullptr; folder != nullptr && (entry = readdir(folder)) != nullptr;) {
    const std::string_view name = entry->d_name;
    if (name.ends_with(".txt")) {
      names.push_back(folder_ + "/" + std::string(name));
    }
  }
  if (folder != nullptr) {
    closedir(folder);
  }
  std::sort(names.begin(), names.end());
  return names;
}

file_written failure_store::keep(const script& failing, std::string& path) const {
  const std::string text = script_text(failing);
  path = folder_ + "/" + hex(fnv1a(text)) + ".txt";
  if (const int error = make_folder(folder_)) {
    return {error, false};
  }
  const std::string about = folder_ + "/program";
  write_file(about.c_str(), [&](output_writer& out) { out.write(description_); });
  return write_file(path.c_str(), [&](output_writer& out) { out.write(text); });
}

void failure_store::drop(const std::string& path) { unlink(path.c_str()); }

}  // namespace keyscript
