#include "Unit1/presentation/ErrorBoxText.h"

#include <gtest/gtest.h>

namespace {

TEST(ErrorBoxText, AddsAFullStopOnlyAfterCharactersSortingAfterIt) {
    struct Row {
        const char* message;
        const char* shown;
    };
    const Row rows[] = {
        {"File not found", "File not found."},
        {"I/O error 1032", "I/O error 1032."},
        {"Error!", "Error!"},
        {"(see above)", "(see above)"},
        {"Done.", "Done."},
        {"a-", "a-"},                     // '-' sorts before '.'
        {"a/", "a/."},                    // '/' sorts after it
        {"caf\xC3\xA9", "caf\xC3\xA9."},  // bytes above 0x7F sort after it too
        {"", ""},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(ErrorBoxText(row.message), row.shown) << row.message;
    }
}

}  // namespace
