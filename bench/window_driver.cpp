#include "bench/window_driver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTreeView>
#include <QWidget>
#include <cstdio>

namespace testmovie {

namespace {

int& OffscreenUnlessAsked(int& argc) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    return argc;
}

}  // namespace

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

DrivenWindow::DrivenWindow(int& argc, char** argv)
    : application(OffscreenUnlessAsked(argc), argv, prompter),
      form(prompter),
      tv(*form.findChild<QTreeView*>(QStringLiteral("tv"))),
      watcher(*tv.viewport()) {
    form.show();
    watcher.UntilPainted();
}

}  // namespace testmovie
