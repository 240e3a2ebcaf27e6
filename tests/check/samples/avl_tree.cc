// A program under test: an AVL tree, its nodes in one vector, rebalanced on
// the way back up from every insertion and deletion. Run as sample_avl_tree_NAME it
// carries one planted bug that changes no listing, only the cost: the tree
// never rotates, and sorted keys make it a list.
//   no_height_update     a node's height is never updated, so every node
//                        looks balanced
//   balance_always_zero  the balance factor is always taken as 0
#include <algorithm>
#include <cstdint>
#include <vector>

#include "samples.h"
#include "script_io.h"

namespace keyscript::samples::avl_tree {
namespace {

enum class Bug : std::uint8_t { none, no_height_update, balance_always_zero };
constexpr const char* kBugNames[] = {"none", "no_height_update", "balance_always_zero"};
Bug kBug = Bug::none;  // set from the name it runs under

constexpr std::int32_t kNone = -1;

struct Node {
  std::uint16_t key = 0;
  std::int32_t height = 1;
  std::int32_t left = kNone;
  std::int32_t right = kNone;
};

class AvlTree {
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
    RebalancePath();
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
    Node& found = At(*link);
    if (found.left != kNone && found.right != kNone) {
      // Two children: the successor's key moves up, and the successor's own
      // node (which has no left child) is the one that goes.
      path_.push_back(*link);
      std::int32_t* to_successor = &found.right;
      while (At(*to_successor).left != kNone) {
        path_.push_back(*to_successor);
        to_successor = &At(*to_successor).left;
      }
      found.key = At(*to_successor).key;
      link = to_successor;
    }
    const std::int32_t gone = *link;
    *link = At(gone).left != kNone ? At(gone).left : At(gone).right;
    free_.push_back(gone);
    RebalancePath();
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

  std::int32_t NewNode(std::uint16_t key) {
    if (free_.empty()) {
      nodes_.push_back({key, 1, kNone, kNone});
      return static_cast<std::int32_t>(nodes_.size() - 1);
    }
    const std::int32_t index = free_.back();
    free_.pop_back();
    At(index) = {key, 1, kNone, kNone};
    return index;
  }

  std::int32_t Height(std::int32_t index) const { return index == kNone ? 0 : At(index).height; }

  void UpdateHeight(std::int32_t index) {
    if (kBug == Bug::no_height_update) return;
    Node& node = At(index);
    node.height = 1 + std::max(Height(node.left), Height(node.right));
  }

  std::int32_t Balance(std::int32_t index) const {
    if (kBug == Bug::balance_always_zero) return 0;
    return Height(At(index).left) - Height(At(index).right);
  }

  std::int32_t RotateRight(std::int32_t top) {
    const std::int32_t up = At(top).left;
    At(top).left = At(up).right;
    At(up).right = top;
    UpdateHeight(top);
    UpdateHeight(up);
    return up;
  }

  std::int32_t RotateLeft(std::int32_t top) {
    const std::int32_t up = At(top).right;
    At(top).right = At(up).left;
    At(up).left = top;
    UpdateHeight(top);
    UpdateHeight(up);
    return up;
  }

  // The subtree at INDEX, balanced again; returns its root.
  std::int32_t Rebalance(std::int32_t index) {
    UpdateHeight(index);
    const std::int32_t balance = Balance(index);
    if (balance > 1) {
      if (Balance(At(index).left) < 0) At(index).left = RotateLeft(At(index).left);
      return RotateRight(index);
    }
    if (balance < -1) {
      if (Balance(At(index).right) > 0) At(index).right = RotateRight(At(index).right);
      return RotateLeft(index);
    }
    return index;
  }

  // Rebalances every node on the path walked, from the deepest up, and
  // links each subtree's new root where the old one hung.
  void RebalancePath() {
    for (std::size_t at = path_.size(); at-- > 0;) {
      const std::int32_t old_root = path_[at];
      const std::int32_t new_root = Rebalance(old_root);
      if (new_root == old_root) continue;
      if (at == 0) {
        root_ = new_root;
      } else {
        Node& parent = At(path_[at - 1]);
        (parent.left == old_root ? parent.left : parent.right) = new_root;
      }
    }
  }

  std::vector<Node> nodes_;
  std::vector<std::int32_t> free_;  // nodes deleted, for the next insertions
  std::vector<std::int32_t> path_;  // the nodes walked from the root
  std::int32_t root_ = kNone;
  std::bitset<kKeyCount> held_;
};

}  // namespace

int Main(char** argv) {
  kBug = BugNamedBy<Bug>(argv[0], kBugNames);
  AvlTree tree;
  KeyWriter out;
  return RunScript(tree, out);
}

}  // namespace keyscript::samples::avl_tree
