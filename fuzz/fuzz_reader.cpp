// Drives the byte and bit reader and the tag and action vocabulary over arbitrary bytes. The first
// bytes are a small program of reads; every read is checked against an independent bit-by-bit
// decoding of the same bytes. The readers do not check bounds themselves, so the program only
// asks for reads that the bytes left can satisfy, exactly as the loader must.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz/fuzz_check.h"
#include "swfff/document.h"
#include "swfff/reader.h"
#include "swfff/scoped_movie.h"
#include "swfff/vocabulary.h"

namespace {

// Holds the fuzz input in FileBytes, in a block of exactly its size so that any read past it is
// caught by AddressSanitizer; the movie owner releases it.
class HeldBytes {
  public:
    HeldBytes(const std::uint8_t* data, std::size_t size) {
        FileBytes = new std::uint8_t[size == 0 ? 1 : size];
        if (size > 0) {
            std::memcpy(FileBytes, data, size);
        }
        FileBytesLength = static_cast<std::int64_t>(size);
    }

  private:
    ScopedMovie owner_;
};

std::uint32_t BitsAt(std::int64_t bitOffset, int n) {
    std::uint32_t value = 0;
    for (int i = 0; i < n; ++i) {
        const std::int64_t bit = bitOffset + i;
        const int set = (FileBytes[bit / 8] >> (7 - bit % 8)) & 1;
        value = (value << 1) | static_cast<std::uint32_t>(set);
    }
    return value;
}

std::uint32_t LittleEndianAt(std::int64_t offset, int bytes) {
    std::uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        value = (value << 8) | FileBytes[offset + i];
    }
    return value;
}

void CheckBitBuffer(const CInputScript& script) {
    FUZZ_CHECK(script.BitCount >= 0 && script.BitCount <= 8);
    FUZZ_CHECK(script.BitBuffer >= 0 && script.BitBuffer < (1 << script.BitCount));
}

std::int64_t BytesLeft(const CInputScript& script) {
    return FileBytesLength - script.Position;
}

// Bytes that a request for n bits fetches beyond what the bit buffer holds.
std::int64_t BytesForBits(const CInputScript& script, int n) {
    return n <= script.BitCount ? 0 : (n - script.BitCount + 7) / 8;
}

// The offset of the byte the bit reader fetched last: the bit buffer holds its unconsumed low
// bits, also after byte reads have moved Position on.
std::int64_t lastFetched = -1;

std::uint32_t BufferedBits(const CInputScript& script) {
    if (script.BitCount == 0) {
        return 0;
    }
    return FileBytes[lastFetched] & ((1u << script.BitCount) - 1);
}

void ReadBits(CInputScript& script, int n, bool isSigned) {
    const std::int64_t fetched = BytesForBits(script, n);
    if (fetched > BytesLeft(script)) {
        return;
    }
    FUZZ_CHECK(static_cast<std::uint32_t>(script.BitBuffer) == BufferedBits(script));
    std::uint64_t expected;
    if (n <= script.BitCount) {
        expected = BufferedBits(script) >> (script.BitCount - n);
    } else {
        const int fresh = n - script.BitCount;
        expected = (std::uint64_t{BufferedBits(script)} << fresh) |
                   BitsAt(std::int64_t{script.Position} * 8, fresh);
    }
    const std::int32_t positionBefore = script.Position;
    if (isSigned) {
        const std::int32_t value = ReadSBits(script, n);
        auto wanted = static_cast<std::int64_t>(expected);
        if (n > 0 && (expected >> (n - 1)) != 0) {
            wanted -= std::int64_t{1} << n;
        }
        FUZZ_CHECK(value == wanted);
    } else {
        FUZZ_CHECK(ReadUBits(script, n) == expected);
    }
    FUZZ_CHECK(script.Position == positionBefore + fetched);
    if (fetched > 0) {
        lastFetched = script.Position - 1;
    }
    CheckBitBuffer(script);
    FUZZ_CHECK(static_cast<std::uint32_t>(script.BitBuffer) == BufferedBits(script));
}

void ReadBytes(CInputScript& script, int width) {
    if (BytesLeft(script) < width) {
        return;
    }
    const std::int32_t position = script.Position;
    const std::int32_t bitCount = script.BitCount;
    const std::int32_t bitBuffer = script.BitBuffer;
    const std::uint32_t expected = LittleEndianAt(position, width);
    std::uint32_t value = 0;
    switch (width) {
        case 1:
            value = ReadU8(script);
            break;
        case 2:
            value = ReadU16(script);
            break;
        default:
            value = ReadU32(script);
            break;
    }
    FUZZ_CHECK(value == expected);
    FUZZ_CHECK(script.Position == position + width);
    // Byte reads leave the bit buffer alone.
    FUZZ_CHECK(script.BitCount == bitCount && script.BitBuffer == bitBuffer);
}

