#include "export/export_limits.h"

#include <string>

#include "base/error.h"

namespace velpin {

void CheckBitmapSize(std::uint32_t width, std::uint32_t height) {
    const std::string size = std::to_string(width) + " by " + std::to_string(height) + " pixels";
    if (width == 0 || height == 0) {
        throw Error::Content(ErrorSubject::Input, "the bitmap is empty: " + size);
    }
    if (width > kMaxBitmapSide || height > kMaxBitmapSide ||
        std::uint64_t{width} * height > kMaxBitmapPixels) {
        throw Error::Content(ErrorSubject::Input,
                             "the bitmap is too large: " + size + ", more than " +
                                 std::to_string(kMaxBitmapSide) + " a side or " +
                                 std::to_string(kMaxBitmapPixels) + " in all");
    }
}

}  // namespace velpin
