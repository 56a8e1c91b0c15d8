// PNG files written a row at a time with libpng, so that a bitmap of 64 M pixels never has to be
// held whole: its rows go from the decoder to the file one after another.
#pragma once

#include <cstdint>
#include <functional>

#include "codec/swfcodec.h"

namespace velpin {

enum class PngPixels { Rgb, Rgba };

struct PngShape {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    PngPixels pixels = PngPixels::Rgb;
};

// Fills `row` (width times 3 or 4 bytes) with the next row, top first. What it raises ends the
// file and passes through.
using PngRowSource = std::function<void(std::uint8_t* row)>;

// Writes the PNG file of `shape`, its rows taken from `next`, to `sink`. Raises a content Error
// when libpng refuses the image.
void WritePngFile(const PngShape& shape, const PngRowSource& next, const ByteSink& sink);

}  // namespace velpin
