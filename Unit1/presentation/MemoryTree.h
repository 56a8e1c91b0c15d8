// The headless tree: TreeOps over a compact node store, for velpin-cli and the tests. A movie of
// two million tags becomes two million nodes, so a node is a few indices and its text a slice of
// one shared character store.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "TreeOps.h"

class MemoryTree : public TreeOps {
  public:
    // Receives every change of selection, synchronously, as the window's tvChange would.
    using SelectionListener = std::function<void(TreeNode)>;

    MemoryTree() = default;
    explicit MemoryTree(SelectionListener onSelectionChange);

    void SetSelectionListener(SelectionListener onSelectionChange);

    void BeginUpdate() override;
    void EndUpdate() override;
    void Clear() override;
    TreeNode AddTopLevel(std::string_view text, TagItem* data) override;
    TreeNode AddChildLast(TreeNode parent, std::string_view text, TagItem* data) override;
    // Image indices are kept in 16 bits; one beyond raises std::out_of_range.
    void SetImages(TreeNode node, int imageIndex, int selectedImageIndex) override;
    std::string Text(TreeNode node) const override;
    void SetText(TreeNode node, std::string_view text) override;
    TreeNode FirstTopLevel() const override;
    void Select(TreeNode node) override;
    void ExpandOneLevel(TreeNode node) override;
    TagItem* Data(TreeNode node) const override;
    void ClearData(TreeNode node) override;
    bool IsSelected(TreeNode node) const override;
    // When the selection lay in the deleted subtree it moves to the node's next sibling, else its
    // previous sibling, else its parent, else nowhere.
    void DeleteWithDescendants(TreeNode node) override;

    // Reading the tree back, for printing and tests. A node that is not live raises
    // std::out_of_range here as everywhere else.
    std::string_view TextView(TreeNode node) const;
    int Image(TreeNode node) const;
    int SelectedImage(TreeNode node) const;
    bool IsExpanded(TreeNode node) const;
    TreeNode Parent(TreeNode node) const;
    TreeNode FirstChild(TreeNode node) const;
    TreeNode NextSibling(TreeNode node) const;
    TreeNode Selected() const { return selected_; }
    int UpdateDepth() const { return updateDepth_; }
    std::size_t LiveNodeCount() const { return liveNodes_; }

    // Visits every live node in pre-order, children in insertion order, with its depth (top-level
    // nodes at 0). Iterative, so any depth of nesting is safe.
    void VisitPreOrder(const std::function<void(TreeNode node, int depth)>& visit) const;

  private:
    struct Node {
        TagItem* data;
        const char* text;  // inside one of textChunks_, which never move
        std::uint32_t textLength;
        TreeNode parent;
        TreeNode firstChild;
        TreeNode lastChild;
        TreeNode prevSibling;
        TreeNode nextSibling;
        std::int16_t image;
        std::int16_t selectedImage;
        bool expanded;
        bool live;
    };

    struct TextChunk {
        std::unique_ptr<char[]> bytes;
        std::size_t capacity;
        std::size_t used;
    };

    // Nodes live in fixed blocks, so growing the tree never copies the nodes already made.
    static constexpr unsigned kNodeBlockBits = 16;
    static constexpr std::size_t kNodesPerBlock = std::size_t{1} << kNodeBlockBits;
    static constexpr std::size_t kTextChunkBytes = std::size_t{1} << 20;

    Node& Slot(TreeNode node) {
        return nodeBlocks_[node >> kNodeBlockBits][node & (kNodesPerBlock - 1)];
    }
    const Node& Slot(TreeNode node) const {
        return nodeBlocks_[node >> kNodeBlockBits][node & (kNodesPerBlock - 1)];
    }
    const Node& At(TreeNode node) const;
    Node& At(TreeNode node);
    TreeNode Append(TreeNode parent, std::string_view text, TagItem* data);
    const char* StoreText(std::string_view text);
    void CompactTexts();
    bool IsWithin(TreeNode node, TreeNode ancestor) const;
    void ChangeSelection(TreeNode node);

    std::vector<std::unique_ptr<Node[]>> nodeBlocks_;
    std::size_t nodeCount_ = 0;
    // Node texts back to back. A replaced text leaves its old bytes behind; once those outweigh
    // the texts in use, the texts in use are copied into fresh chunks. A frame node whose index
    // wraps is extended again and again, so without that the store would grow quadratically.
    std::vector<TextChunk> textChunks_;
    std::size_t abandonedTextBytes_ = 0;
    TreeNode firstTop_ = kNoNode;
    TreeNode lastTop_ = kNoNode;
    TreeNode selected_ = kNoNode;
    std::size_t liveNodes_ = 0;
    int updateDepth_ = 0;
    SelectionListener onSelectionChange_;
};
