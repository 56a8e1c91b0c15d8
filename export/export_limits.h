// How large an asset an export decodes: a movie of 4 MiB can declare a bitmap of any size and
// inflate a few kilobytes into gigabytes, so every size is checked before memory is taken for it.
#pragma once

#include <cstdint>

namespace velpin {

inline constexpr std::uint32_t kMaxBitmapSide = 16384;
inline constexpr std::uint64_t kMaxBitmapPixels = std::uint64_t{64} << 20;

// Raises a content Error naming the size when a bitmap of `width` by `height` is empty or larger
// than the limits allow.
void CheckBitmapSize(std::uint32_t width, std::uint32_t height);

}  // namespace velpin
