// The kinds of asset an export takes, as `--only` names them.
#pragma once

#include <string_view>
#include <vector>

#include "export/exported_asset.h"

namespace velpin {

// "images", "sounds", "data", "scripts": the words of `--only`, in that order.
std::vector<std::string_view> AssetKindWords();

// "image", "sound", "data", "script": one asset's kind, as the manifest names it.
std::string_view AssetKindName(AssetKind kind);

// Parses "KIND[,KIND...]" into the kinds given, each once. Raises std::invalid_argument naming
// an unknown or empty word.
std::vector<AssetKind> ParseAssetKinds(std::string_view list);

}  // namespace velpin
