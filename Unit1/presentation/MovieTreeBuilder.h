// The movie presentation, written once over TreeOps: what the window's tree and the headless
// companion show for a movie, and the Delete Tag and selection tracking that act on it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "TreeOps.h"
#include "document.h"

// Slot 0 holds the Header node, slot k + 1 the node of frame k; grown to hold every frame, and
// emptied with the tree, so it never holds a node that is gone.
using FrameNodeTable = std::vector<TreeNode>;

// Loads `path` into `movie` and builds its whole tree in `tv`. A raised load error passes
// through, with the cursor and the redrawing restored on the way out.
void OpenMovieInto(CInputScript& movie, FrameNodeTable& frameNodes, TreeOps& tv, WindowShell& shell,
                   const std::string& path);

// OpenMovieInto, also returning the load result, for callers that name the failure (the window
// never does).
std::int32_t OpenMovieWithResult(CInputScript& movie, FrameNodeTable& frameNodes, TreeOps& tv,
                                 WindowShell& shell, const std::string& path);

// Delete Tag on `selectedNode`: unlinks and releases its tag item and deletes the node with its
// descendants. Does nothing unless a movie is loaded and the node is a tag node.
void DeleteSelectedTag(CInputScript& movie, TreeOps& tv, TreeNode selectedNode);

// Selection tracking: the node the tree reports becomes the selected node when the tree says it
// is selected; a report without a node clears it.
void TrackSelection(const TreeOps& tv, TreeNode reported, TreeNode& selectedNode);
