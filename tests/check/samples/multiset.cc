// A program under test that keeps duplicates: a count of copies for every
// key. Check it with --multiset. Run under a name that ends in _erase_all_copies, a
// deletion removes every copy of its key rather than one.
#include <cstdint>
#include <vector>

#include "samples.h"
#include "script_io.h"

namespace keyscript::samples::multiset {
namespace {

enum class Bug : std::uint8_t { none, erase_all_copies };
constexpr const char* kBugNames[] = {"none", "erase_all_copies"};
Bug kBug = Bug::none;  // set from the name it runs under

class Multiset {
 public:
  void Insert(std::uint16_t key) { ++copies_[key]; }

  void Delete(std::uint16_t key) {
    if (copies_[key] == 0) return;
    if (kBug == Bug::erase_all_copies) {
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

int Main(char** argv) {
  kBug = BugNamedBy<Bug>(argv[0], kBugNames);
  Multiset keys;
  KeyWriter out;
  return RunScript(keys, out);
}

}  // namespace keyscript::samples::multiset
