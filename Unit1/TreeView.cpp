#include "Unit1/TreeView.h"

#include <QKeyEvent>
#include <algorithm>
#include <vector>

namespace {

bool LiesBelow(const QModelIndex& index, const QModelIndex& ancestor) {
    for (QModelIndex above = index.parent(); above.isValid(); above = above.parent()) {
        if (above == ancestor) {
            return true;
        }
    }
    return false;
}

}  // namespace

TreeView::TreeView(QWidget* parent) : QTreeView(parent) {
    connect(this, &QTreeView::collapsed, this, &TreeView::KeepSelectionInSight);
}

void TreeView::KeepSelectionInSight(const QModelIndex& collapsed) {
    QItemSelectionModel* selection = selectionModel();
    const QModelIndexList selected = selection->selectedIndexes();
    if (std::any_of(selected.begin(), selected.end(),
                    [&](const QModelIndex& index) { return LiesBelow(index, collapsed); })) {
        // A change of selection like a click's, so the window hears of it like one.
        selection->setCurrentIndex(collapsed,
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
}

void TreeView::ExpandSubtree(const QModelIndex& top) {
    const QAbstractItemModel* tree = model();
    if (tree == nullptr || !top.isValid() || !tree->hasChildren(top)) {
        return;
    }
    // QTreeView::expandRecursively records every node, leaves included, as a persistent index,
    // and its time and memory grow faster than the nodes it opens. Here only nodes with children
    // are expanded, and while a layout is pending expand() merely records the node, so the rows
    // are laid out once, when that layout runs.
    scheduleDelayedItemsLayout();
    std::vector<QModelIndex> parents{top};
    while (!parents.empty()) {
        const QModelIndex parent = parents.back();
        parents.pop_back();
        expand(parent);
        const int rows = tree->rowCount(parent);
        for (int row = 0; row < rows; ++row) {
            const QModelIndex child = tree->index(row, 0, parent);
            if (tree->hasChildren(child)) {
                parents.push_back(child);
            }
        }
    }
}

void TreeView::keyPressEvent(QKeyEvent* event) {
    const QModelIndex current = currentIndex();
    if (event->key() == Qt::Key_Asterisk && current.isValid() && itemsExpandable()) {
        ExpandSubtree(current);
        // Not passed on: the base class would expand again its own way, then start a keyboard
        // search for "*" through every row just opened.
        event->accept();
        return;
    }
    QTreeView::keyPressEvent(event);
}
