// Answers the window's dialogs and boxes in a person's place, and remembers what they showed.
#pragma once

#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>
#include <deque>
#include <optional>
#include <vector>

#include "Unit1/Prompter.h"

struct BoxSeen {
    QString caption;
    QString text;
    QMessageBox::Icon icon;
    QMessageBox::StandardButtons buttons;
    int buttonCount;
    QWidget* owner;
    QString ownerName;
    Qt::WindowModality modality;
    bool busyCursorShown;  // the application's busy cursor was up while the box was
};

struct FileDialogSeen {
    QString name;
    QString title;
    QFileDialog::AcceptMode acceptMode;
    QFileDialog::FileMode fileMode;
    QStringList nameFilters;
    QString selectedNameFilter;
    QString defaultSuffix;
    bool confirmsOverwrite;
    QWidget* owner;
    QString folder;  // where it started
    QStringList selectedFiles;
};

class ScriptedPrompter : public Prompter {
  public:
    // The answers to the coming file dialogs, in order: a path, or std::nullopt for Cancel. A path
    // the dialog refuses leaves it open for the next answer. A dialog without an answer fails the
    // test and counts as cancelled. A save dialog is given a path in a missing folder as a person
    // would, through its own accept; any other path is taken as confirmed.
    std::deque<std::optional<QString>> answers;
    std::vector<FileDialogSeen> dialogs;
    std::vector<BoxSeen> boxes;

    std::optional<QString> RunFileDialog(QFileDialog& dialog) override;
    void RunMessageBox(QMessageBox& box) override;
};

// The prompter that the tests' application object shows its error box through.
ScriptedPrompter& ApplicationPrompter();
