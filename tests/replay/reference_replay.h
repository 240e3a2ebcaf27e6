#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The tests' own model of keyscript-expect: the command language replayed
// the plain way, one line at a time on an array of counts, sharing nothing
// with the program. It gives the output a well-formed script must produce, or the
// line at which a malformed one must be refused.
namespace reference {

struct replay_result {
  std::string out;                          // what is written up to the end or the refusal
  std::optional<std::uint64_t> refused_at;  // the line refused, if any
};

inline bool plain_key(std::string_view text, int& key) {
  if (text.empty() || text.size() > 5 || (text.size() > 1 && text[0] == '0')) {
    return false;
  }
  key = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') {
      return false;
    }
    key = key * 10 + (c - '0');
  }
  return key <= 32767;
}

inline replay_result replay(std::string_view script, bool multiset, bool list_keys) {
  replay_result result;
  std::vector<std::uint64_t> held(32768, 0);
  std::uint64_t inserts = 0;
  std::uint64_t already = 0;
  std::uint64_t deletes = 0;
  std::uint64_t not_held = 0;
  std::uint64_t checkpoints = 0;
  std::uint64_t line = 0;
  bool in_block = false;
  const auto checkpoint = [&](char command) {
    std::uint64_t copies = 0;
    std::uint64_t sum = 0;
    std::uint64_t distinct = 0;
    int min = -1;
    int max = -1;
    for (int key = 0; key < 32768; ++key) {
      const std::uint64_t count = held[static_cast<std::size_t>(key)];
      if (count > 0) {
        copies += count;
        sum += count * static_cast<std::uint64_t>(key);
        ++distinct;
        min = min < 0 ? key : min;
        max = key;
      }
    }
    result.out += "checkpoint=" + std::to_string(++checkpoints) + " line=" + std::to_string(line) +
                  " command=" + command + " held=" + std::to_string(copies) + " distinct=" + std::to_string(distinct) +
                  " min=" + (min < 0 ? "none" : std::to_string(min)) +
                  " max=" + (max < 0 ? "none" : std::to_string(max)) + " sum=" + std::to_string(sum) + "\n";
    if (list_keys) {
      for (int key = 0; key < 32768; ++key) {
        for (std::uint64_t i = 0; i < held[static_cast<std::size_t>(key)]; ++i) {
          result.out += std::to_string(key) + "\n";
        }
      }
    }
  };
  std::size_t at = 0;
  while (at < script.size()) {
    const std::size_t newline = script.find('\n', at);
    std::string_view text =
        script.substr(at, newline == std::string_view::npos ? std::string_view::npos : newline - at);
    ++line;
    if (newline == std::string_view::npos) {
      // Only q may go without its line end.
      if (text == "q" && !in_block) {
        checkpoint('q');
        result.out += "total lines=" + std::to_string(line) + " inserts=" + std::to_string(inserts) +
                      " already_held=" + std::to_string(already) + " deletes=" + std::to_string(deletes) +
                      " not_held=" + std::to_string(not_held) + "\n";
        return result;
      }
      result.refused_at = line;
      return result;
    }
    at = newline + 1;
    if (!text.empty() && text.back() == '\r') {
      text.remove_suffix(1);
    }
    int key = 0;
    if (in_block) {
      if (plain_key(text, key)) {
        ++inserts;
        std::uint64_t& count = held[static_cast<std::size_t>(key)];
        already += count > 0 ? 1 : 0;
        count = multiset ? count + 1 : 1;
      } else if (text == "-1") {
        in_block = false;
      } else {
        result.refused_at = line;
        return result;
      }
    } else if (text == "i") {
      in_block = true;
    } else if (text == "s") {
      checkpoint('s');
    } else if (text.size() > 2 && text.substr(0, 2) == "d " && plain_key(text.substr(2), key)) {
      ++deletes;
      std::uint64_t& count = held[static_cast<std::size_t>(key)];
      if (count == 0) {
        ++not_held;
      } else {
        count = multiset ? count - 1 : 0;
      }
    } else if (text == "q") {
      checkpoint('q');
      result.out += "total lines=" + std::to_string(line) + " inserts=" + std::to_string(inserts) +
                    " already_held=" + std::to_string(already) + " deletes=" + std::to_string(deletes) +
                    " not_held=" + std::to_string(not_held) + "\n";
      if (at < script.size()) {
        result.refused_at = line + 1;  // a line after q
      }
      return result;
    } else {
      result.refused_at = line;
      return result;
    }
  }
  result.refused_at = line == 0 ? 1 : line;  // the script ends before q
  return result;
}

// The same script with CR LF line ends.
inline std::string with_crlf(const std::string& text) {
  std::string crlf;
  crlf.reserve(text.size() * 2);
  for (const char c : text) {
    if (c == '\n') {
      crlf += '\r';
    }
    crlf += c;
  }
  return crlf;
}

}  // namespace reference
