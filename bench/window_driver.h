// Driving the real main window without a person, for the window benchmarks: dialogs that answer
// with a prepared path, and waiting until the tree has been painted.
#pragma once

#include <QObject>
#include <QString>
#include <optional>

#include "Unit1/Prompter.h"
#include "Unit1/Unit1.h"
#include "Unit1/VelpinApplication.h"

class QTreeView;
class QWidget;

namespace testmovie {

// Every file dialog answers `path` (none: cancelled); a message box is not expected.
class AnsweringPrompter : public Prompter {
  public:
    std::optional<QString> path;
    std::optional<QString> RunFileDialog(QFileDialog&) override { return path; }
    void RunMessageBox(QMessageBox&) override;
};

// Notes when the widget it watches is painted.
class PaintWatcher : public QObject {
  public:
    explicit PaintWatcher(QWidget& watched);
    bool eventFilter(QObject*, QEvent* event) override;

    // Runs the event loop until the next paint, or a minute at most; returns the milliseconds
    // it took.
    double UntilPainted();

  private:
    bool painted_ = false;
};

// The real main window on the offscreen platform (unless another is asked for), shown and
// painted once, its dialogs answered by `prompter`.
struct DrivenWindow {
    DrivenWindow(int& argc, char** argv);

    AnsweringPrompter prompter;
    VelpinApplication application;
    TForm1 form;
    QTreeView& tv;
    PaintWatcher watcher;
};

}  // namespace testmovie
