// The libraries an export writes images with.
#pragma once

#include "base/library_version.h"

namespace velpin {

// libpng and libjpeg-turbo.
LibraryVersions ExportLibraries();

}  // namespace velpin
