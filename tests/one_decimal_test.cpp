#include "OneDecimal.h"

#include <gtest/gtest.h>

namespace {

TEST(OneDecimalText, RoundsHalvesAwayFromZeroOnTheValueAsWritten) {
    struct Row {
        double value;
        const char* expected;
    };
    const Row rows[] = {
        {0.0, "0.0"},
        {1.0 / 12, "0.1"},
        {14.4609375, "14.5"},
        // Exact binary halves, which printf("%.1f") rounds to even.
        {0.25, "0.3"},
        {2.25, "2.3"},
        // Stored just below the half; their 15-digit forms are exact halves.
        {3.0 / 20, "0.2"},
        {0.05, "0.1"},
        {9.95, "10.0"},
        {1.45, "1.5"},
        // Just below a half even when written with 15 digits.
        {0.149999999999, "0.1"},
        {0.04999, "0.0"},
        {0.96, "1.0"},
        {99.96, "100.0"},
        {1536.0234375, "1536.0"},
        {1e-9, "0.0"},
        {1e20, "100000000000000000000.0"},
        {-0.25, "-0.3"},
        {-0.04, "0.0"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(OneDecimalText(row.value), row.expected) << row.value;
    }
}

}  // namespace
