#include "Unit1/FileDialog.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>

#include "Unit1/Prompter.h"

namespace {

// The object name Qt's dialog gives its file name field.
constexpr char kFileNameField[] = "fileNameEdit";

}  // namespace

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

void FileDialog::done(int result) {
    // The completion list is a window of its own, which stays on screen when Enter closes the
    // dialog while the list is up; there it would swallow the next click.
    for (QLineEdit* field : findChildren<QLineEdit*>()) {
        if (QCompleter* completer = field->completer()) {
            completer->popup()->hide();
        }
    }
    QFileDialog::done(result);
}

void FileDialog::showEvent(QShowEvent* event) {
    QFileDialog::showEvent(event);
    if (auto* name = findChild<QLineEdit*>(QString::fromLatin1(kFileNameField))) {
        name->selectAll();
    }
}
