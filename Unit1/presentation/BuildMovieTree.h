// The movie's tree, built from a loaded document: the same nodes for the window and for
// velpin-cli, whichever way the document was loaded.
#pragma once

#include <vector>

#include "Unit1/presentation/NodeStore.h"
#include "swfff/document.h"

// Slot 0 holds the Header node, slot k + 1 the node of frame k; grown to hold every frame, and
// emptied with the tree, so it never holds a node that is gone.
using FrameNodeTable = std::vector<TreeNode>;

// Builds the whole tree of the loaded `movie` into the empty `tv` and gives its root: the file,
// the Header group, one node per frame with its statistics, the tags under their frames and the
// tags inside a sprite under the sprite. `frameNodes` is filled to match.
TreeNode BuildMovieTree(const CInputScript& movie, NodeStore& tv, FrameNodeTable& frameNodes);
