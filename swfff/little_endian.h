// The byte order of every multi-byte number in a movie and in its compressed forms: least
// significant byte first. The one place where bytes become numbers and numbers become bytes; the
// caller makes sure the bytes are there.
#pragma once

#include <cstdint>

inline std::uint16_t LittleU16(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

inline std::uint32_t LittleU32(const std::uint8_t* bytes) {
    return std::uint32_t{LittleU16(bytes)} | std::uint32_t{LittleU16(bytes + 2)} << 16;
}

inline std::uint64_t LittleU64(const std::uint8_t* bytes) {
    return std::uint64_t{LittleU32(bytes)} | std::uint64_t{LittleU32(bytes + 4)} << 32;
}

inline void PutLittleU16(std::uint8_t* bytes, std::uint16_t value) {
    bytes[0] = static_cast<std::uint8_t>(value);
    bytes[1] = static_cast<std::uint8_t>(value >> 8);
}

inline void PutLittleU32(std::uint8_t* bytes, std::uint32_t value) {
    PutLittleU16(bytes, static_cast<std::uint16_t>(value));
    PutLittleU16(bytes + 2, static_cast<std::uint16_t>(value >> 16));
}
