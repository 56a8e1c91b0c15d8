#include "Unit1/TreeColumnFitter.h"

#include <QEvent>
#include <QHeaderView>
#include <QTreeView>
#include <algorithm>

#include "Unit1/TreeModel.h"

TreeColumnFitter::TreeColumnFitter(QTreeView& view, TreeModel& model)
    : QObject(&view), view_(view), model_(model), viewport_(view.viewport()) {
    view_.setTextElideMode(Qt::ElideNone);
    // The column is sized here; a stretched last section would be held to the viewport's width.
    view_.header()->setStretchLastSection(false);
    view_.header()->setSectionResizeMode(QHeaderView::Fixed);
    viewport_->installEventFilter(this);
    connect(&model_, &QAbstractItemModel::modelReset, this, &TreeColumnFitter::Fit);
    connect(&model_, &QAbstractItemModel::rowsInserted, this, &TreeColumnFitter::Fit);
    connect(&model_, &QAbstractItemModel::rowsRemoved, this, &TreeColumnFitter::Fit);
    connect(&model_, &QAbstractItemModel::dataChanged, this, &TreeColumnFitter::Fit);
    Fit();
}

bool TreeColumnFitter::eventFilter(QObject* watched, QEvent* event) {
    // The view is not asked for its viewport here: while the view is being destroyed, its
    // viewport still sends events and the view is no longer whole.
    if (event->type() == QEvent::Resize && watched == viewport_) {
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
