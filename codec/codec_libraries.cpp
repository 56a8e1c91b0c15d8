#include "codec/codec_libraries.h"

#include <isa-l.h>
#include <libdeflate.h>
#include <lzma.h>
#include <zlib.h>

namespace velpin {

LibraryVersions CodecLibraries() {
    // libdeflate and ISA-L say their version only to the compiler: the file loaded tells the
    // running one.
    return {
        {"zlib", ZLIB_VERSION, zlibVersion()},
        {"libdeflate", LIBDEFLATE_VERSION_STRING,
         LoadedFileOf(reinterpret_cast<const void*>(&libdeflate_alloc_decompressor))},
        {"ISA-L",
         std::to_string(ISAL_MAJOR_VERSION) + "." + std::to_string(ISAL_MINOR_VERSION) + "." +
             std::to_string(ISAL_PATCH_VERSION),
         LoadedFileOf(reinterpret_cast<const void*>(&isal_inflate_init))},
        {"liblzma", LZMA_VERSION_STRING, lzma_version_string()},
    };
}

}  // namespace velpin
