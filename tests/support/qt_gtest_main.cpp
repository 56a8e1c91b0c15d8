// The main of the Qt test programs: GoogleTest inside the application object the program uses.
#include <gtest/gtest.h>

#include "Unit1/VelpinApplication.h"
#include "tests/support/scripted_prompter.h"

int main(int argc, char** argv) {
    // Test discovery runs these programs outside CTest's environment; they never need a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    testing::InitGoogleTest(&argc, argv);
    VelpinApplication application(argc, argv, ApplicationPrompter());
    return RUN_ALL_TESTS();
}
