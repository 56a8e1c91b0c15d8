// A view of a tree that nobody looks at: it keeps the view's state (the selection, the expanded
// nodes, the depth of suspended redrawing) for the tests, the benchmarks and the fuzzers.
#pragma once

#include <functional>
#include <unordered_set>

#include "Unit1/presentation/NodeView.h"

class HeadlessShell : public NodeView {
  public:
    using SelectionListener = std::function<void(TreeNode)>;

    HeadlessShell() = default;
    explicit HeadlessShell(SelectionListener onSelectionChange);

    void BeginUpdate() override { ++updateDepth_; }
    void EndUpdate() override;
    void WillReset() override;
    void DidReset() override {}
    void WillRemove(TreeNode) override {}
    void DidRemove() override {}
    void Select(TreeNode node) override;
    TreeNode Selected() const override { return selected_; }
    void ExpandOneLevel(TreeNode node) override { expanded_.insert(node); }

    int UpdateDepth() const { return updateDepth_; }
    // Whether `node`, a live node, was expanded since the last reset.
    bool IsExpanded(TreeNode node) const { return expanded_.count(node) != 0; }

  private:
    SelectionListener onSelectionChange_;
    TreeNode selected_ = kNoNode;
    std::unordered_set<TreeNode> expanded_;
    int updateDepth_ = 0;
};
