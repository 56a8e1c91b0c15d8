#include "export/image_assets.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "analysis/tag_reader.h"
#include "base/error.h"
#include "export/export_limits.h"
#include "export/inflated_reader.h"
#include "export/jpeg_image.h"
#include "export/jpeg_stream.h"
#include "export/png_file.h"

namespace velpin {

namespace {

enum LosslessFormat : std::uint8_t {
    colorMapped8 = 3,
    rgb15 = 4,
    rgb24 = 5,  // 32 bits a pixel: ARGB in DefineBitsLossless2
};

// What an image tag holds in its image data: since version 8 of the format, DefineBitsJPEG2 and
// DefineBitsJPEG3 may hold a PNG or a GIF instead of a JPEG.
enum class Held { Jpeg, Png, Gif };

Held HeldIn(std::string_view data) {
    static constexpr char kPng[] = "\x89PNG\r\n\x1a\n";
    if (data.substr(0, sizeof kPng - 1) == std::string_view(kPng, sizeof kPng - 1)) {
        return Held::Png;
    }
    if (data.substr(0, 4) == "GIF8") {
        return Held::Gif;
    }
    return Held::Jpeg;
}

std::uint32_t BigU32(const char* bytes) {
    const auto* b = reinterpret_cast<const std::uint8_t*>(bytes);
    return std::uint32_t{b[0]} << 24 | std::uint32_t{b[1]} << 16 | std::uint32_t{b[2]} << 8 | b[3];
}

// A PNG or GIF goes out as it is; its size is read from its header: a PNG's IHDR chunk, which
// comes first, and a GIF's logical screen.
AssetPlan PlanHeldFile(ExportedAsset asset, std::string_view data, Held held) {
    if (held == Held::Png && data.size() >= 24) {
        asset.width = BigU32(data.data() + 16);
        asset.height = BigU32(data.data() + 20);
    } else if (held == Held::Gif && data.size() >= 10) {
        const auto* b = reinterpret_cast<const std::uint8_t*>(data.data());
        asset.width = std::uint32_t{b[6]} | std::uint32_t{b[7]} << 8;
        asset.height = std::uint32_t{b[8]} | std::uint32_t{b[9]} << 8;
    }
    return {std::move(asset), held == Held::Png ? "png" : "gif", [data](const ByteSink& sink) {
                sink(reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
            }};
}

// A JPEG, with its alpha plane (zlib-compressed, a byte a pixel) when `alpha` is not empty.
AssetPlan PlanJpeg(ExportedAsset asset, std::string_view tables, std::string_view image,
                   std::string_view alpha) {
    const auto bytes = std::make_shared<std::vector<std::uint8_t>>(
        JoinJpegStreams(reinterpret_cast<const std::uint8_t*>(tables.data()), tables.size(),
                        reinterpret_cast<const std::uint8_t*>(image.data()), image.size()));
    try {
        const JpegSize size = ReadJpegSize(bytes->data(), bytes->size());
        asset.width = size.width;
        asset.height = size.height;
    } catch (const Error& error) {
        return FailedPlan(std::move(asset), error.what());
    }
    if (alpha.empty()) {
        return {std::move(asset), "jpg",
                [bytes](const ByteSink& sink) { sink(bytes->data(), bytes->size()); }};
    }
    return {std::move(asset), "png", [bytes, alpha](const ByteSink& sink) {
                JpegRows rows(bytes->data(), bytes->size());
                const JpegSize size = rows.Size();
                InflatedReader alphaPlane(reinterpret_cast<const std::uint8_t*>(alpha.data()),
                                          alpha.size(), "the alpha plane",
                                          std::uint64_t{size.width} * size.height);
                std::vector<std::uint8_t> rgb(std::size_t{size.width} * 3);
                std::vector<std::uint8_t> opacity(size.width);
                WritePngFile(
                    {size.width, size.height, PngPixels::Rgba},
                    [&](std::uint8_t* row) {
                        rows.Next(rgb.data());
                        alphaPlane.Read(opacity.data(), opacity.size());
                        for (std::uint32_t x = 0; x < size.width; ++x) {
                            std::memcpy(row + 4 * x, rgb.data() + 3 * x, 3);
                            row[4 * x + 3] = opacity[x];
                        }
                    },
                    sink);
            }};
}

AssetPlan PlanJpegTag(ExportedAsset asset, TagReader& body, const ByteSpan* tables) {
    std::string_view alpha;
    std::size_t imageSize = body.Remaining();
    if (asset.code == tagDefineBitsJpeg3 || asset.code == tagDefineBitsJpeg4) {
        imageSize = body.U32();
        if (asset.code == tagDefineBitsJpeg4) {
            body.Skip(2);  // the deblocking filter's strength, which a file has no use for
        }
        if (body.Failed() || imageSize > body.Remaining()) {
            return FailedPlan(std::move(asset), "the alpha plane's offset runs past the body");
        }
    }
    const std::string_view image = body.Bytes(imageSize);
    alpha = body.Bytes(body.Remaining());
    const Held held = HeldIn(image);
    if (held != Held::Jpeg) {
        return PlanHeldFile(std::move(asset), image, held);
    }
    std::string_view tableBytes;
    if (asset.code == tagDefineBits && tables != nullptr) {
        tableBytes = {reinterpret_cast<const char*>(tables->bytes), tables->size};
    }
    return PlanJpeg(std::move(asset), tableBytes, image, alpha);
}

// 8-bit channels from 5-bit ones, the top bits repeated below so that 31 gives 255.
std::uint8_t Widen5(unsigned value) {
    return static_cast<std::uint8_t>(value << 3 | value >> 2);
}

// DefineBitsLossless2 stores its colours multiplied by their alpha; files keep them straight.
void Unpremultiply(std::uint8_t* rgba) {
    const unsigned alpha = rgba[3];
    for (int c = 0; c < 3; ++c) {
        rgba[c] =
            alpha == 0
                ? 0
                : static_cast<std::uint8_t>(std::min(255u, (rgba[c] * 255u + alpha / 2) / alpha));
    }
}

struct LosslessShape {
    std::uint8_t format = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t colors = 0;  // the colour table's entries
    bool alpha = false;        // DefineBitsLossless2
};

// Each row of pixels is padded to a multiple of 4 bytes.
std::size_t RowBytes(const LosslessShape& shape) {
    const std::size_t width = shape.width;
    switch (shape.format) {
        case colorMapped8:
            return (width + 3) & ~std::size_t{3};
        case rgb15:
            return (width * 2 + 3) & ~std::size_t{3};
        default:
            return width * 4;
    }
}

void ProduceLossless(const LosslessShape& shape, std::string_view zlib, const ByteSink& sink) {
    const std::size_t entryBytes = shape.alpha ? 4 : 3;
    const std::size_t tableBytes = shape.format == colorMapped8 ? shape.colors * entryBytes : 0;
    const std::size_t rowBytes = RowBytes(shape);
    InflatedReader pixels(reinterpret_cast<const std::uint8_t*>(zlib.data()), zlib.size(),
                          "the pixels", tableBytes + std::uint64_t{rowBytes} * shape.height);
    // An index past the table's end gives transparent black, or black without alpha.
    std::vector<std::uint8_t> table(256 * entryBytes, 0);
    pixels.Read(table.data(), tableBytes);
    if (shape.alpha) {
        for (std::size_t i = 0; i < shape.colors; ++i) {
            Unpremultiply(&table[i * 4]);
        }
    }
    std::vector<std::uint8_t> in(rowBytes);
    const std::size_t outBytes = shape.alpha ? 4 : 3;
    WritePngFile(
        {shape.width, shape.height, shape.alpha ? PngPixels::Rgba : PngPixels::Rgb},
        [&](std::uint8_t* row) {
            pixels.Read(in.data(), in.size());
            for (std::uint32_t x = 0; x < shape.width; ++x) {
                std::uint8_t* out = row + outBytes * x;
                if (shape.format == colorMapped8) {
                    std::memcpy(out, &table[in[x] * entryBytes], outBytes);
                } else if (shape.format == rgb15) {
                    // UB[1] reserved, then 5 bits each of red, green and blue, first bit first.
                    const unsigned pixel = unsigned{in[2 * x]} << 8 | in[2 * x + 1];
                    out[0] = Widen5(pixel >> 10 & 31);
                    out[1] = Widen5(pixel >> 5 & 31);
                    out[2] = Widen5(pixel & 31);
                } else {
                    // ARGB, or a reserved byte and RGB without alpha.
                    std::memcpy(out, &in[4 * x + 1], 3);
                    if (shape.alpha) {
                        out[3] = in[4 * x];
                        Unpremultiply(out);
                    }
                }
            }
        },
        sink);
}

AssetPlan PlanLossless(ExportedAsset asset, TagReader& body) {
    LosslessShape shape;
    shape.alpha = asset.code == tagDefineBitsLossless2;
    shape.format = body.U8();
    shape.width = body.U16();
    shape.height = body.U16();
    if (shape.format == colorMapped8) {
        shape.colors = body.U8() + 1u;
    }
    if (body.Failed()) {
        return FailedPlan(std::move(asset), kShortBody);
    }
    asset.width = shape.width;
    asset.height = shape.height;
    if (shape.format != colorMapped8 && shape.format != rgb24 &&
        (shape.format != rgb15 || shape.alpha)) {
        return FailedPlan(std::move(asset),
                          "bitmap format " + std::to_string(shape.format) + " is not defined");
    }
    try {
        CheckBitmapSize(shape.width, shape.height);
    } catch (const Error& error) {
        return FailedPlan(std::move(asset), error.what());
    }
    const std::string_view zlib = body.Bytes(body.Remaining());
    return {std::move(asset), "png",
            [shape, zlib](const ByteSink& sink) { ProduceLossless(shape, zlib, sink); }};
}

}  // namespace

bool IsImageCode(std::uint16_t code) {
    return code == tagDefineBits || code == tagDefineBitsLossless || code == tagDefineBitsJpeg2 ||
           code == tagDefineBitsJpeg3 || code == tagDefineBitsLossless2 ||
           code == tagDefineBitsJpeg4;
}

AssetPlan PlanImage(const TagItem& item, std::int64_t index, const ByteSpan* tables) {
    ExportedAsset asset = AssetOf(item, index, AssetKind::Image);
    TagReader body = TagReader::OfBody(item);
    const std::uint16_t id = body.U16();
    if (body.Failed()) {
        return FailedPlan(std::move(asset), kShortBody);
    }
    asset.id = id;
    if (item.TagCode == tagDefineBitsLossless || item.TagCode == tagDefineBitsLossless2) {
        return PlanLossless(std::move(asset), body);
    }
    return PlanJpegTag(std::move(asset), body, tables);
}

}  // namespace velpin
