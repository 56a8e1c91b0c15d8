#include "swfff/vocabulary.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace {

TEST(VocabularyTest, CategoriesPartitionTheNamedCodes) {
    const std::set<int> control = {0, 1, 4, 5, 9, 12, 15, 26, 28, 43};
    int definitions = 0;
    for (unsigned code = 0; code <= 0xFFFF; ++code) {
        const auto c = static_cast<std::uint16_t>(code);
        const std::string name = TagTypeName(c);
        const int category = TagIconIndex(c);
        // The window's names are the format's own.
        if (name != "Unknown") {
            EXPECT_STREQ(TagFormatName(c), name.c_str()) << code;
        }
        if (name == "Unknown") {
            EXPECT_EQ(category, categoryUnknown) << code;
        } else if (control.count(static_cast<int>(code)) != 0) {
            EXPECT_EQ(category, categoryControl) << code << " " << name;
        } else {
            EXPECT_EQ(category, categoryDefinition) << code << " " << name;
            ++definitions;
        }
    }
    EXPECT_EQ(definitions, 26);
}

TEST(VocabularyTest, SelectedNamesAndGaps) {
    struct Row {
        std::uint16_t code;
        const char* name;
        int category;
        const char* formatName = nullptr;  // null: no version of the format defines the code
    };
    const Row rows[] = {
        {0, "End", 1, "End"},
        {39, "DefineSprite", 2, "DefineSprite"},
        {48, "DefineFont2", 2, "DefineFont2"},
        {45, "SoundStreamHead2", 2, "SoundStreamHead2"},
        {16, "Unknown", 3},
        {25, "Unknown", 3},
        {47, "Unknown", 3},
        {49, "Unknown", 3},
        {1023, "Unknown", 3},
        {23, "DefineButtonCxform", 2, "DefineButtonCxform"},
        {43, "FrameLabel", 1, "FrameLabel"},
        {1, "ShowFrame", 1, "ShowFrame"},
        {2, "DefineShape", 2, "DefineShape"},
        {65535, "Unknown", 3},
        {24, "Unknown", 3, "Protect"},
        {41, "Unknown", 3, "ProductInfo"},
        {56, "Unknown", 3, "ExportAssets"},
        {66, "Unknown", 3, "SetTabIndex"},
        {67, "Unknown", 3},
        {69, "Unknown", 3, "FileAttributes"},
        {72, "Unknown", 3, "DoABC"},
        {77, "Unknown", 3, "Metadata"},
        {78, "Unknown", 3, "DefineScalingGrid"},
        {79, "Unknown", 3},
        {82, "Unknown", 3, "DoABC"},
        {85, "Unknown", 3},
        {87, "Unknown", 3, "DefineBinaryData"},
        {92, "Unknown", 3},
        {94, "Unknown", 3, "PlaceObject4"},
        {95, "Unknown", 3},
        {7, "DefineButton", 2, "DefineButton"},
        {34, "DefineButton2", 2, "DefineButton2"},
    };
    for (const Row& row : rows) {
        EXPECT_STREQ(TagTypeName(row.code), row.name) << row.code;
        EXPECT_EQ(TagIconIndex(row.code), row.category) << row.code;
        EXPECT_STREQ(TagFormatName(row.code), row.formatName) << row.code;
        EXPECT_EQ(IsFormatDefinedCode(row.code), row.formatName != nullptr) << row.code;
    }
}

// Builds a DoAction item over `bytes` (header included) with the given header length.
struct ActionItem {
    std::vector<std::uint8_t> bytes;
    TagItem item{};
    ActionItem(std::vector<std::uint8_t> b, std::uint16_t headerLength) : bytes(std::move(b)) {
        item.Data = bytes.data();
        item.HeaderLength = headerLength;
        item.BodyLength = static_cast<std::int32_t>(bytes.size()) - headerLength;
        item.TagCode = tagDoAction;
    }
};

TEST(VocabularyTest, FirstActionNames) {
    struct Row {
        std::vector<std::uint8_t> body;
        const char* expected;
    };
    const Row rows[] = {
        {{0x81, 0x02, 0x00, 0x07, 0x00, 0x00}, "GotoFrame 7"},
        {{0x81, 0x02, 0x00, 0x00, 0x00, 0x00}, "GotoFrame 0"},
        {{0x81, 0x02, 0x00, 0xFF, 0xFF, 0x00}, "GotoFrame 65535"},
        {{0x81, 0x02, 0x00, 0x07, 0x00}, "GotoFrame 7"},
        {{0x81, 0x02, 0x00, 0x07}, "GotoFrame"},
        {{0x81}, "GotoFrame"},
        {{0x00}, "None"},
        {{}, "None"},
        {{0x04}, "NextFrame"},
        {{0x07, 0x00}, "Stop"},
        {{0x09}, "StopSounds"},
        {{0x80}, "HasLength"},
        {{0x82}, "Unknown"},
        {{0x83}, "GetURL"},
        {{0x8C}, "GotoLabel"},
        {{0x96}, "Unknown"},
        {{0x01}, "Unknown"},
        {{0xFF}, "Unknown"},
    };
    for (const Row& row : rows) {
        std::vector<std::uint8_t> shortForm = {0x00, 0x03};
        shortForm.insert(shortForm.end(), row.body.begin(), row.body.end());
        EXPECT_EQ(FirstActionName(ActionItem(shortForm, 2).item), row.expected);
        std::vector<std::uint8_t> longForm = {0x3F, 0x03, 0, 0, 0, 0};
        longForm.insert(longForm.end(), row.body.begin(), row.body.end());
        EXPECT_EQ(FirstActionName(ActionItem(longForm, 6).item), row.expected);
    }
}

TEST(VocabularyTest, FirstActionNameReadsNothingPastTheTag) {
    // A GotoFrame cut short at the very end of the held bytes: under the address sanitizer any
    // read past the body is reported.
    ActionItem action({0x03, 0x03, 0x81, 0x02, 0x00}, 2);
    EXPECT_EQ(FirstActionName(action.item), "GotoFrame");
    ActionItem empty({0x00, 0x03}, 2);
    EXPECT_EQ(FirstActionName(empty.item), "None");
}

}  // namespace
