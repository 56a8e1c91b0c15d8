// What the window asks of the person in front of it: the answer to a file dialog, the
// acknowledgement of a message box. Tests answer in that person's place.
#pragma once

#include <QString>
#include <optional>

class QFileDialog;
class QMessageBox;

class Prompter {
  public:
    virtual ~Prompter() = default;
    // Runs a file dialog, already configured, modally; the chosen path, or nothing when the
    // person cancels.
    virtual std::optional<QString> RunFileDialog(QFileDialog& dialog) = 0;
    // Runs a message box, already configured, modally.
    virtual void RunMessageBox(QMessageBox& box) = 0;
};
