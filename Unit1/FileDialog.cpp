#include "FileDialog.h"

#include <QDir>
#include <QFileInfo>
#include <QMessageBox>

#include "Prompter.h"

FileDialog::FileDialog(Prompter& prompter, QWidget* parent)
    : QFileDialog(parent), prompter_(prompter) {}

bool FileDialog::Accepts(const QString& path) {
    if (acceptMode() != AcceptSave || QFileInfo(path).absoluteDir().exists()) {
        return true;
    }
    QMessageBox box(QMessageBox::Warning, windowTitle(),
                    QStringLiteral("%1\nFolder not found.\nPlease verify the correct folder name "
                                   "was given.")
                        .arg(QDir::toNativeSeparators(path)),
                    QMessageBox::Ok, this);
    prompter_.RunMessageBox(box);
    return false;
}

void FileDialog::accept() {
    const QStringList chosen = selectedFiles();
    if (!chosen.isEmpty() && !Accepts(chosen.first())) {
        return;
    }
    QFileDialog::accept();
}
