// The tree view's model: a thin Qt view of the node store that the presentation builds. It owns
// the store, turns the presentation's word of each change into Qt's item model signals, and keeps
// the view's own state: the selection in Qt's selection model, the suspension of redrawing.
#pragma once

#include <QAbstractItemModel>
#include <QIcon>
#include <QItemSelectionModel>
#include <QPixmap>
#include <map>
#include <utility>
#include <vector>

#include "Unit1/presentation/NodeStore.h"
#include "Unit1/presentation/NodeView.h"

class TreeModel : public QAbstractItemModel, public NodeView {
    Q_OBJECT

  public:
    explicit TreeModel(QObject* parent = nullptr);

    // The store the presentation drives; this model shows it.
    NodeStore& Store() { return store_; }
    const NodeStore& Store() const { return store_; }

    // The pictures that image indices refer to, given before the first node is shown; an index
    // outside the list shows no picture.
    void SetImageList(std::vector<QPixmap> images);
    // The selection; a view showing this model must use it.
    QItemSelectionModel* Selection() { return &selection_; }
    QModelIndex IndexOf(TreeNode node) const;
    TreeNode NodeOf(const QModelIndex& index) const;
    // The row showing the longest text, for a view that sizes itself to it without measuring
    // every row; invalid in an empty tree.
    QModelIndex LongestTextIndex() const;

    void BeginUpdate() override;
    void EndUpdate() override;
    void WillReset() override;
    void DidReset() override;
    void WillRemove(TreeNode node) override;
    void DidRemove() override;
    void Select(TreeNode node) override;
    TreeNode Selected() const override;
    void ExpandOneLevel(TreeNode node) override;
    int UpdateDepth() const { return updateDepth_; }

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

  signals:
    // Every change of selection, by the presentation or by a person in a view, with the node now
    // selected or kNoNode; emitted synchronously from inside the change.
    void SelectionChanged(TreeNode node);
    // A view should expand `index` by one level.
    void ExpandRequested(const QModelIndex& index);
    // Views should stop drawing, or draw again.
    void RedrawSuspended(bool suspended);

  private:
    void ReportSelection();
    QIcon IconFor(int image, int selectedImage) const;

    NodeStore store_;
    bool resetOpen_ = false;
    int updateDepth_ = 0;
    QItemSelectionModel selection_;
    std::vector<QPixmap> images_;
    mutable std::map<std::pair<int, int>, QIcon> icons_;
};
