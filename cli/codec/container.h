// The containers a movie file comes in, told apart by the signature in its first three bytes, and
// what the 8 bytes every one of them starts with say. Every part of velpin-cli that names or
// recognises a container, or reads those 8 bytes, asks here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

enum class Container { None, Fws, Cws, Zws };

// The container `bytes` start with; None for fewer than three bytes or another signature.
Container ContainerOf(const std::uint8_t* bytes, std::size_t count);

// "FWS", "CWS" or "ZWS"; nothing for Container::None.
std::optional<std::string_view> ContainerSignature(Container container);

inline bool IsCompressed(Container container) {
    return container == Container::Cws || container == Container::Zws;
}

// Signature, version and the length of the whole uncompressed movie.
inline constexpr std::size_t kMovieHeadBytes = 8;

// What the first bytes of a movie say: the container, and for a known container the version
// (byte 3) and the declared length (bytes 4 to 7), each when the bytes reach it.
struct MovieHead {
    Container container = Container::None;
    std::optional<std::uint8_t> version;
    std::optional<std::uint32_t> declaredLength;
};

// The head of the `count` bytes at `bytes`, which may be fewer than kMovieHeadBytes.
MovieHead ParseMovieHead(const std::uint8_t* bytes, std::size_t count);
