// Little-endian byte readers and a most-significant-bit-first bit reader over FileBytes at the
// document's cursor. None checks bounds: the loader checks every read against FileBytesLength
// before it makes it.
#pragma once

#include <cstdint>

#include "swfff/document.h"

std::uint8_t ReadU8(CInputScript& script);
std::uint16_t ReadU16(CInputScript& script);
std::uint32_t ReadU32(CInputScript& script);
void ResetBitBuffer(CInputScript& script);
std::uint32_t ReadUBits(CInputScript& script, int n);
std::int32_t ReadSBits(CInputScript& script, int n);
void ReadFrameRect(CInputScript& script, FrameRectangle& rect);
// Returns the tag code and leaves Position at the first body byte.
std::uint16_t ReadTagHeader(CInputScript& script);

// The byte length R of a frame rectangle record whose first byte is `firstByte`: its top five
// bits give the field width n, and the record is 5 + 4n bits padded to whole bytes.
inline int FrameRectByteLength(std::uint8_t firstByte) {
    const int n = firstByte >> 3;
    return (5 + 4 * n + 7) / 8;
}
