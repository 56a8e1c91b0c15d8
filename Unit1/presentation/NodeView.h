// A view of the node store: what it shows of the tree, and the state that is its own, the
// selection, the expanded nodes and suspended redrawing. The store calls nobody; whoever changes
// it tells the view first and after, so that the view never meets a node that is gone, and the
// calls run one way: from the presentation to the store and to the view, and from the view back
// only as the report of a change of selection.
#pragma once

#include "Unit1/presentation/NodeStore.h"

class NodeView {
  public:
    virtual ~NodeView() = default;

    // Redrawing is suspended from the first BeginUpdate to the matching last EndUpdate; an
    // EndUpdate without a BeginUpdate is ignored.
    virtual void BeginUpdate() = 0;
    virtual void EndUpdate() = 0;
    // Around a change of the whole store (cleared, filled); nothing is selected meanwhile.
    virtual void WillReset() = 0;
    virtual void DidReset() = 0;
    // Around the deletion of `node` with its descendants, which hold no selection.
    virtual void WillRemove(TreeNode node) = 0;
    virtual void DidRemove() = 0;
    // Makes `node`, a live node or kNoNode for none, the selection; a change is reported
    // synchronously, from inside this call, to whoever tracks the selection.
    virtual void Select(TreeNode node) = 0;
    virtual TreeNode Selected() const = 0;
    bool IsSelected(TreeNode node) const { return node != kNoNode && node == Selected(); }
    virtual void ExpandOneLevel(TreeNode node) = 0;
};

// Where the selection goes when the subtree of `deleted` goes: unchanged when it lies outside;
// else to the deleted node's next sibling, else its previous sibling, else its parent, else
// nowhere.
TreeNode SelectionAfterDeleting(const NodeStore& tree, TreeNode selected, TreeNode deleted);

// Deletes `node` with its descendants, shown in `view`: the selection moves first, as
// SelectionAfterDeleting says, and is reported; then the subtree goes.
void DeleteShown(NodeStore& tree, NodeView& view, TreeNode node);

// Empties the tree shown in `view`, reporting the end of any selection first.
void ClearShown(NodeStore& tree, NodeView& view);
