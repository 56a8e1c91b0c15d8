#include "analysis/tag_reader.h"

#include <cstring>

namespace velpin {

TagReader TagReader::OfBody(const TagItem& item) {
    // The loader only keeps items whose body lies inside FileBytes, and a body length is never
    // negative there.
    return TagReader(item.Data + item.HeaderLength, static_cast<std::size_t>(item.BodyLength));
}

std::string_view TagReader::CString() {
    const std::size_t left = Remaining();
    // An empty reader may have no address at all.
    const void* zero = left == 0 ? nullptr : std::memchr(pos_, 0, left);
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

}  // namespace velpin
