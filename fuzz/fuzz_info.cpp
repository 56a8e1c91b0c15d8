// Loads arbitrary bytes as a movie and, when the load succeeds, reads what the movie declares,
// references and hides. Checks what the info promises: every index it gives names an item of the
// right code, the lists are sorted and distinct where promised, and every string it hands out
// lies inside the body of an item that can hold it. The movies embedded in binary data are the
// info's movie entries, each item once, and are loaded and checked in turn, three levels deep.
#include <algorithm>
#include <cstdint>
#include <set>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "analysis/movie_info.h"
#include "analysis/references.h"
#include "fuzz/fuzz_check.h"
#include "input/embedded_movies.h"
#include "swfff/loader.h"
#include "swfff/scoped_movie.h"
#include "swfff/vocabulary.h"

using namespace velpin;

namespace {

using Span = std::pair<const std::uint8_t*, const std::uint8_t*>;

Span BodyOf(const TagItem& item) {
    const std::uint8_t* begin = item.Data + item.HeaderLength;
    return {begin, begin + item.BodyLength};
}

bool Inside(std::string_view text, const Span& body) {
    const auto* begin = reinterpret_cast<const std::uint8_t*>(text.data());
    return text.empty() || (begin >= body.first && begin + text.size() <= body.second);
}

// The bodies of the items a string can come from, sorted by where they begin. The items a run-on
// sprite reads past its own end overlap the top-level items after the sprite in any way, so a
// body can begin inside another and end beyond it: a string lies inside one of them exactly when
// the furthest end among the bodies that begin at or before it reaches the string's end.
class Bodies {
  public:
    void Add(const TagItem& item) { spans_.push_back(BodyOf(item)); }
    void Seal() {
        std::sort(spans_.begin(), spans_.end());
        furthestEnd_.reserve(spans_.size());
        for (const Span& span : spans_) {
            furthestEnd_.push_back(
                furthestEnd_.empty() ? span.second : std::max(furthestEnd_.back(), span.second));
        }
    }
    bool Hold(std::string_view text) const {
        if (text.empty()) {
            return true;
        }
        const auto* begin = reinterpret_cast<const std::uint8_t*>(text.data());
        const auto after =
            std::upper_bound(spans_.begin(), spans_.end(), begin,
                             [](const std::uint8_t* p, const Span& s) { return p < s.first; });
        if (after == spans_.begin()) {
            return false;
        }
        const auto last = static_cast<std::size_t>(after - spans_.begin()) - 1;
        return begin + text.size() <= furthestEnd_[last];
    }

