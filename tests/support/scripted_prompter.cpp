#include "tests/support/scripted_prompter.h"

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileInfo>

std::optional<QString> ScriptedPrompter::RunFileDialog(QFileDialog& dialog) {
    dialogs.push_back({dialog.objectName(), dialog.windowTitle(), dialog.acceptMode(),
                       dialog.fileMode(), dialog.nameFilters(), dialog.selectedNameFilter(),
                       dialog.defaultSuffix(),
                       !dialog.testOption(QFileDialog::DontConfirmOverwrite), dialog.parentWidget(),
                       dialog.directory().absolutePath(), dialog.selectedFiles()});
    for (;;) {
        if (answers.empty()) {
            ADD_FAILURE() << "a file dialog nobody expected: " << dialog.objectName().toStdString();
            return std::nullopt;
        }
        const std::optional<QString> answer = answers.front();
        answers.pop_front();
        // Only a name in a missing folder goes through the dialog's own accept: for others Qt's
        // accept may ask in boxes of its own (replace the file?) that nobody here answers.
        if (!answer || dialog.acceptMode() != QFileDialog::AcceptSave ||
            QFileInfo(*answer).absoluteDir().exists()) {
            return answer;
        }
        dialog.selectFile(*answer);
        dialog.setResult(QDialog::Rejected);
        // Public as a QDialog's; runs the dialog's own accept.
        static_cast<QDialog&>(dialog).accept();
        if (dialog.result() == QDialog::Accepted) {
            return dialog.selectedFiles().value(0);
        }
    }
}

void ScriptedPrompter::RunMessageBox(QMessageBox& box) {
    boxes.push_back({box.windowTitle(), box.text(), box.icon(), box.standardButtons(),
                     static_cast<int>(box.buttons().size()), box.parentWidget(),
                     box.parentWidget() != nullptr ? box.parentWidget()->objectName() : QString(),
                     box.windowModality(), QApplication::overrideCursor() != nullptr});
}

ScriptedPrompter& ApplicationPrompter() {
    static ScriptedPrompter prompter;
    return prompter;
}
