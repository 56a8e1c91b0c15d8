#include "ModalPrompter.h"

#include <QFileDialog>
#include <QMessageBox>

std::optional<QString> ModalPrompter::RunFileDialog(QFileDialog& dialog) {
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) {
        return std::nullopt;
    }
    return chosen.first();
}

void ModalPrompter::RunMessageBox(QMessageBox& box) {
    box.exec();
}
