// The assets of a loaded movie as files in a folder, each named after its item, and the manifest
// that lists them, a JSON line each.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "export/asset_plan.h"
#include "export/exported_asset.h"
#include "swfff/document.h"

namespace velpin {

inline constexpr char kManifestName[] = "manifest.jsonl";

// Every asset of `kinds` (all of them when empty) that the loaded `movie` holds, in list order.
// An item the list holds more than once (after a sprite without End) comes once, at its first
// index. The plans point into FileBytes.
std::vector<AssetPlan> PlanMovieExport(const CInputScript& movie,
                                       const std::vector<AssetKind>& kinds);

// "INDEX-ID.EXT", or "INDEX.EXT" for an item without a character id.
std::string AssetFileName(const AssetPlan& plan);

struct ExportCounts {
    std::int64_t files = 0;
    std::int64_t errors = 0;  // assets that could not be exported
};

// Writes the file of each plan and the manifest, through `line`, into `folder`, which is created
// when missing. First checks that no file of those names is there: raises an Error about the
// output, which names the first that is, before anything is written. An asset that cannot be
// decoded gets its error in the manifest and no file; its plan gets its error too. Raises
// EInOutError when a file cannot be created or written.
ExportCounts WriteMovieExport(std::vector<AssetPlan>& plans, const std::string& folder,
                              const ManifestLineWriter& line);

// What WriteMovieExport would count, with nothing written.
ExportCounts CountMovieExport(const std::vector<AssetPlan>& plans);

}  // namespace velpin
