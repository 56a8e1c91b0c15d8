#include "tests/support/scripted_prompter.h"

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QApplication>

#include "Unit1/FileDialog.h"

std::optional<QString> ScriptedPrompter::RunFileDialog(QFileDialog& dialog) {
    dialogs.push_back({dialog.objectName(), dialog.windowTitle(), dialog.acceptMode(),
                       dialog.fileMode(), dialog.nameFilters(), dialog.selectedNameFilter(),
                       dialog.defaultSuffix(),
                       !dialog.testOption(QFileDialog::DontConfirmOverwrite), dialog.parentWidget(),
                       dialog.directory().absolutePath()});
    auto* checking = qobject_cast<FileDialog*>(&dialog);
    for (;;) {
        if (answers.empty()) {
            ADD_FAILURE() << "a file dialog nobody expected: " << dialog.objectName().toStdString();
            return std::nullopt;
        }
        const std::optional<QString> answer = answers.front();
        answers.pop_front();
        if (!answer || checking == nullptr || checking->Accepts(*answer)) {
            return answer;
        }
    }
}

void ScriptedPrompter::RunMessageBox(QMessageBox& box) {
    boxes.push_back({box.windowTitle(), box.text(), box.icon(), box.standardButtons(),
                     static_cast<int>(box.buttons().size()), box.parentWidget(),
                     box.windowModality(), QApplication::overrideCursor() != nullptr});
}

ScriptedPrompter& ApplicationPrompter() {
    static ScriptedPrompter prompter;
    return prompter;
}
