// Loads arbitrary bytes as the tags of a movie and exports every asset they hold, decoding each
// into nothing but its digest: images through libjpeg, zlib and libpng, sounds through the ADPCM
// decoder, stream sounds across their timeline. Checks what the export promises: a plan with an
// error makes no file, no two files share a name, and a bitmap read back from the PNG written has
// the size its header declared.
#include <png.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "base/error.h"
#include "export/image_assets.h"
#include "export/movie_export.h"
#include "fuzz/fuzz_check.h"
#include "input/movie_input.h"
#include "swfff/scoped_movie.h"

using namespace velpin;

namespace {

// Inputs are tags; a larger one only repeats what smaller ones find, slower.
constexpr std::size_t kMaxInput = 1 << 20;

// "FWS", version 10, the length, an empty frame rectangle, 12 frames a second, 1 frame.
std::vector<std::uint8_t> MovieOf(const std::uint8_t* tags, std::size_t size) {
    const std::uint32_t length = static_cast<std::uint32_t>(size + 13);
    std::vector<std::uint8_t> movie{'F',
                                    'W',
                                    'S',
                                    10,
                                    static_cast<std::uint8_t>(length),
                                    static_cast<std::uint8_t>(length >> 8),
                                    static_cast<std::uint8_t>(length >> 16),
                                    static_cast<std::uint8_t>(length >> 24),
                                    0,
                                    0,
                                    12,
                                    1,
                                    0};
    movie.insert(movie.end(), tags, tags + size);
    return movie;
}

void CheckPng(const std::vector<std::uint8_t>& png, const ExportedAsset& asset) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    FUZZ_CHECK(png_image_begin_read_from_memory(&image, png.data(), png.size()) != 0);
    FUZZ_CHECK(image.width == asset.width && image.height == asset.height);
    png_image_free(&image);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > kMaxInput) {
        return 0;
    }
    const std::vector<std::uint8_t> movie = MovieOf(data, size);
    ScopedMovie document;
    if (LoadMovieBytesInput(document.movie, "fuzz.swf", movie.data(), movie.size(), movie.size(),
                            false, kDefaultMaxSize) != loadOk) {
        return 0;
    }
    const std::vector<AssetPlan> plans = PlanMovieExport(document.movie, {});
    std::set<std::string> names;
    for (const AssetPlan& plan : plans) {
        FUZZ_CHECK(plan.asset.error.has_value() != static_cast<bool>(plan.produce));
        if (!plan.produce) {
            continue;
        }
        FUZZ_CHECK(names.insert(AssetFileName(plan)).second);
        std::vector<std::uint8_t> file;
        try {
            plan.produce([&file](const std::uint8_t* bytes, std::size_t count) {
                file.insert(file.end(), bytes, bytes + count);
            });
        } catch (const Error& error) {
            FUZZ_CHECK(error.Class() == ErrorClass::Content);
            continue;
        }
        const std::uint16_t code = plan.asset.code;
        if (code == tagDefineBitsLossless || code == tagDefineBitsLossless2) {
            CheckPng(file, plan.asset);
        }
    }
    return 0;
}
