// What an export says: the manifest's lines, and its summary on standard error.
#pragma once

#include <string>

#include "export/exported_asset.h"
#include "export/movie_export.h"

namespace velpin {

// The manifest line of `asset`, line end included, at the end of `out`: what an export's
// ManifestLineWriter is.
void AppendManifestLine(const ExportedAsset& asset, std::string& out);

// "item 4 (DefineBitsLossless): the bitmap is too large: ...": an asset that was not exported.
std::string AssetFailureLine(const ExportedAsset& asset);

// "export: 12 files in out/, 1 asset not exported".
std::string ExportSummaryLine(const ExportCounts& counts, const std::string& folder);

}  // namespace velpin
