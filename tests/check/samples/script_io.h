// What every sample program under test shares: reading a script from
// standard input and writing listings to standard output, both in large
// blocks, so that a correct sample takes little more time than `cat` of the
// script and keyscript-check's own cost is what a timing shows.
#ifndef KEYSCRIPT_TESTS_CHECK_SAMPLES_SCRIPT_IO_H_
#define KEYSCRIPT_TESTS_CHECK_SAMPLES_SCRIPT_IO_H_

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <bitset>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

namespace keyscript::samples {

inline constexpr std::uint32_t kKeyCount = 32768;  // keys are 0..32767
inline constexpr std::size_t kBlockSize = std::size_t{1} << 20;

// A sample's planted bug is named by the name it runs under:
// sample_tree_lose_subtree is sample_tree with the bug lose_subtree, so that
// one build of each structure serves all of its bugs. `bugs` names the values
// of Bug in order, the first of them the correct program's ("none").
template <typename Bug, std::size_t N>
Bug BugNamedBy(const char* invoked, const char* const (&bugs)[N]) {
  const char* const slash = std::strrchr(invoked, '/');
  const std::string_view name = slash ? slash + 1 : invoked;
  for (std::size_t i = 1; i < N; ++i) {
    const std::string_view bug = bugs[i];
    if (name.size() > bug.size() && name.ends_with(bug) && name[name.size() - bug.size() - 1] == '_') {
      return static_cast<Bug>(i);
    }
  }
  return Bug{};
}

// Bytes left as they are until written: a sample run on a short script
// touches only the pages it fills, and keyscript-check starts it once for
// every candidate while it shrinks a failure.
class Bytes {
 public:
  explicit Bytes(std::size_t size) : data_(static_cast<char*>(std::malloc(size))), size_(size) {
    if (data_ == nullptr) std::abort();
  }
  Bytes(const Bytes&) = delete;
  Bytes& operator=(const Bytes&) = delete;
  ~Bytes() { std::free(data_); }
  char* data() { return data_; }
  std::size_t size() const { return size_; }
  void Double() {
    char* const bigger = static_cast<char*>(std::realloc(data_, 2 * size_));
    if (bigger == nullptr) std::abort();
    data_ = bigger;
    size_ *= 2;
  }

 private:
  char* data_;
  std::size_t size_;
};

// POSIX's sleep rather than std::this_thread's, whose headers took a sample
// longer to compile than its own code.
inline void SleepMilliseconds(long milliseconds) {
  const timespec wait = {milliseconds / 1000, (milliseconds % 1000) * 1000000};
  nanosleep(&wait, nullptr);
}

enum class Kind : std::uint8_t { kKey, kDelete, kCheckpoint, kQuit, kOther, kEnd };

struct Command {
  Kind kind = Kind::kOther;
  std::uint16_t key = 0;
};

// Hands out the script's commands one at a time, then kEnd. Block markers
// ("i", "-1") and anything unknown are kOther: a line of digits is a key
// wherever it is.
class ScriptReader {
 public:
  Command Next() {
    if (next_ == complete_ && !Refill()) return {Kind::kEnd};
    const char* const line = buffer_.data() + next_;
    Digits digits{line, kKeyCount};
    Command command;
    if (IsDigit(*line)) {
      digits = ReadDigits(line);
      command = KeyCommand(Kind::kKey, digits.value);
    } else if (*line == 'd' && line[1] == ' ') {
      digits = ReadDigits(line + 2);
      command = KeyCommand(Kind::kDelete, digits.value);
    } else if (*line == 's') {
      command.kind = Kind::kCheckpoint;
    } else if (*line == 'q') {
      command.kind = Kind::kQuit;
    }
    const char* end = digits.end;
    while (*end != '\n') ++end;  // Refill made sure there is one
    next_ = static_cast<std::size_t>(end - buffer_.data()) + 1;
    return command;
  }

 private:
  struct Digits {
    const char* end;
    std::uint32_t value;  // kKeyCount or more when they are no key
  };

  static bool IsDigit(char c) { return c >= '0' && c <= '9'; }

  // A key out of range is no command at all, so that no sample indexes past
  // its tables on a spoiled script.
  static Command KeyCommand(Kind kind, std::uint32_t key) {
    if (key >= kKeyCount) return {};
    return {kind, static_cast<std::uint16_t>(key)};
  }

  static Digits ReadDigits(const char* line) {
    std::uint32_t value = 0;
    const char* end = line;
    for (; IsDigit(*end); ++end) value = value * 10 + static_cast<std::uint32_t>(*end - '0');
    return {end, end - line <= 5 ? value : kKeyCount};
  }

