#include "Unit1/VelpinApplication.h"

#include <QProxyStyle>
#include <QStyleOptionMenuItem>
#include <QWidget>

#include "Unit1/ErrorBox.h"

namespace {

// Alt alone puts the keyboard on the menu bar, as on the desktop the window is modelled on. The
// styles Qt draws with here leave that to a platform that does not do it, and mark a menu title
// only while its menu is open, so the title the keyboard is on is marked as an open one is.
class MenuKeyboardStyle : public QProxyStyle {
  public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_MenuBar_AltKeyNavigation) {
            return 1;
        }
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
        const auto* title = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
        if (element == CE_MenuBarItem && title != nullptr && (title->state & State_Selected) &&
            widget != nullptr && widget->hasFocus()) {
            QStyleOptionMenuItem marked = *title;
            marked.state |= State_Sunken;
            QProxyStyle::drawControl(element, &marked, painter, widget);
            return;
        }
        QProxyStyle::drawControl(element, option, painter, widget);
    }
};

}  // namespace

VelpinApplication::VelpinApplication(int& argc, char** argv, Prompter& prompter)
    : QApplication(argc, argv), prompter_(prompter) {
    setApplicationName(QString::fromLatin1(kApplicationTitle));
    setStyle(new MenuKeyboardStyle);
}

bool VelpinApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ShowErrorBoxForCurrentException(prompter_, activeWindow());
        return false;
    }
}
