// The tree operations the movie presentation drives. The window's tree view and the headless
// in-memory tree both implement them, so the presentation is written once.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct TagItem;

// A node, as handed out by the tree that made it; valid until the node is deleted or cleared.
using TreeNode = std::uint32_t;
constexpr TreeNode kNoNode = 0xFFFFFFFFu;

class TreeOps {
  public:
    virtual ~TreeOps() = default;

    // Redrawing is suspended from the first BeginUpdate until the matching last EndUpdate.
    virtual void BeginUpdate() = 0;
    virtual void EndUpdate() = 0;
    // When a node was selected, reports a change of selection to kNoNode.
    virtual void Clear() = 0;
    virtual TreeNode AddTopLevel(std::string_view text, TagItem* data) = 0;
    virtual TreeNode AddChildLast(TreeNode parent, std::string_view text, TagItem* data) = 0;
    virtual void SetImages(TreeNode node, int imageIndex, int selectedImageIndex) = 0;
    virtual std::string Text(TreeNode node) const = 0;
    virtual void SetText(TreeNode node, std::string_view text) = 0;
    virtual TreeNode FirstTopLevel() const = 0;
    // Reports the change of selection synchronously, before returning.
    virtual void Select(TreeNode node) = 0;
    virtual void ExpandOneLevel(TreeNode node) = 0;

    virtual TagItem* Data(TreeNode node) const = 0;
    virtual void ClearData(TreeNode node) = 0;
    virtual bool IsSelected(TreeNode node) const = 0;
    // Deletes the node with all its descendants; when it held the selection, the tree selects
    // another node and reports that synchronously.
    virtual void DeleteWithDescendants(TreeNode node) = 0;
};

// What the presentation needs of the window around the tree.
class WindowShell {
  public:
    virtual ~WindowShell() = default;
    virtual void SetBusyCursor() = 0;
    virtual void SetDefaultCursor() = 0;
    // A modal box owned by the main window with one OK button and no icon.
    virtual void ShowMessage(const std::string& text, const std::string& caption) = 0;
};
