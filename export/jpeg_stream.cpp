#include "export/jpeg_stream.h"

namespace velpin {

namespace {

constexpr std::uint8_t kMarker = 0xFF;
constexpr std::uint8_t kStartOfImage = 0xD8;
constexpr std::uint8_t kEndOfImage = 0xD9;
constexpr std::uint8_t kStartOfScan = 0xDA;

// Markers without a length field (ITU T.81, table B.1): TEM and the restart markers.
bool StandsAlone(std::uint8_t marker) {
    return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7);
}

}  // namespace

std::vector<std::uint8_t> JoinJpegStreams(const std::uint8_t* tables, std::size_t tablesSize,
                                          const std::uint8_t* image, std::size_t imageSize) {
    std::vector<std::uint8_t> in(tables, tables + tablesSize);
    in.insert(in.end(), image, image + imageSize);
    const std::size_t size = in.size();
    const auto isPair = [&in, size](std::size_t at, std::uint8_t first, std::uint8_t second) {
        return at + 1 < size && in[at] == first && in[at + 1] == second;
    };
    std::size_t pos = 0;
    // The stray pair before the first marker.
    if (isPair(0, kMarker, kEndOfImage) && isPair(2, kMarker, kStartOfImage)) {
        pos = 2;
    }
    std::vector<std::uint8_t> out;
    out.reserve(size);
    if (!isPair(pos, kMarker, kStartOfImage)) {
        out.assign(in.begin() + static_cast<std::ptrdiff_t>(pos), in.end());
        return out;
    }
    out.push_back(kMarker);
    out.push_back(kStartOfImage);
    pos += 2;
    // The header segments, up to the first scan, whose entropy-coded data is kept whole.
    while (pos + 1 < size && in[pos] == kMarker) {
        const std::uint8_t marker = in[pos + 1];
        if (marker == kEndOfImage && isPair(pos + 2, kMarker, kStartOfImage)) {
            pos += 4;
            continue;
        }
        if (marker == kStartOfImage) {
            pos += 2;
            continue;
        }
        if (marker == kMarker) {
            // A fill byte before a marker.
            out.push_back(kMarker);
            ++pos;
            continue;
        }
        std::size_t length = 2;
        if (!StandsAlone(marker)) {
            if (marker == kEndOfImage || pos + 3 >= size) {
                break;
            }
            length += std::size_t{in[pos + 2]} << 8 | in[pos + 3];
            if (length < 4 || length > size - pos) {
                break;
            }
        }
        out.insert(out.end(), in.begin() + static_cast<std::ptrdiff_t>(pos),
                   in.begin() + static_cast<std::ptrdiff_t>(pos + length));
        pos += length;
        if (marker == kStartOfScan) {
            break;
        }
    }
    out.insert(out.end(), in.begin() + static_cast<std::ptrdiff_t>(pos), in.end());
    return out;
}

}  // namespace velpin
