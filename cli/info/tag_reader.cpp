#include "cli/info/tag_reader.h"

#include <cstring>

TagReader TagReader::OfBody(const TagItem& item) {
    // The loader only keeps items whose body lies inside FileBytes, and a body length is never
    // negative there.
    return TagReader(item.Data + item.HeaderLength, static_cast<std::size_t>(item.BodyLength));
}

const std::uint8_t* TagReader::Take(std::size_t count) {
    if (failed_ || count > static_cast<std::size_t>(end_ - pos_)) {
        Fail();
        return nullptr;
    }
    const std::uint8_t* taken = pos_;
    pos_ += count;
    return taken;
}

std::uint8_t TagReader::U8() {
    const std::uint8_t* bytes = Take(1);
    return bytes == nullptr ? 0 : bytes[0];
}

std::uint16_t TagReader::U16() {
    const std::uint8_t* bytes = Take(2);
    return bytes == nullptr ? 0 : static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

std::uint32_t TagReader::U32() {
    const std::uint8_t* bytes = Take(4);
    if (bytes == nullptr) {
        return 0;
    }
    return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
           std::uint32_t{bytes[3]} << 24;
}

std::uint64_t TagReader::U64() {
    const std::uint64_t low = U32();
    const std::uint64_t high = U32();
    return low | high << 32;
}

std::uint32_t TagReader::VarU32() {
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

std::string_view TagReader::Bytes(std::size_t count) {
    const std::uint8_t* bytes = Take(count);
    if (bytes == nullptr) {
        return {};
    }
    return {reinterpret_cast<const char*>(bytes), count};
}

std::string_view TagReader::CString() {
    const std::size_t left = Remaining();
    const void* zero = failed_ ? nullptr : std::memchr(pos_, 0, left);
    if (zero == nullptr) {
        Fail();
        return {};
    }
    const std::size_t length =
        static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - pos_);
    const std::string_view text = Bytes(length);
    Skip(1);
    return text;
}

TagReader TagReader::Narrow(std::size_t count) {
    const std::uint8_t* bytes = Take(count);
    TagReader inner(bytes == nullptr ? pos_ : bytes, bytes == nullptr ? 0 : count);
    if (bytes == nullptr) {
        inner.Fail();
    }
    return inner;
}
