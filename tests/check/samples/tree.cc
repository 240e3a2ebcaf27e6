// A program under test: an unbalanced binary search tree, its nodes in one
// vector. Run as sample_tree_NAME it carries one planted bug:
//   lose_subtree        deleting a node with two children drops its left subtree
//   largest_never_held  the key 32767 is silently not inserted
//   crash_on_absent     deleting a key not held aborts (SIGABRT)
//   hang_on_absent      deleting a key not held never returns
//   exits_on_absent     deleting a key not held ends the program as an
//                       uncaught exception ends Python's: a traceback on
//                       standard error, status 1
//   slow_start_hang     takes 0.07 s to start, as an interpreter may, and
//                       hangs on deleting a key not held
//   keeps_state         under --persistent, starts each script with the
//                       keys the last one left
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "samples.h"
#include "script_io.h"

namespace keyscript::samples::tree {
namespace {

enum class Bug : std::uint8_t {
  none,
  lose_subtree,
  largest_never_held,
  crash_on_absent,
  hang_on_absent,
  exits_on_absent,
  slow_start_hang,
  keeps_state,
};
constexpr const char* kBugNames[] = {"none",           "lose_subtree",    "largest_never_held", "crash_on_absent",
                                     "hang_on_absent", "exits_on_absent", "slow_start_hang",    "keeps_state"};
Bug kBug = Bug::none;  // set from the name it runs under

// One past the largest key the tree takes: the planted off-by-one leaves
// 32767 out.
std::uint32_t KeyLimit() { return kBug == Bug::largest_never_held ? kKeyCount - 1 : kKeyCount; }

constexpr std::int32_t kNone = -1;

struct Node {
  std::uint16_t key = 0;
  std::int32_t left = kNone;
  std::int32_t right = kNone;
};

class Tree {
 public:
  void Insert(std::uint16_t key) {
    // keyscript's keys repeat, so most insertions find their key held: the
    // bitmap answers those without a walk down the tree.
    if (key >= KeyLimit() || held_.test(key)) return;
    held_.set(key);
    const std::int32_t fresh = NewNode(key);  // before the walk: it may move the nodes
    std::int32_t* link = &root_;
    while (*link != kNone) {
      Node& node = nodes_[static_cast<std::size_t>(*link)];
      link = key < node.key ? &node.left : &node.right;
    }
    *link = fresh;
  }

  void Delete(std::uint16_t key) {
    std::int32_t* link = &root_;
    while (*link != kNone && At(*link).key != key) {
      Node& node = At(*link);
      link = key < node.key ? &node.left : &node.right;
    }
    if (*link == kNone) {
      if (kBug == Bug::crash_on_absent) std::abort();
      if (kBug == Bug::hang_on_absent || kBug == Bug::slow_start_hang) {
        for (;;) pause();
      }
      if (kBug == Bug::exits_on_absent) {
        std::fprintf(stderr,
                     "Traceback (most recent call last):\n"
                     "  File \"tree.py\", line 40, in <module>\n"
                     "    tree.delete(key)\n"
                     "  File \"tree.py\", line 21, in delete\n"
                     "    del self.nodes[key]\n"
                     "KeyError: %u\n",
                     static_cast<unsigned>(key));
        std::exit(1);
      }
      return;
    }
    held_.reset(key);
    Unlink(link);
  }

  void List(KeyWriter& out) const {
    std::vector<std::int32_t> path;  // the tree can be 32768 deep: no recursion
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

  std::int32_t NewNode(std::uint16_t key) {
    if (free_.empty()) {
      nodes_.push_back({key, kNone, kNone});
      return static_cast<std::int32_t>(nodes_.size() - 1);
    }
    const std::int32_t index = free_.back();
    free_.pop_back();
    At(index) = {key, kNone, kNone};
    return index;
  }

  // Removes the node LINK points to: its only child takes its place, or, when
  // it has two, its successor, the leftmost node of its right subtree. (The
  // planted bug takes the right child of two, and the left subtree is lost.)
  void Unlink(std::int32_t* link) {
    const std::int32_t gone = *link;
    Node& node = At(gone);
    if (node.left == kNone || node.right == kNone || kBug == Bug::lose_subtree) {
      *link = node.right != kNone ? node.right : node.left;
    } else {
      std::int32_t* to_successor = &node.right;
      while (At(*to_successor).left != kNone) to_successor = &At(*to_successor).left;
      const std::int32_t successor = *to_successor;
      *to_successor = At(successor).right;
      At(successor).left = node.left;
      At(successor).right = node.right;
      *link = successor;
    }
    free_.push_back(gone);
  }

  std::vector<Node> nodes_;
  std::vector<std::int32_t> free_;  // nodes deleted, for the next insertions
  std::int32_t root_ = kNone;
  std::bitset<kKeyCount> held_;
};

}  // namespace

int Main(char** argv) {
  kBug = BugNamedBy<Bug>(argv[0], kBugNames);
  if (kBug == Bug::slow_start_hang) {
    SleepMilliseconds(70);
  }
  Tree tree;
  KeyWriter out;
  return RunScript(tree, out, false, kBug == Bug::keeps_state);
}

}  // namespace keyscript::samples::tree
