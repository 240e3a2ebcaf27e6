// A program under test: a hash set with open addressing, linear probing and
// tombstones, 64 slots to start with. Its hash is the key's low bits, so keys
// that differ by a multiple of the table's size collide: small scripts
// already build probe chains. Run as sample_hash_set_NAME it carries one planted
// bug:
//   no_tombstones     a deletion empties its slot, cutting the probe chains
//                     through it, so keys further on are not found again
//   listing_cut       a listing stops after 1000 keys
//   listing_cut_10000 a listing stops after 10000 keys: a failure whose
//                     smallest script is ten thousand lines long
//   stops_at_first_s  the program exits, status 0, after the first listing
#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "samples.h"
#include "script_io.h"

namespace keyscript::samples::hash_set {
namespace {

enum class Bug : std::uint8_t { none, no_tombstones, listing_cut, listing_cut_10000, stops_at_first_s };
constexpr const char* kBugNames[] = {"none", "no_tombstones", "listing_cut", "listing_cut_10000", "stops_at_first_s"};
Bug kBug = Bug::none;  // set from the name it runs under

constexpr std::uint16_t kEmpty = 0xFFFF;      // no key is this large
constexpr std::uint16_t kTombstone = 0xFFFE;  // a deleted key: probing goes on past it
std::size_t ListingLimit() {
  return kBug == Bug::listing_cut ? 1000 : kBug == Bug::listing_cut_10000 ? 10000 : kKeyCount;
}

class HashSet {
 public:
  void Insert(std::uint16_t key) {
    std::size_t slot = Home(key);
    std::size_t reuse = slots_.size();  // the first tombstone on the way, if any
    for (; slots_[slot] != kEmpty; slot = Next(slot)) {
      if (slots_[slot] == key) return;
      if (slots_[slot] == kTombstone && reuse == slots_.size()) reuse = slot;
    }
    if (reuse == slots_.size()) {
      reuse = slot;
      ++occupied_;
    }
    slots_[reuse] = key;
    ++held_;
    // Tombstones lengthen the chains as keys do, so they count towards the
    // load; a rebuild drops them.
    if (occupied_ * 4 > slots_.size() * 3) Rebuild();
  }

  void Delete(std::uint16_t key) {
    for (std::size_t slot = Home(key); slots_[slot] != kEmpty; slot = Next(slot)) {
      if (slots_[slot] != key) continue;
      if (kBug == Bug::no_tombstones) {
        slots_[slot] = kEmpty;
        --occupied_;
      } else {
        slots_[slot] = kTombstone;
      }
      --held_;
      return;
    }
  }

  void List(KeyWriter& out) const {
    std::vector<std::uint16_t> keys;
    keys.reserve(held_);
    for (const std::uint16_t key : slots_) {
      if (key < kKeyCount) keys.push_back(key);
    }
    std::sort(keys.begin(), keys.end());
    keys.resize(std::min(keys.size(), ListingLimit()));
    for (const std::uint16_t key : keys) out.Put(key);
  }

 private:
  std::size_t Home(std::uint16_t key) const { return key & (slots_.size() - 1); }
  std::size_t Next(std::size_t slot) const { return (slot + 1) & (slots_.size() - 1); }

  // Into a table of at least twice as many slots as keys held, without the
  // tombstones.
  void Rebuild() {
    std::size_t size = 64;
    while (size < held_ * 2) size *= 2;
    const std::vector<std::uint16_t> previous = std::exchange(slots_, std::vector<std::uint16_t>(size, kEmpty));
    occupied_ = held_ = 0;
    for (const std::uint16_t key : previous) {
      if (key < kKeyCount) Insert(key);
    }
  }

  std::vector<std::uint16_t> slots_ = std::vector<std::uint16_t>(64, kEmpty);
  std::size_t occupied_ = 0;  // keys and tombstones
  std::size_t held_ = 0;
};

int Run() {
  HashSet keys;
  KeyWriter out;
  return RunScript(keys, out, kBug == Bug::stops_at_first_s);
}

}  // namespace

int Main(char** argv) {
  kBug = BugNamedBy<Bug>(argv[0], kBugNames);
  return Run();
}

}  // namespace keyscript::samples::hash_set
