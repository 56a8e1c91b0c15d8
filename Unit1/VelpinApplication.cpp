#include "VelpinApplication.h"

#include "ErrorBox.h"

VelpinApplication::VelpinApplication(int& argc, char** argv, Prompter& prompter)
    : QApplication(argc, argv), prompter_(prompter) {
    setApplicationName(QString::fromLatin1(kApplicationTitle));
}

bool VelpinApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ShowErrorBoxForCurrentException(prompter_, activeWindow());
        return false;
    }
}
