// The libraries the codec decodes and encodes with.
#pragma once

#include "base/library_version.h"

namespace velpin {

// zlib, libdeflate, ISA-L and liblzma.
LibraryVersions CodecLibraries();

}  // namespace velpin
