// The tree view tv: Qt's tree view with two habits of the native tree control it stands in for.
// Collapsing a node that hides the selection moves the selection to that node, so that no command
// acts on a node the person cannot see; and "*" opens the whole subtree of the current node in
// time linear in the nodes it opens.
#pragma once

#include <QTreeView>

class TreeView : public QTreeView {
    Q_OBJECT

  public:
    explicit TreeView(QWidget* parent = nullptr);

    // Expands `top` and every node below it that has children.
    void ExpandSubtree(const QModelIndex& top);

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void KeepSelectionInSight(const QModelIndex& collapsed);
};
