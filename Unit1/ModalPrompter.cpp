#include "Unit1/ModalPrompter.h"

#include <QAbstractButton>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>

namespace {

// What a title bar holds beside its caption: the window's icon, its buttons and the padding
// around them; over 100 pixels in openbox's default theme.
constexpr int kTitleBarExtrasWidth = 150;

// Qt sizes a message box for its text alone, and the window manager cuts a caption that does not
// fit beside the title bar's icon and buttons; the platform's box shows its whole caption. Its OK
// is a plain button.
void ShapeAsPlatformBox(QMessageBox& box) {
    QFont titleFont = QFontDatabase::systemFont(QFontDatabase::TitleFont);
    titleFont.setBold(true);
    const int titleBarWidth =
        QFontMetrics(titleFont).horizontalAdvance(box.windowTitle()) + kTitleBarExtrasWidth;
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
        grid->addItem(new QSpacerItem(titleBarWidth, 0), grid->rowCount(), 0, 1,
                      grid->columnCount());
    }
    for (QAbstractButton* button : box.buttons()) {
        button->setIcon(QIcon());
    }
}

}  // namespace

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
    ShapeAsPlatformBox(box);
    box.exec();
}
