#pragma once

// A command line as main() gets it, from words: argv points into `words`,
// which live as long as the value (moving it moves neither).

#include <string>
#include <utility>
#include <vector>

namespace keyscript {

struct command_words {
  std::vector<std::string> words;
  std::vector<char*> argv;

  [[nodiscard]] int argc() const { return static_cast<int>(words.size()); }
};

inline command_words command_of(const char* program, std::vector<std::string> words) {
  words.insert(words.begin(), program);
  command_words command{std::move(words), {}};
  for (std::string& word : command.words) {
    command.argv.push_back(word.data());
  }
  command.argv.push_back(nullptr);
  return command;
}

}  // namespace keyscript
