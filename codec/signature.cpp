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

struct KnownLookalike {
    Lookalike lookalike;
    std::string_view start;
};

// The magic numbers of the files most often mistaken for movies: the pictures and archives of
// the same sites and collections.
constexpr KnownLookalike kKnownLookalikes[] = {
    {Lookalike::Png, "\x89PNG"},    {Lookalike::Jpeg, "\xFF\xD8\xFF"},
    {Lookalike::Gif, "GIF8"},       {Lookalike::Zip, "PK\x03\x04"},
    {Lookalike::Zip, "PK\x05\x06"}, {Lookalike::Gzip, "\x1F\x8B"},
};

Lookalike LookalikeOf(const std::uint8_t* bytes, std::size_t count) {
    const std::string_view start(reinterpret_cast<const char*>(bytes), count);
    for (const KnownLookalike& known : kKnownLookalikes) {
        if (start.substr(0, known.start.size()) == known.start) {
            return known.lookalike;
        }
    }
    return Lookalike::Unknown;
}

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
        head.lookalike = LookalikeOf(bytes, count);
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
