// An asset as found in a movie, before anything is decoded: what its header says, and how to make
// its file. The file's name is known from the header alone, so that an export can refuse a name
// that exists before it writes anything.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "codec/swfcodec.h"
#include "export/exported_asset.h"
#include "swfff/document.h"

namespace velpin {

struct AssetPlan {
    ExportedAsset asset;    // with an error already when the header cannot be exported
    std::string extension;  // "png", "mp3", ...
    // Hands the file's bytes to the sink. Raises a content Error when the asset cannot be
    // decoded; the file is then not written. Empty when `asset` has an error.
    std::function<void(const ByteSink&)> produce;
};

// The asset of `kind` that the tag `item`, item `index` of its movie, holds, before anything of
// its body is read.
inline ExportedAsset AssetOf(const TagItem& item, std::int64_t index, AssetKind kind) {
    ExportedAsset asset;
    asset.index = index;
    asset.code = item.TagCode;
    asset.kind = kind;
    return asset;
}

// Why an asset whose body ends before its fields do cannot be exported.
inline constexpr char kShortBody[] = "the body is too short for its fields";

// A plan for an asset that cannot be exported, for the reason `error`.
inline AssetPlan FailedPlan(ExportedAsset asset, std::string error) {
    asset.error = std::move(error);
    return {std::move(asset), {}, {}};
}

// A plan whose file is `data`, as the movie stores it; `data` lies in the movie, which outlives
// the plan.
inline AssetPlan StoredBytesPlan(ExportedAsset asset, std::string_view data,
                                 const char* extension) {
    return {std::move(asset), extension, [data](const ByteSink& sink) {
                sink(reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
            }};
}

}  // namespace velpin
