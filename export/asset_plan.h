// An asset as found in a movie, before anything is decoded: what its header says, and how to make
// its file. The file's name is known from the header alone, so that an export can refuse a name
// that exists before it writes anything.
#pragma once

#include <functional>
#include <string>

#include "codec/swfcodec.h"
#include "export/exported_asset.h"

namespace velpin {

struct AssetPlan {
    ExportedAsset asset;    // with an error already when the header cannot be exported
    std::string extension;  // "png", "mp3", ...
    // Hands the file's bytes to the sink. Raises a content Error when the asset cannot be
    // decoded; the file is then not written. Empty when `asset` has an error.
    std::function<void(const ByteSink&)> produce;
};

// A plan for an asset that cannot be exported, for the reason `error`.
inline AssetPlan FailedPlan(ExportedAsset asset, std::string error) {
    asset.error = std::move(error);
    return {std::move(asset), {}, {}};
}

}  // namespace velpin
