#include "window_driver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QWidget>
#include <cstdio>

namespace testmovie {

void AnsweringPrompter::RunMessageBox(QMessageBox&) {
    std::fprintf(stderr, "unexpected message box\n");
}

PaintWatcher::PaintWatcher(QWidget& watched) {
    watched.installEventFilter(this);
}

bool PaintWatcher::eventFilter(QObject*, QEvent* event) {
    if (event->type() == QEvent::Paint) {
        painted_ = true;
    }
    return false;
}

double PaintWatcher::UntilPainted() {
    QElapsedTimer timer;
    timer.start();
    painted_ = false;
    while (!painted_ && timer.elapsed() < 60000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

}  // namespace testmovie
