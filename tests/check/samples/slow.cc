// A correct program under test that takes its time: it sleeps a millisecond
// after every 1000 commands, so a script of 100000 keys takes a fifth of a
// second longer than it would. Run under a name that ends in _two_us_a_line it works 2 us
// on every command instead, as a Python program with a database does: not a
// bug, a pace.
#include <chrono>
#include <cstdint>
#include <thread>

#include "samples.h"
#include "script_io.h"

namespace keyscript::samples::slow {
namespace {

enum class Pace : std::uint8_t { none, two_us_a_line };
constexpr const char* kPaceNames[] = {"none", "two_us_a_line"};
Pace kPace = Pace::none;  // set from the name it runs under

class SlowSet {
 public:
  void Insert(std::uint16_t key) {
    Dawdle();
    keys_.Insert(key);
  }
  void Delete(std::uint16_t key) {
    Dawdle();
    keys_.Delete(key);
  }
  void List(KeyWriter& out) {
    Dawdle();
    keys_.List(out);
  }

 private:
  void Dawdle() {
    if (kPace == Pace::two_us_a_line) {
      const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(2);
      while (std::chrono::steady_clock::now() < until) {
      }
    } else if (++commands_ % 1000 == 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  KeySet keys_;
  std::uint64_t commands_ = 0;
};

}  // namespace

int Main(char** argv) {
  kPace = BugNamedBy<Pace>(argv[0], kPaceNames);
  SlowSet keys;
  KeyWriter out;
  return RunScript(keys, out);
}

}  // namespace keyscript::samples::slow
