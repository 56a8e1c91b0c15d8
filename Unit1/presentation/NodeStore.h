// The tree the presentation builds, held once for the window and for velpin-cli: the window's Qt
// model is a view over it, and velpin-cli prints it. A movie of two million tags becomes two
// million nodes, so a node is a few indices, equal texts are stored once, and a frame node's
// statistics are kept as numbers until its text is read.
//
// The contract:
// - A node is a handle that stays valid until its node is deleted or the tree is cleared; handles
//   are never reused before Clear. A node that is gone is inert: reading it gives nothing (empty
//   text, no data, image -1, no parent, no children), changing it does nothing, and adding under
//   it adds nothing and returns kNoNode.
// - Image indices are 16-bit signed numbers; an index outside that range raises
//   std::out_of_range, since only a mistake in the program can make one. A new node's images
//   are 0.
// - Texts are kept as TextStore keeps them.
// - The store holds up to 2^31 - 1 nodes; one more raises std::length_error.
// - The store calls nobody: whoever changes it tells the views, before and after (NodeView). What
//   a view shows besides the tree (selection, expanded nodes, suspended redrawing) is the view's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "Unit1/presentation/TextStore.h"

struct FrameStatistics;

struct TagItem;

using TreeNode = std::uint32_t;
constexpr TreeNode kNoNode = 0xFFFFFFFFu;

class NodeStore {
  public:
    NodeStore() = default;
    NodeStore(const NodeStore&) = delete;
    NodeStore& operator=(const NodeStore&) = delete;

    // The tree operations the presentation drives.
    void Clear();
    TextId StoreText(std::string_view text);
    TreeNode AddTopLevel(std::string_view text, TagItem* data);
    TreeNode AddChildLast(TreeNode parent, std::string_view text, TagItem* data);
    TreeNode AddChildLast(TreeNode parent, TextId text, TagItem* data);
    void SetImages(TreeNode node, int imageIndex, int selectedImageIndex);
    std::string Text(TreeNode node) const;
    void SetText(TreeNode node, std::string_view text);
    void AppendText(TreeNode node, std::string_view tail);
    void AppendFrameStatistics(TreeNode node, const FrameStatistics& statistics);
    TreeNode FirstTopLevel() const;
    TagItem* Data(TreeNode node) const;
    void ClearData(TreeNode node);
    void DeleteWithDescendants(TreeNode node);

    // Reading the tree back, for views and printing.
    bool IsLive(TreeNode node) const;
    // Appends the node's whole text to `out`, without a string of its own.
    void AppendTextTo(std::string& out, TreeNode node) const;
    std::size_t TextLength(TreeNode node) const;
    // The live node with the longest text (the first of equals), for a view that sizes itself to
    // it without measuring every node; kNoNode in an empty tree.
    TreeNode LongestTextNode() const;
    int Image(TreeNode node) const;
    int SelectedImage(TreeNode node) const;
    TreeNode Parent(TreeNode node) const;
    // The node's position among its siblings.
    std::size_t Row(TreeNode node) const;
    std::size_t ChildCount(TreeNode parent) const;
    // The child at `row` of `parent` (kNoNode: the top level), or kNoNode.
    TreeNode Child(TreeNode parent, std::size_t row) const;
    TreeNode FirstChild(TreeNode node) const;
    TreeNode NextSibling(TreeNode node) const;
    // Whether `node` is `ancestor` or lies below it.
    bool IsWithin(TreeNode node, TreeNode ancestor) const;
    std::size_t LiveNodeCount() const { return liveNodes_; }
    // Visits every live node in pre-order, children in insertion order, with its depth (top-level
    // nodes at 0). Iterative, so any depth of nesting is safe.
    void VisitPreOrder(const std::function<void(TreeNode node, int depth)>& visit) const;

  private:
    // 24 bytes: the store's size is dominated by this record.
    struct Node {
        TagItem* data;
        TreeNode parent;  // kNoNode at the top level, kGone once deleted
        // The position among its siblings, and kHasChildList once the node has had a child, so
        // that the many leaves are told apart without a look into the lists.
        std::uint32_t row;
        NodeText text;
        std::int16_t image;
        std::int16_t selectedImage;
    };

    static constexpr TreeNode kGone = 0xFFFFFFFEu;
    static constexpr std::uint32_t kHasChildList = 0x80000000u;
    static constexpr std::size_t kMaxNodes = 0x7FFFFFFFu;
    static constexpr unsigned kNodeBlockBits = 16;
    static constexpr std::size_t kNodesPerBlock = std::size_t{1} << kNodeBlockBits;

    static std::uint32_t RowOf(const Node& node) { return node.row & ~kHasChildList; }

    Node& Slot(TreeNode node) {
        return nodeBlocks_[node >> kNodeBlockBits][node & (kNodesPerBlock - 1)];
    }
    const Node& Slot(TreeNode node) const {
        return nodeBlocks_[node >> kNodeBlockBits][node & (kNodesPerBlock - 1)];
    }
    std::vector<TreeNode>* ChildrenOf(TreeNode parent);
    const std::vector<TreeNode>* ChildrenOf(TreeNode parent) const;
    TreeNode Append(TreeNode parent, TextId text, TagItem* data);
    void ConsiderLongest(TreeNode node, std::size_t length);
    void ReleaseSubtree(TreeNode node);
    void Release(TreeNode node);

    std::vector<std::unique_ptr<Node[]>> nodeBlocks_;
    std::size_t nodeCount_ = 0;
    std::size_t liveNodes_ = 0;
    std::vector<TreeNode> topLevel_;
    // Most nodes are tags without children, so only parents have a list.
    std::unordered_map<TreeNode, std::vector<TreeNode>> children_;
    // The parent added to last, whose list the next add most likely extends.
    TreeNode lastParent_ = kNoNode;
    std::vector<TreeNode>* lastParentChildren_ = nullptr;

    TextStore texts_;

    // The longest text seen; recomputed when its node goes.
    mutable TreeNode longest_ = kNoNode;
    mutable std::size_t longestLength_ = 0;
    mutable bool longestKnown_ = true;
};
