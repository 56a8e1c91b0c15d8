#include "codec/signature.h"

#include "swfff/little_endian.h"

namespace velpin {

namespace {

struct KnownSignature {
    Signature signature;
    std::string_view text;
};

constexpr KnownSignature kKnownSignatures[] = {
    {Signature::Fws, "FWS"},
    {Signature::Cws, "CWS"},
    {Signature::Zws, "ZWS"},
};

}  // namespace

Signature SignatureOf(const std::uint8_t* bytes, std::size_t count) {
    if (count < 3) {
        return Signature::None;
    }
    const std::string_view text(reinterpret_cast<const char*>(bytes), 3);
    for (const KnownSignature& known : kKnownSignatures) {
        if (known.text == text) {
            return known.signature;
        }
    }
    return Signature::None;
}

std::optional<std::string_view> SignatureText(Signature signature) {
    for (const KnownSignature& known : kKnownSignatures) {
        if (known.signature == signature) {
            return known.text;
        }
    }
    return std::nullopt;
}

MovieHead ParseMovieHead(const std::uint8_t* bytes, std::size_t count) {
    MovieHead head;
    head.signature = SignatureOf(bytes, count);
    if (head.signature == Signature::None) {
        return head;
    }
    if (count > 3) {
        head.version = bytes[3];
    }
    if (count >= kMovieHeadBytes) {
        head.declaredLength = LittleU32(bytes + 4);
    }
    return head;
}

}  // namespace velpin
