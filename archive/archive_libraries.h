// The libraries containers are read with.
#pragma once

#include "base/library_version.h"

namespace velpin {

// libarchive and libzip.
LibraryVersions ArchiveLibraries();

}  // namespace velpin
