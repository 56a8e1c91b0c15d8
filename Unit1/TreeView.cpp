#include "TreeView.h"

#include <algorithm>

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
