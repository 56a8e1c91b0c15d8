#include "TreeColumnFitter.h"

#include <QEvent>
#include <QHeaderView>
#include <QTreeView>
#include <algorithm>

#include "TreeModel.h"

TreeColumnFitter::TreeColumnFitter(QTreeView& view, TreeModel& model)
    : QObject(&view), view_(view), model_(model) {
    view_.setTextElideMode(Qt::ElideNone);
    // The column is sized here; a stretched last section would be held to the viewport's width.
    view_.header()->setStretchLastSection(false);
    view_.header()->setSectionResizeMode(QHeaderView::Fixed);
    view_.viewport()->installEventFilter(this);
    connect(&model_, &QAbstractItemModel::modelReset, this, &TreeColumnFitter::Fit);
    connect(&model_, &QAbstractItemModel::rowsInserted, this, &TreeColumnFitter::Fit);
    connect(&model_, &QAbstractItemModel::rowsRemoved, this, &TreeColumnFitter::Fit);
    connect(&model_, &QAbstractItemModel::dataChanged, this, &TreeColumnFitter::Fit);
    Fit();
}

bool TreeColumnFitter::eventFilter(QObject* watched, QEvent* event) {
    if (watched == view_.viewport() && event->type() == QEvent::Resize) {
        Fit();
    }
    return QObject::eventFilter(watched, event);
}

void TreeColumnFitter::Fit() {
    // At least the viewport's width, so that a selected row is highlighted across the view.
    int width = view_.viewport()->width();
    const QModelIndex longest = model_.LongestTextIndex();
    if (longest.isValid()) {
        int level = view_.rootIsDecorated() ? 1 : 0;
        for (QModelIndex at = longest.parent(); at.isValid(); at = at.parent()) {
            ++level;
        }
        width =
            std::max(width, level * view_.indentation() + view_.sizeHintForIndex(longest).width());
    }
    if (view_.header()->sectionSize(0) != width) {
        view_.header()->resizeSection(0, width);
    }
}