  // Keeps the unfinished last line, reads more behind it, and marks where
  // the complete lines end, so that Next never looks for a line's end past
  // the data. The last line gets its newline if the input lacks it.
  bool Refill() {
    const std::size_t capacity = kBlockSize;  // and a byte after it for a missing last newline
    for (;;) {
      const std::size_t kept = filled_ - next_;
      if (kept == capacity) {  // one line fills the whole buffer: drop it
        filled_ = next_ = complete_ = 0;
        continue;
      }
      std::memmove(buffer_.data(), buffer_.data() + next_, kept);
      next_ = 0;
      // What the pipe has now, not a whole block: under --persistent the
      // next script comes only once this one is answered.
      const ssize_t got = read(STDIN_FILENO, buffer_.data() + kept, capacity - kept);
      if (got < 0 && errno == EINTR) continue;
      filled_ = kept + static_cast<std::size_t>(got > 0 ? got : 0);
      const bool at_end = got <= 0;
      char* const bytes = buffer_.data();
      if (at_end && filled_ > 0 && bytes[filled_ - 1] != '\n') bytes[filled_++] = '\n';
      complete_ = filled_;
      while (complete_ > 0 && bytes[complete_ - 1] != '\n') --complete_;
      if (complete_ > 0) return true;
      if (at_end) return false;
    }
  }

  Bytes buffer_ = Bytes(kBlockSize + 1);
  std::size_t next_ = 0;      // where the next line starts
  std::size_t complete_ = 0;  // end of the last complete line
  std::size_t filled_ = 0;
};

// Writes keys one a line. It hands standard output a block at a time, or,
// when told to keep everything, only when Finish is called.
class KeyWriter {
 public:
  explicit KeyWriter(bool keep_everything = false) : keep_everything_(keep_everything) {}

  void Put(std::uint16_t key, std::uint32_t copies = 1) {
    char digits[6];
    char* start = digits + sizeof digits;
    *--start = '\n';
    do {
      *--start = static_cast<char>('0' + key % 10);
      key = static_cast<std::uint16_t>(key / 10);
    } while (key != 0);
    const std::size_t length = static_cast<std::size_t>(digits + sizeof digits - start);
    for (; copies > 0; --copies) {
      if (used_ + length > buffer_.size()) MakeRoom();
      std::memcpy(buffer_.data() + used_, start, length);
      used_ += length;
    }
  }

  void Line(const char* text) {
    const std::size_t length = std::strlen(text);
    if (used_ + length + 1 > buffer_.size()) MakeRoom();
    std::memcpy(buffer_.data() + used_, text, length);
    buffer_.data()[used_ + length] = '\n';
    used_ += length + 1;
  }

  // Hands everything written so far to standard output: the exit status, 0,
  // or 1 when standard output could not be written.
  int Finish() {
    Flush();
    return ok_ && std::fflush(stdout) == 0 ? 0 : 1;
  }

 private:
  void MakeRoom() {
    if (keep_everything_) {
      buffer_.Double();
    } else {
      Flush();
    }
  }

  void Flush() {
    ok_ = ok_ && std::fwrite(buffer_.data(), 1, used_, stdout) == used_;
    used_ = 0;
  }

  bool keep_everything_;
  bool ok_ = true;
  Bytes buffer_ = Bytes(kBlockSize);
  std::size_t used_ = 0;
};

// The plainest correct set: one bit a key. The helpers that test
// keyscript-check's handling of odd programs keep their keys in it.
class KeySet {
 public:
  void Insert(std::uint16_t key) { held_.set(key); }
  void Delete(std::uint16_t key) { held_.reset(key); }
  void List(KeyWriter& out) const {
    for (std::uint32_t key = 0; key < kKeyCount; ++key) {
      if (held_.test(key)) out.Put(static_cast<std::uint16_t>(key));
    }
  }

 private:
  std::bitset<kKeyCount> held_;
};

// Whether keyscript-check's --persistent asks for one script after another.
inline bool Persistent() {
  const char* value = std::getenv("KEYSCRIPT_PERSISTENT");
  return value != nullptr && std::strcmp(value, "1") == 0;
}

// Plays the script on KEYS (Insert, Delete, List), listing at every "s" and
// at the "q" that ends it; returns the exit status. With
// `stop_at_first_checkpoint` it ends after the first listing (a planted bug).
// Under --persistent it goes on after each q: a line "q" after its listing,
// an empty collection (unless `keeps_state`, a planted bug), and the next
// script, until the input ends.
template <typename Keys>
int RunScript(Keys& keys, KeyWriter& out, bool stop_at_first_checkpoint = false, bool keeps_state = false) {
  const bool persistent = Persistent();
  ScriptReader script;
  for (Command command = script.Next(); command.kind != Kind::kEnd; command = script.Next()) {
    switch (command.kind) {
      case Kind::kKey:
        keys.Insert(command.key);
        break;
      case Kind::kDelete:
        keys.Delete(command.key);
        break;
      case Kind::kCheckpoint:
        keys.List(out);
        if (stop_at_first_checkpoint) return out.Finish();
        break;
      case Kind::kQuit:
        keys.List(out);
        if (!persistent) return out.Finish();
        out.Line("q");
        if (out.Finish() != 0) return 1;
        if (!keeps_state) keys = Keys();
        break;
      case Kind::kOther:
      case Kind::kEnd:
        break;
    }
  }
  return out.Finish();
}

}  // namespace keyscript::samples

#endif  // KEYSCRIPT_TESTS_CHECK_SAMPLES_SCRIPT_IO_H_
