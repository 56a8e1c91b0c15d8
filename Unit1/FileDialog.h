// The open and save dialogs: Qt's file dialog, made to keep the promises of the native dialogs
// the window is modelled on. A save dialog refuses a name whose folder does not exist and stays
// open; nothing of a dialog (its completion list) stays on screen once it has closed; and when it
// opens again, the name chosen last time is selected, so that typing replaces it.
#pragma once

#include <QFileDialog>

class Prompter;

class FileDialog : public QFileDialog {
    Q_OBJECT

  public:
    // A refusal is told in a box owned by this dialog and run through `prompter`.
    FileDialog(Prompter& prompter, QWidget* parent);

    void accept() override;
    void done(int result) override;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    // Whether the dialog may close with `path` chosen. When it may not, the person has been told
    // why, and the dialog stays open.
    bool Accepts(const QString& path);

    Prompter& prompter_;
};
