#include "Unit1/presentation/OneDecimal.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

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
        // Either side of a half by less than the margin of the short way, and halves near 10^7.
        {0.2500001, "0.3"},
        {0.2499999, "0.2"},
        {12345.65, "12345.7"},
        {9999999.95, "10000000.0"},
        {10000000.05, "10000000.1"},
        {-0.25, "-0.3"},
        {-0.04, "0.0"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(OneDecimalText(row.value), row.expected) << row.value;
        EXPECT_EQ(OneDecimalLength(row.value), std::string(row.expected).size()) << row.value;
    }
}

// Play times are whole frames over whole frames per second: fractions that either sit exactly
// on a half (3/12) or miss it by far more than a double's error. Rounding the fraction itself
// half up is then an independent account of what the 15-digit rule gives.
TEST(OneDecimalText, PlayTimesAgreeWithTheirExactFractions) {
    for (std::uint64_t frames = 1; frames <= 2000; ++frames) {
        for (std::uint64_t fps = 1; fps <= 255; ++fps) {
            const std::uint64_t tenths = (20 * frames + fps) / (2 * fps);
            const std::string expected =
                std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
            const double seconds = static_cast<double>(frames) / static_cast<double>(fps);
            ASSERT_EQ(OneDecimalText(seconds), expected) << frames << " / " << fps;
            ASSERT_EQ(OneDecimalLength(seconds), expected.size()) << frames << " / " << fps;
        }
    }
}

}  // namespace
