// The application's error box: how an error that escapes a command is shown before the program
// goes on.
#pragma once

class Prompter;
class QWidget;

// Shows the exception being handled (call it only inside a catch block) in a modal box with the
// error icon, one OK button and the application's title as caption. Memory exhaustion of any kind
// is shown as "Out of memory."
void ShowErrorBoxForCurrentException(Prompter& prompter, QWidget* owner);
