// Start-up: the application titled "Velpin", the main window Form1, the message loop until the
// window closes.
#include <csignal>

#include "Unit1/ModalPrompter.h"
#include "Unit1/Unit1.h"
#include "Unit1/VelpinApplication.h"

int main(int argc, char** argv) {
    // Saving into a FIFO whose reader has gone must fail as a save ("Error Saving file!"), not
    // end the program with the user's work.
    std::signal(SIGPIPE, SIG_IGN);
    ModalPrompter prompter;
    VelpinApplication application(argc, argv, prompter);
    TForm1 Form1(prompter);
    QApplication::setWindowIcon(Form1.windowIcon());
    Form1.show();
    return QApplication::exec();
}