void ReadRect(CInputScript& script) {
    if (BytesLeft(script) < 1) {
        return;
    }
    const std::int64_t length = FrameRectByteLength(FileBytes[script.Position]);
    if (BytesLeft(script) < length) {
        return;
    }
    const std::int32_t position = script.Position;
    FrameRectangle rect;
    ReadFrameRect(script, rect);
    FUZZ_CHECK(script.Position == position + length);
    lastFetched = script.Position - 1;
    CheckBitBuffer(script);
    const int n = FileBytes[position] >> 3;
    const std::int32_t fields[4] = {rect.XMin, rect.XMax, rect.YMin, rect.YMax};
    for (int i = 0; i < 4; ++i) {
        std::int64_t wanted = BitsAt(std::int64_t{position} * 8 + 5 + i * n, n);
        if (n > 0 && (wanted >> (n - 1)) != 0) {
            wanted -= std::int64_t{1} << n;
        }
        FUZZ_CHECK(fields[i] == wanted);
    }
}

// Reads a tag header the way the loader guards it, and names the tag as the tree would.
void ReadTag(CInputScript& script) {
    if (BytesLeft(script) < 2) {
        return;
    }
    const bool isLong = (FileBytes[script.Position] & 0x3F) == 0x3F;
    if (isLong && BytesLeft(script) < 6) {
        return;
    }
    const std::int32_t start = script.Position;
    const std::uint16_t code = ReadTagHeader(script);
    FUZZ_CHECK(code <= 1023);
    FUZZ_CHECK(script.TagStart == start);
    FUZZ_CHECK(script.TagHeaderLength == (isLong ? 6 : 2));
    FUZZ_CHECK(script.Position == start + script.TagHeaderLength);
    const int icon = TagIconIndex(code);
    FUZZ_CHECK(icon >= categoryControl && icon <= categoryUnknown);
    FUZZ_CHECK(*TagTypeName(code) != '\0');

    const auto bodyLength = static_cast<std::uint32_t>(script.TagBodyLength);
    if (static_cast<std::int64_t>(bodyLength) > BytesLeft(script)) {
        return;
    }
    FUZZ_CHECK(script.NextTagPos == script.Position + script.TagBodyLength);
    TagItem item;
    InitTagItem(item);
    item.Data = FileBytes + start;
    item.HeaderLength = static_cast<std::uint16_t>(script.TagHeaderLength);
    item.BodyLength = script.TagBodyLength;
    item.TagCode = code;
    const std::string action = FirstActionName(item);
    FUZZ_CHECK(!action.empty());
    FUZZ_CHECK(action.back() != ' ');
    script.Position = script.NextTagPos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The program: the first byte says how many program bytes follow; the rest is read.
    if (size < 1) {
        return 0;
    }
    const std::size_t programLength = data[0] % 64;
    if (size < 1 + programLength) {
        return 0;
    }
    const std::uint8_t* const program = data + 1;
    HeldBytes held(data + 1 + programLength, size - 1 - programLength);

    static constexpr int kByteWidths[3] = {1, 2, 4};
    CInputScript script;
    lastFetched = -1;
    for (std::size_t i = 0; i < programLength; ++i) {
        const std::uint8_t op = program[i];
        const int n = op % 32;
        switch (op >> 5) {
            case 0:
                ReadBits(script, n, false);
                break;
            case 1:
                ReadBits(script, n, true);
                break;
            case 2:
                ReadBytes(script, kByteWidths[n % 3]);
                break;
            case 3:
                ReadRect(script);
                break;
            case 4:
                ReadTag(script);
                break;
            case 5:
                ResetBitBuffer(script);
                CheckBitBuffer(script);
                break;
            default:
                // Walk tags to the end: the vocabulary sees every header the bytes hold.
                while (BytesLeft(script) >= 2) {
                    const std::int32_t before = script.Position;
                    ReadTag(script);
                    // A body that does not fit leaves Position behind the header only.
                    if (script.Position == before || script.Position != script.NextTagPos) {
                        break;
                    }
                }
                break;
        }
    }
    return 0;
}
