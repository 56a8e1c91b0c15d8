#include "export/export_libraries.h"

#include <png.h>

// jpeglib.h needs the size types declared before it.
#include <cstdio>

#include <jpeglib.h>

namespace velpin {

namespace {

// libjpeg-turbo numbers its versions as major * 1000000 + minor * 1000 + release.
std::string JpegVersion(unsigned number) {
    return std::to_string(number / 1000000) + "." + std::to_string(number / 1000 % 1000) + "." +
           std::to_string(number % 1000);
}

}  // namespace

LibraryVersions ExportLibraries() {
    // libjpeg cannot say its own version: the file it was loaded from names it.
    return {
        {"libpng", PNG_LIBPNG_VER_STRING, png_get_libpng_ver(nullptr)},
        {"libjpeg-turbo", JpegVersion(LIBJPEG_TURBO_VERSION_NUMBER),
         LoadedFileOf(reinterpret_cast<const void*>(&jpeg_std_error))},
    };
}

}  // namespace velpin
