// The application object: its title, the style that lets the keyboard reach the menu bar, and the
// last line of defence that keeps an error escaping anywhere in the event loop from ending the
// program.
#pragma once

#include <QApplication>

class Prompter;

// The application's title: what the task bar and the application's error box show.
inline constexpr char kApplicationTitle[] = "Velpin";

class VelpinApplication : public QApplication {
  public:
    VelpinApplication(int& argc, char** argv, Prompter& prompter);

    // An error that escapes the handling of an event is shown in the application's error box and
    // the event counts as not handled; Qt 6 would otherwise end exec(). The window's handlers
    // catch their own errors, so this only meets what escapes elsewhere.
    bool notify(QObject* receiver, QEvent* event) override;

  private:
    Prompter& prompter_;
};
