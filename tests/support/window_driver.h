// Driving the real main window without a person, for the window benchmarks: dialogs that answer
// with a prepared path, and waiting until the tree has been painted.
#pragma once

#include <QObject>
#include <QString>
#include <optional>

#include "Prompter.h"

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

}  // namespace testmovie
