// A reader bounded to the bytes of one tag's body, or of one record inside it. Every read checks
// the bytes left first; a read that would run past the end fails, and so does every read after
// it, so a decoder may read a whole run of fields and ask once at the end whether they were all
// there. A failed read returns zero or an empty view and never touches a byte past the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "swfff/document.h"
#include "swfff/little_endian.h"

namespace velpin {

class TagReader {
  public:
    TagReader(const std::uint8_t* begin, std::size_t size) : pos_(begin), end_(begin + size) {}

    // The body of `item`, which lies inside FileBytes.
    static TagReader OfBody(const TagItem& item);

    bool Failed() const { return failed_; }
    std::size_t Remaining() const { return failed_ ? 0 : static_cast<std::size_t>(end_ - pos_); }
    bool AtEnd() const { return Remaining() == 0; }
    // Where the next read starts; for a caller that locates a field inside the movie.
    const std::uint8_t* Position() const { return pos_; }

    // Defined here, so that the decoders' loops over millions of fields inline them.
    std::uint8_t U8() {
        const std::uint8_t* bytes = Take(1);
        return bytes == nullptr ? 0 : bytes[0];
    }
    std::uint16_t U16() {
        const std::uint8_t* bytes = Take(2);
        return bytes == nullptr ? 0 : LittleU16(bytes);
    }
    std::uint32_t U32() {
        const std::uint8_t* bytes = Take(4);
        return bytes == nullptr ? 0 : LittleU32(bytes);
    }
    std::uint64_t U64() {
        const std::uint8_t* bytes = Take(8);
        return bytes == nullptr ? 0 : LittleU64(bytes);
    }
    // The ActionScript byte code's variable-length integer: up to five bytes of seven bits each,
    // low bits first, a set top bit asking for another byte. Bits beyond 32 are dropped.
    std::uint32_t VarU32() {
        std::uint32_t value = 0;
        for (int shift = 0; shift < 35; shift += 7) {
            const std::uint8_t byte = U8();
            value |= std::uint32_t{byte & 0x7Fu} << shift;
            if ((byte & 0x80) == 0) {
                break;
            }
        }
        return value;
    }

    // The next `count` bytes.
    std::string_view Bytes(std::size_t count) {
        const std::uint8_t* bytes = Take(count);
        if (bytes == nullptr) {
            return {};
        }
        return {reinterpret_cast<const char*>(bytes), count};
    }
    void Skip(std::size_t count) { Take(count); }
    // The bytes up to the next 0 byte, which is consumed but not returned. Fails when no 0 byte
    // is left.
    std::string_view CString();

    // A reader over the next `count` bytes, which this reader then moves past. Fails, and gives a
    // failed reader, when fewer are left.
    TagReader Narrow(std::size_t count);

  private:
    // Takes `count` bytes, or fails; null when it fails.
    const std::uint8_t* Take(std::size_t count) {
        if (failed_ || count > static_cast<std::size_t>(end_ - pos_)) {
            Fail();
            return nullptr;
        }
        const std::uint8_t* taken = pos_;
        pos_ += count;
        return taken;
    }
    void Fail() { failed_ = true; }

    const std::uint8_t* pos_;
    const std::uint8_t* end_;
    bool failed_ = false;
};

}  // namespace velpin