  private:
    std::vector<Span> spans_;
    std::vector<const std::uint8_t*> furthestEnd_;
};

template <typename T, typename Key>
void CheckAscending(const std::vector<T>& list, const Key& key) {
    for (std::size_t i = 1; i < list.size(); ++i) {
        FUZZ_CHECK(key(list[i - 1]) < key(list[i]));
    }
}

bool IsDecoded(std::uint16_t code) {
    switch (code) {
        case tagSetBackgroundColor:
        case tagFileAttributes:
        case tagMetadata:
        case tagProductInfo:
        case tagScriptLimits:
        case tagProtect:
        case tagEnableDebugger:
        case tagEnableDebugger2:
        case tagSymbolClass:
        case tagExportAssets:
        case tagImportAssets:
        case tagImportAssets2:
        case tagFrameLabel:
        case tagDoAction:
        case tagDoInitAction:
        case tagDoAbc:
        case tagDoAbcDefine:
        case tagDefineBinaryData:
            return true;
        default:
            return false;
    }
}

void CheckInfo(const CInputScript& movie, const MovieInfo& info) {
    std::vector<const TagItem*> items;
    Bodies codeBodies;
    Bodies bodies;
    std::vector<bool> present(kTagCodeCount);
    // A run-on sprite lists the tags after it again; info describes the bytes, so each stored
    // tag counts once, under the first item of its offset.
    std::set<const std::uint8_t*> longShort;
    std::unordered_map<const std::uint8_t*, std::int64_t> firstIndexAt;
    for (const TagItem* item = movie.FirstTag; item != nullptr; item = item->Next) {
        firstIndexAt.try_emplace(item->Data, static_cast<std::int64_t>(items.size()));
        items.push_back(item);
        if (IsDecoded(item->TagCode)) {
            bodies.Add(*item);
        }
        present[item->TagCode] = true;
        if (item->HeaderLength == 6 && item->BodyLength < 63) {
            longShort.insert(item->Data);
        }
        if (item->TagCode == tagDoAction || item->TagCode == tagDoInitAction ||
            item->TagCode == tagDoAbc || item->TagCode == tagDoAbcDefine) {
            codeBodies.Add(*item);
        }
    }
    bodies.Seal();
    codeBodies.Seal();
    const auto itemAt = [&items](std::int64_t index) {
        FUZZ_CHECK(index >= 0 && static_cast<std::size_t>(index) < items.size());
        return items[static_cast<std::size_t>(index)];
    };
    const auto self = [](const auto& value) { return value; };

    const MovieAnomalies& anomalies = info.anomalies;
    CheckAscending(anomalies.truncatedTags, self);
    for (const std::int64_t index : anomalies.truncatedTags) {
        FUZZ_CHECK(IsDecoded(itemAt(index)->TagCode));
    }
    CheckAscending(anomalies.unknownCodes, self);
    for (const std::uint16_t code : anomalies.unknownCodes) {
        FUZZ_CHECK(present[code] && TagIconIndex(code) == categoryUnknown);
        FUZZ_CHECK(!IsFormatDefinedCode(code));
    }
    const auto firstOfItsOffset = [&](std::int64_t index) {
        return firstIndexAt.at(itemAt(index)->Data) == index;
    };
    CheckAscending(anomalies.longHeaderShortBody, self);
    for (const std::int64_t index : anomalies.longHeaderShortBody) {
        const TagItem* const item = itemAt(index);
        FUZZ_CHECK(item->HeaderLength == 6 && item->BodyLength < 63 && firstOfItsOffset(index));
    }
    FUZZ_CHECK(anomalies.longHeaderShortBody.size() == longShort.size());
    CheckAscending(anomalies.runOnSprites, self);
    for (const std::int64_t index : anomalies.runOnSprites) {
        FUZZ_CHECK(itemAt(index)->TagCode == tagDefineSprite && firstOfItsOffset(index));
    }
    FUZZ_CHECK(anomalies.trailingBytes >= 0);

    const auto index = [](const auto& entry) { return entry.index; };
    CheckAscending(info.abc, index);
    for (const AbcEntry& entry : info.abc) {
        const TagItem* item = itemAt(entry.index);
        FUZZ_CHECK(item->TagCode == tagDoAbc || item->TagCode == tagDoAbcDefine);
        FUZZ_CHECK(entry.size == item->BodyLength);
        if (item->TagCode == tagDoAbc) {
            FUZZ_CHECK(!entry.name && !entry.flags);
        }
        // The name follows the flags.
        FUZZ_CHECK(!entry.name || entry.flags);
        FUZZ_CHECK(!entry.name || Inside(*entry.name, BodyOf(*item)));
    }
    CheckAscending(info.binaryData, index);
    for (const BinaryDataEntry& entry : info.binaryData) {
        const TagItem* item = itemAt(entry.index);
        FUZZ_CHECK(item->TagCode == tagDefineBinaryData);
        FUZZ_CHECK(entry.size == item->BodyLength - 6);
        FUZZ_CHECK(entry.version.has_value() == (entry.signature && entry.size >= 4));
        FUZZ_CHECK(entry.declaredLength.has_value() == (entry.signature && entry.size >= 8));
    }

    const auto view = [](std::string_view text) { return text; };
    CheckAscending(info.urls, view);
    CheckAscending(info.files, view);
    for (const std::string_view url : info.urls) {
        FUZZ_CHECK(ClassifyReference(url) == ReferenceKind::Url);
        FUZZ_CHECK(codeBodies.Hold(url));
    }
    for (const std::string_view file : info.files) {
        FUZZ_CHECK(ClassifyReference(file) == ReferenceKind::File);
        FUZZ_CHECK(codeBodies.Hold(file));
    }
    for (const FrameLabelEntry& label : info.frameLabels) {
        FUZZ_CHECK(bodies.Hold(label.name));
    }
    for (const auto* names : {&info.symbols, &info.exports}) {
        for (const AssetName& name : *names) {
            FUZZ_CHECK(bodies.Hold(name.name));
        }
    }
    for (const ImportedAsset& asset : info.imports) {
        FUZZ_CHECK(bodies.Hold(asset.url) && bodies.Hold(asset.name));
    }
    FUZZ_CHECK(!info.metadata || bodies.Hold(*info.metadata));
    FUZZ_CHECK(!info.debugger || info.debugger->code == tagEnableDebugger ||
               info.debugger->code == tagEnableDebugger2);
    if (info.productInfo) {
        const std::optional<std::string> time = IsoUtcTime(info.productInfo->compiledAtMs);
        FUZZ_CHECK(!time || time->size() == 24);
    }
}

// The embedded movies are the binary data entries that hold a movie, each item once under its
// first index, their data inside FileBytes; returns copies of them for the next level.
std::vector<std::vector<std::uint8_t>> CheckEmbedded(const CInputScript& movie,
                                                     const MovieInfo& info) {
    const std::vector<EmbeddedMovie> found = FindEmbeddedMovies(movie);
    std::set<const std::uint8_t*> items;
    std::vector<std::int64_t> expected;
    std::int64_t index = 0;
    for (const TagItem* item = movie.FirstTag; item != nullptr; item = item->Next, ++index) {
        if (item->TagCode == tagDefineBinaryData && items.insert(item->Data).second) {
            for (const BinaryDataEntry& entry : info.binaryData) {
                if (entry.index == index && entry.signature) {
                    expected.push_back(index);
                }
            }
        }
    }
    std::vector<std::int64_t> indices;
    std::vector<std::vector<std::uint8_t>> copies;
    for (const EmbeddedMovie& embedded : found) {
        indices.push_back(embedded.index);
        FUZZ_CHECK(IsMovieData(embedded.data));
        FUZZ_CHECK(embedded.data.bytes >= FileBytes &&
                   embedded.data.bytes + embedded.data.size <= FileBytes + FileBytesLength);
        copies.emplace_back(embedded.data.bytes, embedded.data.bytes + embedded.data.size);
    }
    FUZZ_CHECK(indices == expected);
    return copies;
}

void CheckMovieAndInside(const std::uint8_t* data, std::size_t size, int level) {
    std::vector<std::vector<std::uint8_t>> inside;
    {
        ScopedMovie document;
        if (LoadMovieFromBytes(document.movie, "fuzz", data, static_cast<std::int64_t>(size)) !=
            loadOk) {
            return;
        }
        const MovieInfo info = ComputeMovieInfo(document.movie);
        CheckInfo(document.movie, info);
        inside = CheckEmbedded(document.movie, info);
    }
    if (level < 3) {
        for (const std::vector<std::uint8_t>& movie : inside) {
            CheckMovieAndInside(movie.data(), movie.size(), level + 1);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CheckMovieAndInside(data, size, 0);
    return 0;
}
