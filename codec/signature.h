// The three forms a movie file comes in, told apart by the signature in its first three bytes, and
// what the 8 bytes every one of them starts with say. Everything that names or recognises a
// movie's signature, or reads those 8 bytes, asks here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace velpin {

enum class Signature { None, Fws, Cws, Zws };

// What the first bytes of a file that is no movie look like, so that its refusal can say so.
enum class Lookalike { Unknown, Png, Jpeg, Gif, Zip, Gzip };

// The signature `bytes` start with; None for fewer than three bytes or another signature.
Signature SignatureOf(const std::uint8_t* bytes, std::size_t count);

// "FWS", "CWS" or "ZWS"; nothing for Signature::None.
std::optional<std::string_view> SignatureText(Signature signature);

inline bool IsCompressed(Signature signature) {
    return signature == Signature::Cws || signature == Signature::Zws;
}

// Signature, version and the length of the whole uncompressed movie.
inline constexpr std::size_t kMovieHeadBytes = 8;

// What the first bytes of a movie say: the signature, and for a known one the version (byte 3)
// and the declared length (bytes 4 to 7), each when the bytes reach it.
struct MovieHead {
    Signature signature = Signature::None;
    Lookalike lookalike = Lookalike::Unknown;  // with no signature
    std::optional<std::uint8_t> version;
    std::optional<std::uint32_t> declaredLength;
};

// The head of the `count` bytes at `bytes`, which may be fewer than kMovieHeadBytes.
MovieHead ParseMovieHead(const std::uint8_t* bytes, std::size_t count);

}  // namespace velpin
