// The movie presentation, written once over the node store: what the window's tree and the
// headless companion show for a movie, and the Delete Tag and selection tracking that act on it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

#include "Unit1/presentation/NodeStore.h"
#include "Unit1/presentation/NodeView.h"
#include "swfff/document.h"

// What the presentation needs of the window around the tree: the view of the tree, the cursor and
// the message box.
class WindowShell {
  public:
    virtual ~WindowShell() = default;
    virtual NodeView& View() = 0;
    virtual void SetBusyCursor() = 0;
    virtual void SetDefaultCursor() = 0;
    // A modal box owned by the main window with one OK button and no icon.
    virtual void ShowMessage(const std::string& text, const std::string& caption) = 0;
};

// The surroundings of a tree that nobody looks at: no cursor, and the one message the
// presentation can show is left to the caller, which knows the load result as well. It keeps the
// view's state, for velpin-cli and the tests.
class HeadlessShell : public WindowShell, public NodeView {
  public:
    using SelectionListener = std::function<void(TreeNode)>;

    HeadlessShell() = default;
    explicit HeadlessShell(SelectionListener onSelectionChange);

    NodeView& View() override { return *this; }
    void SetBusyCursor() override {}
    void SetDefaultCursor() override {}
    void ShowMessage(const std::string&, const std::string&) override {}

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

// Slot 0 holds the Header node, slot k + 1 the node of frame k; grown to hold every frame, and
// emptied with the tree, so it never holds a node that is gone.
using FrameNodeTable = std::vector<TreeNode>;

// Loads `path` into `movie` and builds its whole tree in `tv`. A raised load error passes
// through, with the cursor and the redrawing restored on the way out.
void OpenMovieInto(CInputScript& movie, FrameNodeTable& frameNodes, NodeStore& tv,
                   WindowShell& shell, const std::string& path);

// OpenMovieInto, also returning the load result, for callers that name the failure (the window
// never does).
std::int32_t OpenMovieWithResult(CInputScript& movie, FrameNodeTable& frameNodes, NodeStore& tv,
                                 WindowShell& shell, const std::string& path);

// OpenMovieWithResult with the load left to `load`, which fills the document and returns its
// load result: for velpin-cli, whose movies may come from a compressed file inflated in memory.
std::int32_t OpenMovieWithLoad(CInputScript& movie, FrameNodeTable& frameNodes, NodeStore& tv,
                               WindowShell& shell,
                               const std::function<std::int32_t(CInputScript&)>& load);

// Delete Tag on `selectedNode`: unlinks and releases its tag item and deletes the node with its
// descendants, the selection moved first. Does nothing unless a movie is loaded and the node is
// the node of a top-level tag: a tag inside a sprite is saved with its sprite, so deleting it
// alone would show a deletion that no save carries out.
void DeleteSelectedTag(CInputScript& movie, NodeStore& tv, NodeView& view, TreeNode selectedNode);

// Selection tracking: the node the view reports becomes the selected node when the view says it
// is selected; a report without a node clears it.
void TrackSelection(const NodeView& view, TreeNode reported, TreeNode& selectedNode);
