// The tree view tv: Qt's tree view with a habit of the native tree control it stands in for.
// Collapsing a node that hides the selection moves the selection to that node, so that no command
// acts on a node the person cannot see.
#pragma once

#include <QTreeView>

class TreeView : public QTreeView {
    Q_OBJECT

  public:
    explicit TreeView(QWidget* parent = nullptr);

  private:
    void KeepSelectionInSight(const QModelIndex& collapsed);
};
