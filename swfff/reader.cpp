#include "swfff/reader.h"

#include <cassert>

#include "swfff/little_endian.h"

std::uint8_t ReadU8(CInputScript& script) {
    assert(script.Position >= 0 && script.Position < FileBytesLength);
    return FileBytes[script.Position++];
}

std::uint16_t ReadU16(CInputScript& script) {
    assert(script.Position >= 0 && script.Position <= FileBytesLength - 2);
    const std::uint16_t value = LittleU16(FileBytes + script.Position);
    script.Position += 2;
    return value;
}

std::uint32_t ReadU32(CInputScript& script) {
    assert(script.Position >= 0 && script.Position <= FileBytesLength - 4);
    const std::uint32_t value = LittleU32(FileBytes + script.Position);
    script.Position += 4;
    return value;
}

void ResetBitBuffer(CInputScript& script) {
    script.BitCount = 0;
    script.BitBuffer = 0;
}

std::uint32_t ReadUBits(CInputScript& script, int n) {
    assert(n >= 0 && n <= 31);
    std::uint32_t result = 0;
    // A request for exactly BitCount bits must empty the buffer without fetching a byte.
    while (n > script.BitCount) {
        result |= static_cast<std::uint32_t>(script.BitBuffer) << (n - script.BitCount);
        n -= script.BitCount;
        script.BitBuffer = ReadU8(script);
        script.BitCount = 8;
    }
    result |= static_cast<std::uint32_t>(script.BitBuffer) >> (script.BitCount - n);
    script.BitCount -= n;
    script.BitBuffer &= 0xFF >> (8 - script.BitCount);
    return result;
}

std::int32_t ReadSBits(CInputScript& script, int n) {
    const std::uint32_t v = ReadUBits(script, n);
    if (n > 0 && (v & (1u << (n - 1))) != 0) {
        // Sign-extend: v - 2^n, done in 64 bits so that n = 31 cannot overflow.
        return static_cast<std::int32_t>(static_cast<std::int64_t>(v) - (std::int64_t{1} << n));
    }
    return static_cast<std::int32_t>(v);
}

void ReadFrameRect(CInputScript& script, FrameRectangle& rect) {
    ResetBitBuffer(script);
    const int n = static_cast<int>(ReadUBits(script, 5));
    rect.XMin = ReadSBits(script, n);
    rect.XMax = ReadSBits(script, n);
    rect.YMin = ReadSBits(script, n);
    rect.YMax = ReadSBits(script, n);
    // The record ends inside its last byte; the bits left in the buffer are padding.
}

std::uint16_t ReadTagHeader(CInputScript& script) {
    script.TagStart = script.Position;
    const std::uint16_t word = ReadU16(script);
    script.TagHeaderLength = 2;
    std::uint32_t length = word & 0x3Fu;
    // Only the value 63 selects the long form; a long header may still carry a small length.
    if (length == 0x3F) {
        length = ReadU32(script);
        script.TagHeaderLength = 6;
    }
    // Unsigned arithmetic: a declared length near 2^32 must wrap, not overflow; the loader
    // rejects such tags before NextTagPos is used.
    script.NextTagPos =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(script.Position) + length);
    script.TagBodyLength = static_cast<std::int32_t>(length);
    return static_cast<std::uint16_t>(word >> 6);
}
