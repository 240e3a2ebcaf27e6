// A correct program under test that takes its time: it sleeps a millisecond
// after every 1000 commands, so a script of 100000 keys takes a fifth of a
// second longer than it would.
#include <chrono>
#include <cstdint>
#include <thread>

#include "script_io.h"

namespace keyscript::samples {
namespace {

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
    if (++commands_ % 1000 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }

  KeySet keys_;
  std::uint64_t commands_ = 0;
};

}  // namespace
}  // namespace keyscript::samples

int main() {
  keyscript::samples::SlowSet keys;
  keyscript::samples::KeyWriter out;
  return keyscript::samples::RunScript(keys, out);
}
