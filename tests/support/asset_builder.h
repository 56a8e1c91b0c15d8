// Builds the assets that movies hold, for the export's tests and its fuzz seeds: zlib data, JPEGs
// made with libjpeg, and the image and sound tags around them.
#pragma once

#include <cstdint>

#include "tests/support/movie_builder.h"

namespace testmovie {

Bytes Zlib(const Bytes& raw);

// A JPEG of `width` by `height` pixels, all (red, 100, 50).
Bytes Jpeg(std::uint32_t width, std::uint32_t height, std::uint8_t red = 200);

// DefineBitsLossless (20) or DefineBitsLossless2 (36) with id 7: `colors` (the table, for format
// 3, of `colorCount` entries) and `pixels` compressed together.
Bytes Lossless(std::uint16_t code, std::uint8_t format, std::uint16_t width, std::uint16_t height,
               const Bytes& colors, const Bytes& pixels, int colorCount = 0);

// The sound format byte: format, rate code (0 to 3), 16-bit, stereo.
std::uint8_t SoundByte(unsigned format, unsigned rate, bool sixteen, bool stereo);

}  // namespace testmovie
