// A view of a tree that nobody looks at: it keeps the view's state (the selection and the depth of
// suspended redrawing) for the tests, the benchmarks and the fuzzers.
#pragma once

#include <functional>

#include "Unit1/presentation/NodeView.h"

class HeadlessShell : public NodeView {
  public:
    using SelectionListener = std::function<void(TreeNode)>;

    HeadlessShell() = default;
    explicit HeadlessShell(SelectionListener onSelectionChange);

    void BeginUpdate() override { ++updateDepth_; }
    void EndUpdate() override;
    void WillReset() override {}
    void DidReset() override {}
    void WillRemove(TreeNode) override {}
    void DidRemove() override {}
    void Select(TreeNode node) override;
    TreeNode Selected() const override { return selected_; }
    void ExpandOneLevel(TreeNode) override {}

    int UpdateDepth() const { return updateDepth_; }

  private:
    SelectionListener onSelectionChange_;
    TreeNode selected_ = kNoNode;
    int updateDepth_ = 0;
};
