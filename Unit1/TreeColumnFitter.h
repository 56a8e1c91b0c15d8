// Keeps the tree view's one column as wide as its widest row, so that no node text is ever
// elided and the view scrolls sideways to the end of the longest text, as a native tree view
// does. The store knows its longest text, so the rows are never measured one by one.
#pragma once

#include <QObject>

class QTreeView;
class TreeModel;

class TreeColumnFitter : public QObject {
    Q_OBJECT

  public:
    // Works on `view` showing `model`; lives as long as the view.
    TreeColumnFitter(QTreeView& view, TreeModel& model);

    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Fit();

    QTreeView& view_;
    TreeModel& model_;
    QObject* viewport_;
};
