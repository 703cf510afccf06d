// A sequence with O(log n) insertion at any place, removal, place lookup and access by place:
// a treap keyed by implicit position. A bar may hold thousands of controls and the builders
// insert at place 1 and ask controls for their Index, so a vector would make a run quadratic.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <random>
#include <utility>

namespace tkw::command_bars {

template <typename T>
class RankedList {
 public:
  // A value's place in the list; it stays valid until the value is erased.
  class Node {
   public:
    explicit Node(T value, std::uint32_t priority) : value(std::move(value)), priority_(priority) {}
    T value;

   private:
    friend class RankedList;
    std::uint32_t priority_;
    std::size_t size_ = 1;
    Node* parent_ = nullptr;
    std::unique_ptr<Node> left_, right_;
  };

  std::size_t size() const { return Size(root_); }

  // Inserts `value` so that it ends up at 0-based `index` (<= size()).
  Node* Insert(std::size_t index, T value) {
    auto node = std::make_unique<Node>(std::move(value), static_cast<std::uint32_t>(random_()));
    Node* inserted = node.get();
    auto [before, after] = Split(std::move(root_), index);
    SetRoot(Merge(Merge(std::move(before), std::move(node)), std::move(after)));
    return inserted;
  }

  // Removes `node` and hands back its value.
  T Erase(Node* node) {
    auto [before, rest] = Split(std::move(root_), IndexOf(node));
    auto [erased, after] = Split(std::move(rest), 1);
    SetRoot(Merge(std::move(before), std::move(after)));
    return std::move(erased->value);
  }

  std::size_t IndexOf(const Node* node) const {
    std::size_t index = Size(node->left_);
    for (const Node* child = node; child->parent_ != nullptr; child = child->parent_) {
      if (child->parent_->right_.get() == child)
        index += Size(child->parent_->left_) + 1;
    }
    return index;
  }

  // `index` < size().
  T& At(std::size_t index) const {
    Node* node = root_.get();
    for (;;) {
      const std::size_t left = Size(node->left_);
      if (index == left)
        return node->value;
      if (index < left) {
        node = node->left_.get();
      } else {
        index -= left + 1;
        node = node->right_.get();
      }
    }
  }

  // Calls `visit(value)` in order until it returns true; returns whether it did.
  template <typename Visit>
  bool VisitUntil(Visit&& visit) const {
    return VisitUntil(root_.get(), visit);
  }

 private:
  using Link = std::unique_ptr<Node>;

  static std::size_t Size(const Link& link) { return link ? link->size_ : 0; }

  static void Update(Node& node) {
    node.size_ = 1 + Size(node.left_) + Size(node.right_);
    if (node.left_)
      node.left_->parent_ = &node;
    if (node.right_)
      node.right_->parent_ = &node;
  }

  void SetRoot(Link root) {
    root_ = std::move(root);
    if (root_)
      root_->parent_ = nullptr;
  }

  static Link Merge(Link first, Link second) {
    if (!first)
      return second;
    if (!second)
      return first;
    if (first->priority_ > second->priority_) {
      first->right_ = Merge(std::move(first->right_), std::move(second));
      Update(*first);
      return first;
    }
    second->left_ = Merge(std::move(first), std::move(second->left_));
    Update(*second);
    return second;
  }

  // The first `count` values, and the rest.
  static std::pair<Link, Link> Split(Link tree, std::size_t count) {
    if (!tree)
      return {};
    if (Size(tree->left_) >= count) {
      auto [before, after] = Split(std::move(tree->left_), count);
      tree->left_ = std::move(after);
      Update(*tree);
      return {std::move(before), std::move(tree)};
    }
    auto [before, after] = Split(std::move(tree->right_), count - Size(tree->left_) - 1);
    tree->right_ = std::move(before);
    Update(*tree);
    return {std::move(tree), std::move(after)};
  }

  template <typename Visit>
  static bool VisitUntil(const Node* node, Visit& visit) {
    if (node == nullptr)
      return false;
    return VisitUntil(node->left_.get(), visit) || visit(node->value) ||
           VisitUntil(node->right_.get(), visit);
  }

  Link root_;
  std::minstd_rand random_;  // fixed seed: the same calls build the same tree
};

}  // namespace tkw::command_bars
