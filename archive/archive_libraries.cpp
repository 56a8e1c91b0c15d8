#include "archive/archive_libraries.h"

#include <archive.h>
#include <zip.h>

namespace velpin {

LibraryVersions ArchiveLibraries() {
    std::string libarchive = archive_version_string();
    // "libarchive 3.6.2": the name is said already.
    libarchive = libarchive.substr(libarchive.rfind(' ') + 1);
    return {
        {"libarchive", ARCHIVE_VERSION_ONLY_STRING, libarchive},
        {"libzip", LIBZIP_VERSION, zip_libzip_version()},
    };
}

}  // namespace velpin
