#include "export/png_file.h"

#include <png.h>

#include <csetjmp>
#include <memory>
#include <vector>

#include "base/error.h"

namespace velpin {

namespace {

// libpng reports its errors by longjmp. Each call that can fail goes through one of these
// wrappers, which hold no object with a destructor, so that the jump skips nothing.
bool WriteInfo(png_structp png, png_infop info, const PngShape& shape) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_set_IHDR(png, info, shape.width, shape.height, 8,
                 shape.pixels == PngPixels::Rgba ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    return true;
}

bool WriteRow(png_structp png, png_bytep row) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_write_row(png, row);
    return true;
}

bool WriteEnd(png_structp png) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_write_end(png, nullptr);
    return true;
}

// libpng prints its warnings to standard error by default; an export has nothing to add.
void IgnoreWarning(png_structp, png_const_charp) {}

void WriteToSink(png_structp png, png_bytep bytes, png_size_t count) {
    (*static_cast<const ByteSink*>(png_get_io_ptr(png)))(bytes, count);
}

void FlushNothing(png_structp) {}

struct PngWriter {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~PngWriter() { png_destroy_write_struct(&png, &info); }
};

}  // namespace

void WritePngFile(const PngShape& shape, const PngRowSource& next, const ByteSink& sink) {
    const auto refused = [] {
        return Error::Content(ErrorSubject::Input, "libpng cannot write the image");
    };
    PngWriter writer;
    writer.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, IgnoreWarning);
    if (writer.png == nullptr || (writer.info = png_create_info_struct(writer.png)) == nullptr) {
        throw refused();
    }
    png_set_write_fn(writer.png, const_cast<ByteSink*>(&sink), WriteToSink, FlushNothing);
    // zlib's default level took most of an export's time over a collection; its fastest made the
    // files under 1 per cent larger there, and the whole export a quarter faster.
    png_set_compression_level(writer.png, 1);
    if (!WriteInfo(writer.png, writer.info, shape)) {
        throw refused();
    }
    std::vector<std::uint8_t> row(std::size_t{shape.width} *
                                  (shape.pixels == PngPixels::Rgba ? 4 : 3));
    for (std::uint32_t y = 0; y < shape.height; ++y) {
        next(row.data());
        if (!WriteRow(writer.png, row.data())) {
            throw refused();
        }
    }
    if (!WriteEnd(writer.png)) {
        throw refused();
    }
}

}  // namespace velpin
