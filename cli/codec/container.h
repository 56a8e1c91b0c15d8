// The containers a movie file comes in, told apart by the signature in its first three bytes.
// Every part of velpin-cli that names or recognises a container asks here.
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
