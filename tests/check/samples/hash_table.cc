// A program under test: a hash table with open addressing, linear probing
// and tombstones, 64 slots to start with. Its hash multiplies the key by 2^32
// over the golden ratio and keeps the top bits, which spreads runs of
// consecutive keys over the table (sample_hash_set's low bits keep them
// together). Past 3/4 of its slots used (keys and tombstones) it is rebuilt
// with at least twice as many slots as keys. Built with
// -DBUG=rebuild_same_size it is rebuilt with the fewest slots that hold the
// keys, the same number again, so every insertion past 3/4 rebuilds it: the
// listings stay right, but an insertion there costs the whole table.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <utility>
#include <vector>

#include "samples.h"
#include "script_io.h"

namespace keyscript::samples::hash_table {
namespace {

enum class Bug : std::uint8_t { none, rebuild_same_size };
constexpr const char* kBugNames[] = {"none", "rebuild_same_size"};
Bug kBug = Bug::none;  // set from the name it runs under

constexpr std::uint16_t kEmpty = 0xFFFF;      // no key is this large
constexpr std::uint16_t kTombstone = 0xFFFE;  // a deleted key: probing goes on past it
constexpr std::size_t kFewestSlots = 64;

class HashTable {
 public:
  void Insert(std::uint16_t key) {
    if (Place(key) && used_ * 4 > slots_.size() * 3) Rebuild();
  }

  void Delete(std::uint16_t key) {
    for (std::size_t slot = Home(key); slots_[slot] != kEmpty; slot = Next(slot)) {
      if (slots_[slot] == key) {
        slots_[slot] = kTombstone;
        --held_;
        return;
      }
    }
  }

  void List(KeyWriter& out) const {
    std::bitset<kKeyCount> keys;
    for (const std::uint16_t key : slots_) {
      if (key < kKeyCount) keys.set(key);
    }
    for (std::uint32_t key = 0; key < kKeyCount; ++key) {
      if (keys.test(key)) out.Put(static_cast<std::uint16_t>(key));
    }
  }

 private:
  std::size_t Home(std::uint16_t key) const { return (key * 2654435769U) >> (32 - bits_); }
  std::size_t Next(std::size_t slot) const { return (slot + 1) & (slots_.size() - 1); }

  // Puts KEY in the table unless it is there; false when it was.
  bool Place(std::uint16_t key) {
    std::size_t slot = Home(key);
    std::size_t reuse = slots_.size();  // the first tombstone on the way, if any
    for (; slots_[slot] != kEmpty; slot = Next(slot)) {
      if (slots_[slot] == key) return false;
      if (slots_[slot] == kTombstone && reuse == slots_.size()) reuse = slot;
    }
    if (reuse == slots_.size()) {
      reuse = slot;
      ++used_;
    }
    slots_[reuse] = key;
    ++held_;
    return true;
  }

  void Rebuild() {
    const std::size_t wanted = kBug == Bug::rebuild_same_size ? held_ + 1 : 2 * held_;
    const std::size_t size = std::max(kFewestSlots, std::bit_ceil(wanted));
    bits_ = std::countr_zero(size);
    const std::vector<std::uint16_t> previous = std::exchange(slots_, std::vector<std::uint16_t>(size, kEmpty));
    used_ = held_ = 0;
    for (const std::uint16_t key : previous) {
      if (key < kKeyCount) Place(key);
    }
  }

  std::vector<std::uint16_t> slots_ = std::vector<std::uint16_t>(kFewestSlots, kEmpty);
  int bits_ = std::countr_zero(kFewestSlots);
  std::size_t used_ = 0;  // keys and tombstones
  std::size_t held_ = 0;
};

}  // namespace

int Main(char** argv) {
  kBug = BugNamedBy<Bug>(argv[0], kBugNames);
  HashTable table;
  KeyWriter out;
  return RunScript(table, out);
}

}  // namespace keyscript::samples::hash_table
