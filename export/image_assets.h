// The image items of a movie as files: DefineBits (with the movie's JPEGTables) and
// DefineBitsJPEG2 as the JPEG, PNG or GIF they hold, DefineBitsJPEG3 and DefineBitsJPEG4 with
// their alpha plane as PNG, and DefineBitsLossless and DefineBitsLossless2 as PNG.
#pragma once

#include <cstdint>

#include "export/asset_plan.h"
#include "input/embedded_movies.h"
#include "swfff/document.h"

namespace velpin {

enum ImageTagCodes : std::uint16_t {
    tagDefineBits = 6,
    tagJpegTables = 8,
    tagDefineBitsLossless = 20,
    tagDefineBitsJpeg2 = 21,
    tagDefineBitsJpeg3 = 35,
    tagDefineBitsLossless2 = 36,
    tagDefineBitsJpeg4 = 90,
};

bool IsImageCode(std::uint16_t code);

// The plan for the image item `item` at `index`; `tables` is the body of the movie's JPEGTables,
// null when it has none. The plan's bytes point into `item`, which must outlive it.
AssetPlan PlanImage(const TagItem& item, std::int64_t index, const ByteSpan* tables);

}  // namespace velpin
