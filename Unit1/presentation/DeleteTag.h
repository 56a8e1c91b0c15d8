// What acts on a shown movie after it is opened: Delete Tag, and the tracking of the selected node
// it deletes.
#pragma once

#include "Unit1/presentation/NodeStore.h"
#include "Unit1/presentation/NodeView.h"
#include "swfff/document.h"

// Delete Tag on `selectedNode`: unlinks and releases its tag item and deletes the node with its
// descendants, the selection moved first. Does nothing unless a movie is loaded and the node is
// the node of a top-level tag: a tag inside a sprite is saved with its sprite, so deleting it
// alone would show a deletion that no save carries out.
void DeleteSelectedTag(CInputScript& movie, NodeStore& tv, NodeView& view, TreeNode selectedNode);

// Selection tracking: the node the view reports becomes the selected node when the view says it
// is selected; a report without a node clears it.
void TrackSelection(const NodeView& view, TreeNode reported, TreeNode& selectedNode);
