// A program under test: a skip list, its nodes in one vector. Each node
// stands in level 1 and, with probability 1/2 for each level more, in the
// levels above, up to 16; a search starts in the top level and drops a level
// where the next key is too large. Run under a name that ends in _levels_all_one every node
// stands in level 1 alone: the listings stay right, but every search walks
// the keys one by one.
#include <array>
#include <cstdint>
#include <vector>

#include "samples.h"
#include "script_io.h"

namespace keyscript::samples::skip_list {
namespace {

enum class Bug : std::uint8_t { none, levels_all_one };
constexpr const char* kBugNames[] = {"none", "levels_all_one"};
Bug kBug = Bug::none;  // set from the name it runs under

constexpr std::int32_t kNone = -1;
constexpr std::size_t kLevels = 16;
constexpr std::int32_t kHead = 0;  // node 0 stands before every key, in every level

struct Node {
  std::uint16_t key = 0;
  std::array<std::int32_t, kLevels> next{};
};

class SkipList {
 public:
  SkipList() {
    nodes_.emplace_back();
    nodes_[0].next.fill(kNone);
  }

  void Insert(std::uint16_t key) {
    if (held_.test(key)) return;
    held_.set(key);
    FindBefore(key);
    const std::size_t levels = NewLevels();
    const std::int32_t fresh = NewNode(key);
    for (std::size_t level = 0; level < levels; ++level) {
      Node& before = At(before_[level]);
      At(fresh).next[level] = before.next[level];
      before.next[level] = fresh;
    }
  }

  void Delete(std::uint16_t key) {
    if (!held_.test(key)) return;
    held_.reset(key);
    FindBefore(key);
    const std::int32_t gone = At(before_[0]).next[0];
    for (std::size_t level = 0; level < kLevels; ++level) {
      Node& before = At(before_[level]);
      if (before.next[level] == gone) before.next[level] = At(gone).next[level];
    }
    free_.push_back(gone);
  }

  void List(KeyWriter& out) const {
    for (std::int32_t at = At(kHead).next[0]; at != kNone; at = At(at).next[0]) out.Put(At(at).key);
  }

 private:
  Node& At(std::int32_t index) { return nodes_[static_cast<std::size_t>(index)]; }
  const Node& At(std::int32_t index) const { return nodes_[static_cast<std::size_t>(index)]; }

  // In every level, the last node whose key is below KEY.
  void FindBefore(std::uint16_t key) {
    std::int32_t at = kHead;
    for (std::size_t level = kLevels; level-- > 0;) {
      for (std::int32_t next = At(at).next[level]; next != kNone && At(next).key < key; next = At(at).next[level]) {
        at = next;
      }
      before_[level] = at;
    }
  }

  // 1, and one more for every head of a fair coin in a row: xorshift32's
  // bits, the same list for the same script every time.
  std::size_t NewLevels() {
    if (kBug == Bug::levels_all_one) return 1;
    random_ ^= random_ << 13;
    random_ ^= random_ >> 17;
    random_ ^= random_ << 5;
    std::size_t levels = 1;
    for (std::uint32_t bits = random_; levels < kLevels && (bits & 1U) != 0; bits >>= 1) ++levels;
    return levels;
  }

  std::int32_t NewNode(std::uint16_t key) {
    Node node;
    node.key = key;
    node.next.fill(kNone);
    if (free_.empty()) {
      nodes_.push_back(node);
      return static_cast<std::int32_t>(nodes_.size() - 1);
    }
    const std::int32_t index = free_.back();
    free_.pop_back();
    At(index) = node;
    return index;
  }

  std::vector<Node> nodes_;
  std::vector<std::int32_t> free_;  // nodes deleted, for the next insertions
  std::array<std::int32_t, kLevels> before_{};
  std::uint32_t random_ = 2463534242U;
  std::bitset<kKeyCount> held_;
};

}  // namespace

int Main(char** argv) {
  kBug = BugNamedBy<Bug>(argv[0], kBugNames);
  SkipList list;
  KeyWriter out;
  return RunScript(list, out);
}

}  // namespace keyscript::samples::skip_list
