// The tree view's model: the tree operations over a compact node store, shown through Qt's item
// model. A movie of two million tags becomes two million nodes, so a node is a few indices and its
// text a slice of shared character chunks; item widgets or standard items would cost five times
// the time and memory.
#pragma once

#include <QAbstractItemModel>
#include <QIcon>
#include <QItemSelectionModel>
#include <QPixmap>
#include <cstdint>
#include <map>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "TreeOps.h"

class TreeModel : public QAbstractItemModel, public TreeOps {
    Q_OBJECT

  public:
    explicit TreeModel(QObject* parent = nullptr);
    ~TreeModel() override;

    // The pictures that image indices refer to, given before the first node is shown; an index
    // outside the list shows no picture.
    void SetImageList(std::vector<QPixmap> images);
    // The selection that Select, IsSelected and the selection reports are about; a view showing
    // this model must use it.
    QItemSelectionModel* Selection() { return &selection_; }
    QModelIndex IndexOf(TreeNode node) const;
    TreeNode NodeOf(const QModelIndex& index) const;
    int Image(TreeNode node) const;
    int SelectedImage(TreeNode node) const;

    // While redrawing is suspended the nodes added are announced to views as one reset when the
    // outermost EndUpdate comes, or earlier when an operation needs views to see them (selecting,
    // expanding, deleting). A view collapses its nodes on such a reset, which costs nothing on
    // the way the presentation uses it: it clears the tree before every build.
    void BeginUpdate() override;
    void EndUpdate() override;
    void Clear() override;
    TreeNode AddTopLevel(std::string_view text, TagItem* data) override;
    TreeNode AddChildLast(TreeNode parent, std::string_view text, TagItem* data) override;
    void SetImages(TreeNode node, int imageIndex, int selectedImageIndex) override;
    std::string Text(TreeNode node) const override;
    void SetText(TreeNode node, std::string_view text) override;
    TreeNode FirstTopLevel() const override;
    void Select(TreeNode node) override;
    void ExpandOneLevel(TreeNode node) override;
    TagItem* Data(TreeNode node) const override;
    void ClearData(TreeNode node) override;
    bool IsSelected(TreeNode node) const override;
    // When the selection lies in the deleted subtree it first moves to the node's next sibling,
    // else its previous sibling, else its parent, else nowhere.
    void DeleteWithDescendants(TreeNode node) override;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

  signals:
    // Every change of selection, with the node now selected or kNoNode; emitted synchronously
    // from inside the operation that caused it.
    void SelectionChanged(TreeNode node);
    // A view should expand `index` by one level.
    void ExpandRequested(const QModelIndex& index);

  private:
    static constexpr std::uint32_t kNoList = 0xFFFFFFFFu;

    struct Node {
        TagItem* data;
        TreeNode parent;         // kNoNode at the top level
        std::uint32_t row;       // position among its siblings
        std::uint32_t children;  // slot in childLists_, or kNoList while it has had none
        std::uint32_t textOffset;
        std::uint16_t textLength;
        std::int8_t image;
        std::int8_t selectedImage;
        bool live;
    };

    bool IsLive(TreeNode node) const;
    Node& At(TreeNode node);
    const Node& At(TreeNode node) const;
    TreeNode Append(TreeNode parent, std::string_view text, TagItem* data);
    std::uint32_t StoreText(std::string_view text);
    std::vector<TreeNode>& ChildrenOf(TreeNode parent);
    const std::vector<TreeNode>* ChildrenIfAny(TreeNode parent) const;
    QModelIndex ParentIndexOf(TreeNode node) const;
    void EmitNodeChanged(TreeNode node, const QList<int>& roles);
    // Announces the nodes added while suspended, keeping the selection.
    void Flush();
    void DropStore();
    void ReportSelection();
    TreeNode SelectedNodeNow() const;
    QIcon IconFor(int image, int selectedImage) const;

    // Nodes live in fixed chunks, so growing never moves them and never holds two copies.
    static constexpr std::uint32_t kNodeChunkBits = 16;
    static constexpr std::uint32_t kNodesPerChunk = 1u << kNodeChunkBits;
    static constexpr std::size_t kTextChunkBytes = std::size_t{1} << 20;
    std::vector<std::unique_ptr<Node[]>> nodeChunks_;
    std::uint32_t nodeCount_ = 0;
    std::vector<std::unique_ptr<char[]>> textChunks_;
    std::size_t textUsedInLastChunk_ = kTextChunkBytes;
    // Most texts repeat (a blank and a tag's name), so equal texts share their bytes. The table of
    // texts stored is emptied whenever it grows large, which bounds it whatever the tree holds.
    std::unordered_map<std::string_view, std::uint32_t> recentTexts_;
    std::vector<std::vector<TreeNode>> childLists_;
    std::vector<TreeNode> topLevel_;

    int updateDepth_ = 0;
    bool resetOpen_ = false;
    TreeNode selectedBeforeReset_ = kNoNode;
    QItemSelectionModel selection_;
    std::vector<QPixmap> images_;
    mutable std::map<std::pair<int, int>, QIcon> icons_;
};
