#include "swfff/reader.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Points the module buffer at test bytes for the length of one test.
class ReaderTest : public ::testing::Test {
  protected:
    void Use(std::vector<std::uint8_t> bytes) {
        bytes_ = std::move(bytes);
        FileBytes = bytes_.data();
        FileBytesLength = static_cast<std::int64_t>(bytes_.size());
        script_.Position = 0;
        ResetBitBuffer(script_);
    }
    void TearDown() override {
        FileBytes = nullptr;
        FileBytesLength = 0;
    }

    std::vector<std::uint8_t> bytes_;
    CInputScript script_;
};

TEST_F(ReaderTest, ByteReadersAreLittleEndianAndAdvanceByTheirWidth) {
    Use({0x34, 0x12, 0x2C, 0x01, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(ReadU16(script_), 0x1234);
    EXPECT_EQ(script_.Position, 2);
    EXPECT_EQ(ReadU32(script_), 300u);
    EXPECT_EQ(script_.Position, 6);
    EXPECT_EQ(ReadU32(script_), 0xFFFFFFFFu);
    EXPECT_EQ(script_.Position, 10);
}

TEST_F(ReaderTest, BitReaderFetchesOnlyWhenTheBufferRunsShort) {
    Use({0xAB, 0xCD, 0xEE});
    EXPECT_EQ(ReadUBits(script_, 4), 0xAu);
    EXPECT_EQ(script_.BitCount, 4);
    EXPECT_EQ(ReadUBits(script_, 8), 0xBCu);
    EXPECT_EQ(script_.BitCount, 4);
    EXPECT_EQ(ReadUBits(script_, 4), 0xDu);
    EXPECT_EQ(script_.BitCount, 0);
    EXPECT_EQ(script_.BitBuffer, 0);
    // Exactly BitCount bits empty the buffer without touching the third byte.
    EXPECT_EQ(script_.Position, 2);
    EXPECT_EQ(ReadUBits(script_, 0), 0u);
    EXPECT_EQ(script_.Position, 2);
}

TEST_F(ReaderTest, BitBufferKeepsOnlyItsUnconsumedBits) {
    Use({0b1011'0110, 0b0101'1010});
    for (int n : {3, 2, 1, 5, 4}) {
        ReadUBits(script_, n);
        ASSERT_GE(script_.BitCount, 0);
        ASSERT_LE(script_.BitCount, 8);
        ASSERT_LT(script_.BitBuffer, 1 << script_.BitCount) << "after reading " << n << " bits";
    }
}

TEST_F(ReaderTest, WideBitFieldsSpanSeveralBytes) {
    Use({0xFF, 0xFF, 0xFF, 0xFE});
    EXPECT_EQ(ReadUBits(script_, 31), 0x7FFFFFFFu);
    EXPECT_EQ(script_.BitCount, 1);
    EXPECT_EQ(ReadUBits(script_, 1), 0u);
}

TEST_F(ReaderTest, SignedBitsAreTwosComplement) {
    struct Row {
        std::uint8_t byte;
        int n;
        std::int32_t expected;
    };
    const Row rows[] = {
        {0b1111'0000, 4, -1}, {0b1000'0000, 4, -8}, {0b0111'0000, 4, 7},
        {0b1000'0000, 1, -1}, {0b0000'0000, 1, 0},  {0b1010'1010, 0, 0},
    };
    for (const Row& row : rows) {
        Use({row.byte});
        EXPECT_EQ(ReadSBits(script_, row.n), row.expected)
            << "byte " << int{row.byte} << ", " << row.n << " bits";
    }
    Use({0x80, 0x00, 0x00, 0x00});
    EXPECT_EQ(ReadSBits(script_, 31), -(1 << 30));
}

TEST_F(ReaderTest, FrameRectangles) {
    struct Row {
        std::vector<std::uint8_t> bytes;
        FrameRectangle expected;
        std::int32_t length;
    };
    const Row rows[] = {
        {{0x78, 0x00, 0x05, 0x5F, 0x00, 0x00, 0x0F, 0xA0, 0x00}, {0, 11000, 0, 8000}, 9},
        {{0x87, 0xFF, 0x61, 0x57, 0xC7, 0xFE, 0xC0, 0xFA, 0x00}, {-20, 11000, -40, 8000}, 9},
        {{0x00}, {0, 0, 0, 0}, 1},
    };
    for (const Row& row : rows) {
        Use(row.bytes);
        script_.BitCount = 3;  // leftovers of an earlier bit read must not leak into the record
        script_.BitBuffer = 5;
        FrameRectangle rect{1, 2, 3, 4};
        ReadFrameRect(script_, rect);
        EXPECT_EQ(rect.XMin, row.expected.XMin);
        EXPECT_EQ(rect.XMax, row.expected.XMax);
        EXPECT_EQ(rect.YMin, row.expected.YMin);
        EXPECT_EQ(rect.YMax, row.expected.YMax);
        EXPECT_EQ(script_.Position, row.length);
        EXPECT_EQ(FrameRectByteLength(row.bytes[0]), row.length);
    }
}

TEST_F(ReaderTest, FrameRectByteLengthCoversEveryFieldWidth) {
    EXPECT_EQ(FrameRectByteLength(0 << 3), 1);
    EXPECT_EQ(FrameRectByteLength(12 << 3), 7);
    EXPECT_EQ(FrameRectByteLength(15 << 3), 9);
    EXPECT_EQ(FrameRectByteLength(16 << 3), 9);
    EXPECT_EQ(FrameRectByteLength(17 << 3), 10);
    EXPECT_EQ(FrameRectByteLength(31u << 3), 17);
}

TEST_F(ReaderTest, TagHeaders) {
    struct Row {
        std::vector<std::uint8_t> bytes;
        std::uint16_t code;
        std::int32_t bodyLength;
        std::int32_t headerLength;
    };
    const Row rows[] = {
        {{0x40, 0x00}, 1, 0, 2},
        {{0x00, 0x00}, 0, 0, 2},
        {{0x3F, 0x03, 0x10, 0x00, 0x00, 0x00}, 12, 16, 6},
        {{0x3F, 0x03, 0x05, 0x00, 0x00, 0x00}, 12, 5, 6},
        {{0x3E, 0x03}, 12, 62, 2},
        {{0xFF, 0xFF, 0x00, 0x01, 0x00, 0x00}, 1023, 256, 6},
    };
    for (const Row& row : rows) {
        Use(row.bytes);
        script_.Position = 0;
        EXPECT_EQ(ReadTagHeader(script_), row.code);
        EXPECT_EQ(script_.TagStart, 0);
        EXPECT_EQ(script_.TagBodyLength, row.bodyLength);
        EXPECT_EQ(script_.TagHeaderLength, row.headerLength);
        EXPECT_EQ(script_.Position, row.headerLength);
        EXPECT_EQ(script_.NextTagPos, row.headerLength + row.bodyLength);
    }
}

TEST_F(ReaderTest, HugeLongLengthKeepsAllItsBits) {
    Use({0x3F, 0x00, 0xFF, 0xFF, 0xFF, 0xFF});
    ReadTagHeader(script_);
    EXPECT_EQ(static_cast<std::uint32_t>(script_.TagBodyLength), 0xFFFFFFFFu);
}

}  // namespace
