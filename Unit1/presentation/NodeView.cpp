#include "Unit1/presentation/NodeView.h"

TreeNode SelectionAfterDeleting(const NodeStore& tree, TreeNode selected, TreeNode deleted) {
    if (!tree.IsWithin(selected, deleted)) {
        return selected;
    }
    const TreeNode parent = tree.Parent(deleted);
    const std::size_t row = tree.Row(deleted);
    if (const TreeNode next = tree.Child(parent, row + 1); next != kNoNode) {
        return next;
    }
    if (row > 0) {
        return tree.Child(parent, row - 1);
    }
    return parent;
}

void DeleteShown(NodeStore& tree, NodeView& view, TreeNode node) {
    if (!tree.IsLive(node)) {
        return;
    }
    view.Select(SelectionAfterDeleting(tree, view.Selected(), node));
    // The report ran the selection tracking, which may not change the tree; had anything taken
    // the node away meanwhile, there would be nothing left to delete.
    if (!tree.IsLive(node)) {
        return;
    }
    view.WillRemove(node);
    tree.DeleteWithDescendants(node);
    view.DidRemove();
}

void ClearShown(NodeStore& tree, NodeView& view) {
    view.Select(kNoNode);
    view.WillReset();
    tree.Clear();
    view.DidReset();
}
