#include "Unit1/presentation/DeleteTag.h"

void DeleteSelectedTag(CInputScript& movie, NodeStore& tv, NodeView& view, TreeNode selectedNode) {
    if (!movie.Loaded || selectedNode == kNoNode) {
        return;
    }
    TagItem* const item = tv.Data(selectedNode);
    if (item == nullptr || item->Depth != 0) {
        return;
    }
    // The node lets go of its item before the item is released, so nothing ever refers to a
    // released item.
    tv.ClearData(selectedNode);
    RemoveTagItem(movie, item);
    DeleteShown(tv, view, selectedNode);
}

void TrackSelection(const NodeView& view, TreeNode reported, TreeNode& selectedNode) {
    if (reported == kNoNode) {
        selectedNode = kNoNode;
    } else if (view.IsSelected(reported)) {
        selectedNode = reported;
    }
}
