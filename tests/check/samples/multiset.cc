// A program under test that keeps duplicates: a count of copies for every
// key. Check it with --multiset. Built with -DBUG=erase_all_copies, a
// deletion removes every copy of its key rather than one.
#include <cstdint>
#include <vector>

#include "script_io.h"

#ifndef BUG
#define BUG none
#endif

namespace keyscript::samples {
namespace {

enum class Bug : std::uint8_t { none, erase_all_copies };
constexpr Bug kBug = Bug::BUG;

class Multiset {
 public:
  void Insert(std::uint16_t key) { ++copies_[key]; }

  void Delete(std::uint16_t key) {
    if (copies_[key] == 0) return;
    if constexpr (kBug == Bug::erase_all_copies) {
      copies_[key] = 0;
    } else {
      --copies_[key];
    }
  }

  void List(KeyWriter& out) const {
    for (std::uint32_t key = 0; key < kKeyCount; ++key) {
      if (copies_[key] > 0) out.Put(static_cast<std::uint16_t>(key), copies_[key]);
    }
  }

 private:
  // A script of 4294967295 lines would not fit in memory, so no count
  // reaches the limit of 32 bits.
  std::vector<std::uint32_t> copies_ = std::vector<std::uint32_t>(kKeyCount);
};

}  // namespace
}  // namespace keyscript::samples

int main() {
  keyscript::samples::Multiset keys;
  keyscript::samples::KeyWriter out;
  return keyscript::samples::RunScript(keys, out);
}
