#include "tests/support/asset_builder.h"

#include <zlib.h>

#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

namespace testmovie {

Bytes Zlib(const Bytes& raw) {
    uLongf size = compressBound(raw.size());
    Bytes packed(size);
    compress(packed.data(), &size, raw.data(), raw.size());
    packed.resize(size);
    return packed;
}

Bytes Jpeg(std::uint32_t width, std::uint32_t height, std::uint8_t red) {
    jpeg_compress_struct info{};
    jpeg_error_mgr error{};
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &out, &size);
    info.image_width = width;
    info.image_height = height;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_start_compress(&info, TRUE);
    Bytes row(std::size_t{width} * 3);
    for (std::size_t x = 0; x < width; ++x) {
        row[3 * x] = red;
        row[3 * x + 1] = 100;
        row[3 * x + 2] = 50;
    }
    while (info.next_scanline < height) {
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    Bytes bytes(out, out + size);
    jpeg_destroy_compress(&info);
    std::free(out);
    return bytes;
}

Bytes Lossless(std::uint16_t code, std::uint8_t format, std::uint16_t width, std::uint16_t height,
               const Bytes& colors, const Bytes& pixels, int colorCount) {
    Bytes body = Cat({U16(7), {format}, U16(width), U16(height)});
    if (format == 3) {
        body.push_back(static_cast<std::uint8_t>(colorCount - 1));
    }
    return Tag(code, Cat({body, Zlib(Cat({colors, pixels}))}), true);
}

std::uint8_t SoundByte(unsigned format, unsigned rate, bool sixteen, bool stereo) {
    return static_cast<std::uint8_t>(format << 4 | rate << 2 | (sixteen ? 2 : 0) |
                                     (stereo ? 1 : 0));
}

}  // namespace testmovie
