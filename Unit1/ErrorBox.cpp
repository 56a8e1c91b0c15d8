#include "Unit1/ErrorBox.h"

#include <QMessageBox>
#include <string>

#include "Unit1/Prompter.h"
#include "Unit1/VelpinApplication.h"
#include "Unit1/presentation/ErrorBoxText.h"

void ShowErrorBoxForCurrentException(Prompter& prompter, QWidget* owner) {
    const std::string text = DescribeCurrentException();
    QMessageBox box(QMessageBox::Critical, QString::fromLatin1(kApplicationTitle),
                    QString::fromStdString(text), QMessageBox::Ok, owner);
    // Every other window of the application waits until the box is acknowledged.
    box.setWindowModality(Qt::ApplicationModal);
    prompter.RunMessageBox(box);
}
