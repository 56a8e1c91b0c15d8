#include "scripted_prompter.h"

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QApplication>

std::optional<QString> ScriptedPrompter::RunFileDialog(QFileDialog& dialog) {
    dialogs.push_back(
        {dialog.objectName(), dialog.windowTitle(), dialog.acceptMode(), dialog.fileMode(),
         dialog.nameFilters(), dialog.selectedNameFilter(), dialog.defaultSuffix(),
         !dialog.testOption(QFileDialog::DontConfirmOverwrite), dialog.parentWidget()});
    if (answers.empty()) {
        ADD_FAILURE() << "a file dialog nobody expected: " << dialog.objectName().toStdString();
        return std::nullopt;
    }
    const bool confirmed = answers.front().has_value();
    const QString path = answers.front().value_or(QString());
    answers.pop_front();
    if (!confirmed) {
        return std::nullopt;
    }
    return path;
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
