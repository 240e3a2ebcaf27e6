// A program under test: a treap, a search tree whose nodes also carry a
// random priority and keep every parent's above its children's, which keeps
// the tree about as deep as a random one whatever the order of the keys. Its
// nodes live in one vector. Run under a name that ends in _skips_rotation an insertion
// never rotates a new right child up: the listings stay right, but keys in
// ascending order make the tree a list.
#include <cstdint>
#include <vector>

#include "samples.h"
#include "script_io.h"

namespace keyscript::samples::treap {
namespace {

enum class Bug : std::uint8_t { none, skips_rotation };
constexpr const char* kBugNames[] = {"none", "skips_rotation"};
Bug kBug = Bug::none;  // set from the name it runs under

constexpr std::int32_t kNone = -1;

struct Node {
  std::uint16_t key = 0;
  std::uint32_t priority = 0;
  std::int32_t left = kNone;
  std::int32_t right = kNone;
};

class Treap {
 public:
  void Insert(std::uint16_t key) {
    if (held_.test(key)) return;
    held_.set(key);
    const std::int32_t fresh = NewNode(key);  // before the walk: it may move the nodes
    path_.clear();
    std::int32_t* link = &root_;
    while (*link != kNone) {
      path_.push_back(*link);
      Node& node = At(*link);
      link = key < node.key ? &node.left : &node.right;
    }
    *link = fresh;
    // Up past every parent of lower priority, one rotation at a time.
    for (std::size_t at = path_.size(); at-- > 0;) {
      const std::int32_t parent = path_[at];
      if (At(parent).priority >= At(fresh).priority) break;
      const bool right_child = At(parent).right == fresh;
      if (kBug == Bug::skips_rotation && right_child) break;
      const std::int32_t top = right_child ? RotateLeft(parent) : RotateRight(parent);
      Relink(at, parent, top);
    }
  }

  void Delete(std::uint16_t key) {
    if (!held_.test(key)) return;
    held_.reset(key);
    path_.clear();
    std::int32_t* link = &root_;
    while (At(*link).key != key) {
      path_.push_back(*link);
      Node& node = At(*link);
      link = key < node.key ? &node.left : &node.right;
    }
    // Down below its children, the one of higher priority rising each
    // time, until it has at most one child to take its place.
    const std::int32_t gone = *link;
    while (At(gone).left != kNone && At(gone).right != kNone) {
      const Node& node = At(gone);
      const bool left_rises = At(node.left).priority > At(node.right).priority;
      const std::int32_t top = left_rises ? RotateRight(gone) : RotateLeft(gone);
      Relink(path_.size(), gone, top);
      path_.push_back(top);
    }
    const std::int32_t child = At(gone).left != kNone ? At(gone).left : At(gone).right;
    Relink(path_.size(), gone, child);
    free_.push_back(gone);
  }

  void List(KeyWriter& out) const {
    std::vector<std::int32_t> path;
    for (std::int32_t at = root_; at != kNone || !path.empty();) {
      for (; at != kNone; at = At(at).left) path.push_back(at);
      at = path.back();
      path.pop_back();
      out.Put(At(at).key);
      at = At(at).right;
    }
  }

 private:
  Node& At(std::int32_t index) { return nodes_[static_cast<std::size_t>(index)]; }
  const Node& At(std::int32_t index) const { return nodes_[static_cast<std::size_t>(index)]; }

  // xorshift32: the same tree for the same script, every time.
  std::uint32_t NextPriority() {
    random_ ^= random_ << 13;
    random_ ^= random_ >> 17;
    random_ ^= random_ << 5;
    return random_;
  }

  std::int32_t NewNode(std::uint16_t key) {
    const Node node{key, NextPriority(), kNone, kNone};
    if (free_.empty()) {
      nodes_.push_back(node);
      return static_cast<std::int32_t>(nodes_.size() - 1);
    }
    const std::int32_t index = free_.back();
    free_.pop_back();
    At(index) = node;
    return index;
  }

  std::int32_t RotateRight(std::int32_t top) {
    const std::int32_t up = At(top).left;
    At(top).left = At(up).right;
    At(up).right = top;
    return up;
  }

  std::int32_t RotateLeft(std::int32_t top) {
    const std::int32_t up = At(top).right;
    At(top).right = At(up).left;
    At(up).left = top;
    return up;
  }

  // Hangs NEW where OLD hung: from path_[depth - 1], or as the root.
  void Relink(std::size_t depth, std::int32_t old, std::int32_t now) {
    if (depth == 0) {
      root_ = now;
      return;
    }
    Node& parent = At(path_[depth - 1]);
    (parent.left == old ? parent.left : parent.right) = now;
  }

  std::vector<Node> nodes_;
  std::vector<std::int32_t> free_;  // nodes deleted, for the next insertions
  std::vector<std::int32_t> path_;  // the nodes walked from the root
  std::int32_t root_ = kNone;
  std::uint32_t random_ = 2463534242U;
  std::bitset<kKeyCount> held_;
};

}  // namespace

int Main(char** argv) {
  kBug = BugNamedBy<Bug>(argv[0], kBugNames);
  Treap treap;
  KeyWriter out;
  return RunScript(treap, out);
}

}  // namespace keyscript::samples::treap
