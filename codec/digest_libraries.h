// The libraries the digests are computed with.
#pragma once

#include "base/library_version.h"

namespace velpin {

// OpenSSL's libcrypto and xxHash (zlib, for CRC-32, is the codec's).
LibraryVersions DigestLibraries();

}  // namespace velpin
