// The tree view's model: a thin Qt view of the node store that the presentation builds. It owns
// the store, passes every change on to the views as Qt's item model signals, and keeps the
// view's selection and the store's selection the same in both directions.
#pragma once

#include <QAbstractItemModel>
#include <QIcon>
#include <QItemSelectionModel>
#include <QPixmap>
#include <map>
#include <utility>
#include <vector>

#include "Unit1/presentation/NodeStore.h"

class TreeModel : public QAbstractItemModel, private NodeStoreObserver {
    Q_OBJECT

  public:
    explicit TreeModel(QObject* parent = nullptr);
    ~TreeModel() override;

    // The store the presentation drives; this model shows it.
    NodeStore& Store() { return store_; }
    const NodeStore& Store() const { return store_; }

    // The pictures that image indices refer to, given before the first node is shown; an index
    // outside the list shows no picture.
    void SetImageList(std::vector<QPixmap> images);
    // The selection that the store's selection is mirrored in; a view showing this model must
    // use it.
    QItemSelectionModel* Selection() { return &selection_; }
    QModelIndex IndexOf(TreeNode node) const;
    TreeNode NodeOf(const QModelIndex& index) const;
    // The row showing the longest text, for a view that sizes itself to it without measuring
    // every row; invalid in an empty tree.
    QModelIndex LongestTextIndex() const;

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
    // While redrawing is suspended the nodes added reach views as one reset when the outermost
    // EndUpdate comes, or earlier when an operation needs views to see them (selecting,
    // expanding, deleting). A view collapses its nodes on such a reset, which costs nothing on
    // the way the presentation uses it: it clears the tree before every build.
    void WillAdd(TreeNode parent, std::size_t row) override;
    void DidAdd() override;
    void WillRemove(TreeNode node) override;
    void DidRemove() override;
    void WillClear() override;
    void DidClear() override;
    void TextChanged(TreeNode node) override;
    void ImagesChanged(TreeNode node) override;
    void SelectionReported(TreeNode node) override;
    void ExpansionRequested(TreeNode node) override;
    void UpdateEnded() override;

    // Announces the nodes added while suspended, and puts the selection back.
    void Flush();
    // Shows the store's selection in the selection model, without reporting it back.
    void MirrorSelection();
    // The user changed the selection in a view: the store follows and reports it.
    void FollowViewSelection();
    void EmitNodeChanged(TreeNode node, const QList<int>& roles);
    QIcon IconFor(int image, int selectedImage) const;

    NodeStore store_;
    bool resetOpen_ = false;
    bool inserting_ = false;
    bool mirroring_ = false;
    QItemSelectionModel selection_;
    std::vector<QPixmap> images_;
    mutable std::map<std::pair<int, int>, QIcon> icons_;
};
