// The export of a collection: each movie's assets in a folder named by the SHA-256 of its stored
// bytes, ROOT/SHA[:2]/SHA/, so that a movie met twice, in one scan or in two, is written once.
#pragma once

#include <cstdint>
#include <string>

#include "export/exported_asset.h"
#include "swfff/document.h"

namespace velpin {

struct MovieExport {
    std::string folder;
    std::int64_t files = 0;
    std::int64_t errors = 0;  // assets that could not be exported
};

// Exports every asset of the loaded `movie`, whose stored bytes have the SHA-256 `sha256`, under
// `root`, with the manifest lines `line` writes. The folder appears whole or not at all: it is
// written under a temporary name beside it and renamed. When it is there already, from this scan
// or an earlier one, nothing is written and the counts are what its export gives. Raises
// EInOutError when a file or folder cannot be made.
MovieExport ExportMovieOnce(const CInputScript& movie, const std::string& root,
                            const std::string& sha256, const ManifestLineWriter& line);

}  // namespace velpin
