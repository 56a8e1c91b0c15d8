#include "Unit1/ErrorBox.h"

#include <QMessageBox>
#include <exception>
#include <new>
#include <string>

#include "Unit1/Prompter.h"
#include "Unit1/VelpinApplication.h"
#include "Unit1/presentation/ErrorBoxText.h"
#include "swfff/errors.h"

namespace {

std::string MessageOfCurrentException() {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return EOutOfMemory().what();
    } catch (const std::exception& error) {
        return error.what();
    } catch (...) {
        return "Unexpected error";
    }
}

}  // namespace

void ShowErrorBoxForCurrentException(Prompter& prompter, QWidget* owner) {
    const std::string text = ErrorBoxText(MessageOfCurrentException());
    QMessageBox box(QMessageBox::Critical, QString::fromLatin1(kApplicationTitle),
                    QString::fromStdString(text), QMessageBox::Ok, owner);
    // Every other window of the application waits until the box is acknowledged.
    box.setWindowModality(Qt::ApplicationModal);
    prompter.RunMessageBox(box);
}
