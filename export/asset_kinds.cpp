#include "export/asset_kinds.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <string>

namespace velpin {

namespace {

struct KindWords {
    AssetKind kind;
    std::string_view plural;
    std::string_view singular;
};

constexpr std::array<KindWords, 4> kKinds{{
    {AssetKind::Image, "images", "image"},
    {AssetKind::Sound, "sounds", "sound"},
    {AssetKind::Data, "data", "data"},
    {AssetKind::Script, "scripts", "script"},
}};

}  // namespace

std::vector<std::string_view> AssetKindWords() {
    std::vector<std::string_view> words;
    for (const KindWords& kind : kKinds) {
        words.push_back(kind.plural);
    }
    return words;
}

std::string_view AssetKindName(AssetKind kind) {
    for (const KindWords& entry : kKinds) {
        if (entry.kind == kind) {
            return entry.singular;
        }
    }
    return {};
}

std::vector<AssetKind> ParseAssetKinds(std::string_view list) {
    std::vector<AssetKind> kinds;
    for (;;) {
        const std::size_t comma = list.find(',');
        const std::string_view word = list.substr(0, comma);
        const auto* found = std::find_if(kKinds.begin(), kKinds.end(),
                                         [word](const KindWords& k) { return k.plural == word; });
        if (found == kKinds.end()) {
            throw std::invalid_argument(word.empty() ? std::string("an empty kind")
                                                     : "not a kind: " + std::string(word));
        }
        if (std::find(kinds.begin(), kinds.end(), found->kind) == kinds.end()) {
            kinds.push_back(found->kind);
        }
        if (comma == std::string_view::npos) {
            return kinds;
        }
        list.remove_prefix(comma + 1);
    }
}

}  // namespace velpin
