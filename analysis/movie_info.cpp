#include "analysis/movie_info.h"

#include <algorithm>
#include <bitset>
#include <cstdio>
#include <ctime>
#include <unordered_map>

#include "analysis/action_strings.h"
#include "analysis/references.h"
#include "analysis/tag_reader.h"
#include "codec/signature.h"
#include "swfff/vocabulary.h"
#include "swfff/writer.h"

namespace velpin {

namespace {

// A long tag header is needed only from this body length on.
constexpr std::int32_t kShortHeaderMaxBody = 62;
constexpr std::uint16_t kLongHeaderLength = 6;
// Protect and EnableDebugger2 hold 2 reserved bytes before the password hash, ImportAssets2
// after its URL.
constexpr std::size_t kReservedWordBytes = 2;
// The 4 bytes between DefineBinaryData's id and its data.
constexpr std::size_t kReservedBeforeBinaryData = 4;

// Each reads one item's fields into `info` and returns false when one ran past the item's body
// (or past an action record); what was wholly read before it is kept.

bool ReadBackgroundColor(TagReader& body, MovieInfo& info) {
    // A braced list is evaluated left to right, so the bytes come in file order.
    const std::array<std::uint8_t, 3> rgb{body.U8(), body.U8(), body.U8()};
    if (body.Failed()) {
        return false;
    }
    info.backgroundColor = rgb;
    return true;
}

bool ReadFileAttributes(TagReader& body, MovieInfo& info) {
    const std::uint8_t flags = body.U8();
    if (body.Failed()) {
        return false;
    }
    info.fileAttributes = flags;
    return true;
}

bool ReadMetadata(TagReader& body, MovieInfo& info) {
    const std::string_view text = body.CString();
    if (body.Failed()) {
        return false;
    }
    info.metadata = text;
    return true;
}

bool ReadProductInfo(TagReader& body, MovieInfo& info) {
    ProductInfo product;
    product.productId = body.U32();
    product.edition = body.U32();
    product.majorVersion = body.U8();
    product.minorVersion = body.U8();
    product.build = body.U64();
    product.compiledAtMs = body.U64();
    if (body.Failed()) {
        return false;
    }
    info.productInfo = product;
    return true;
}

bool ReadScriptLimits(TagReader& body, MovieInfo& info) {
    ScriptLimits limits;
    limits.maxRecursionDepth = body.U16();
    limits.scriptTimeoutSeconds = body.U16();
    if (body.Failed()) {
        return false;
    }
    info.scriptLimits = limits;
    return true;
}

// Protect and EnableDebugger2: nothing, or 2 reserved bytes and then the hash if anything follows
// them. Movies from before the hash existed end after the reserved bytes.
bool ReadHashAfterReserved(TagReader& body, std::optional<std::string_view>& hash) {
    if (body.AtEnd()) {
        return true;
    }
    body.Skip(kReservedWordBytes);
    if (!body.Failed() && !body.AtEnd()) {
        hash = body.CString();
    }
    return !body.Failed();
}

bool ReadProtect(TagReader& body, MovieInfo& info) {
    PasswordField protect;
    if (!ReadHashAfterReserved(body, protect.passwordHash)) {
        return false;
    }
    info.protect = protect;
    return true;
}

bool ReadDebugger(TagReader& body, std::uint16_t code, MovieInfo& info) {
    DebuggerInfo debugger;
    debugger.code = code;
    if (code == tagEnableDebugger2) {
        if (!ReadHashAfterReserved(body, debugger.passwordHash)) {
            return false;
        }
    } else if (!body.AtEnd()) {
        debugger.passwordHash = body.CString();
        if (body.Failed()) {
            return false;
        }
    }
    info.debugger = debugger;
    return true;
}

// A 16-bit count, then that many ids and names. The count is never used to size anything: a
// cut list ends at its last whole entry.
template <typename MakeEntry>
bool ReadIdNamePairs(TagReader& body, const MakeEntry& add) {
    const std::uint16_t count = body.U16();
    for (std::uint32_t i = 0; i < count && !body.Failed(); ++i) {
        const std::uint16_t id = body.U16();
        const std::string_view name = body.CString();
        if (!body.Failed()) {
            add(id, name);
        }
    }
    return !body.Failed();
}

bool ReadAssetNames(TagReader& body, std::vector<AssetName>& names) {
    return ReadIdNamePairs(body, [&names](std::uint16_t id, std::string_view name) {
        names.push_back({id, name});
    });
}

bool ReadImports(TagReader& body, std::uint16_t code, MovieInfo& info) {
    const std::string_view url = body.CString();
    if (code == tagImportAssets2) {
        body.Skip(kReservedWordBytes);
    }
    return ReadIdNamePairs(body, [&info, url](std::uint16_t id, std::string_view name) {
        info.imports.push_back({url, id, name});
    });
}

bool ReadFrameLabel(TagReader& body, const TagItem& item, MovieInfo& info) {
    const std::string_view name = body.CString();
    if (body.Failed()) {
        return false;
    }
    info.frameLabels.push_back({item.FrameIndex, item.Depth, name});
    return true;
}

bool ReadAbc(TagReader& body, const TagItem& item, std::int64_t index, MovieInfo& info,
             ReferenceCollector& references) {
    AbcEntry entry;
    entry.index = index;
    entry.size = item.BodyLength;
    if (item.TagCode == tagDoAbcDefine) {
        const std::uint32_t flags = body.U32();
        if (!body.Failed()) {
            entry.flags = flags;
        }
        const std::string_view name = body.CString();
        if (!body.Failed()) {
            entry.name = name;
        }
    }
    info.abc.push_back(entry);
    return !body.Failed() && CollectAbcStrings(body, references);
}

bool ReadBinaryData(TagReader& body, std::int64_t index, MovieInfo& info) {
    BinaryDataEntry entry;
    entry.index = index;
    entry.id = body.U16();
    body.Skip(kReservedBeforeBinaryData);
    if (body.Failed()) {
        return false;
    }
    entry.size = static_cast<std::int64_t>(body.Remaining());
    const MovieHead head = ParseMovieHead(body.Position(), body.Remaining());
    entry.signature = SignatureText(head.signature);
    entry.version = head.version;
    entry.declaredLength = head.declaredLength;
    info.binaryData.push_back(entry);
    return true;
}

std::int64_t ItemEnd(const TagItem& item) {
    return (item.Data - FileBytes) + item.HeaderLength +
           static_cast<std::int64_t>(static_cast<std::uint32_t>(item.BodyLength));
}

// Finds the sprites whose contents reach past their own bytes, from the items in list order: a
// sprite's contents are the deeper items that follow it.
class SpriteExtents {
  public:
    // `first` says that no earlier item lies at this item's offset.
    void Add(const TagItem& item, std::int64_t index, bool first) {
        CloseDownTo(item.Depth);
        if (!open_.empty()) {
            open_.back().contentsEnd = std::max(open_.back().contentsEnd, ItemEnd(item));
        }
        if (item.TagCode == tagDefineSprite) {
            const std::int64_t offset = item.Data - FileBytes;
            if (first) {
                firstIndex_.emplace(offset, index);
            }
            open_.push_back({item.Depth, offset, ItemEnd(item), 0});
        }
    }

    // Each sprite that ran on wherever the list holds it, at the first item of its offset.
    std::vector<std::int64_t> RunOnIndices() {
        CloseDownTo(0);
        std::sort(runOn_.begin(), runOn_.end());
        runOn_.erase(std::unique(runOn_.begin(), runOn_.end()), runOn_.end());
        std::vector<std::int64_t> indices;
        indices.reserve(runOn_.size());
        for (const std::int64_t offset : runOn_) {
            indices.push_back(firstIndex_.at(offset));
        }
        std::sort(indices.begin(), indices.end());
        return indices;
    }

  private:
    struct Open {
        std::uint16_t depth;
        std::int64_t offset;
        std::int64_t end;
        std::int64_t contentsEnd;
    };

    // Closes the sprites at `depth` and deeper; what their contents reached, the enclosing
    // sprite's contents reached too.
    void CloseDownTo(std::uint16_t depth) {
        while (!open_.empty() && open_.back().depth >= depth) {
            const Open closed = open_.back();
            open_.pop_back();
            if (closed.contentsEnd > closed.end) {
                runOn_.push_back(closed.offset);
            }
            if (!open_.empty()) {
                open_.back().contentsEnd = std::max(open_.back().contentsEnd, closed.contentsEnd);
            }
        }
    }

    std::vector<Open> open_;
    // Offsets, once per item that ran on: a sprite the list holds twice may be here twice.
    std::vector<std::int64_t> runOn_;
    std::unordered_map<std::int64_t, std::int64_t> firstIndex_;
};

// Walks the list once; each item is read through a reader of its own body.
class InfoBuilder {
  public:
    explicit InfoBuilder(const CInputScript& movie) : movie_(movie) {}

    MovieInfo Build() {
        // One bit per byte of the file: an eighth of what the file itself holds.
        std::vector<bool> seenAt(static_cast<std::size_t>(FileBytesLength));
        SpriteExtents sprites;
        std::int64_t index = 0;
        for (const TagItem* item = movie_.FirstTag; item != nullptr; item = item->Next) {
            const auto offset = static_cast<std::size_t>(item->Data - FileBytes);
            const bool first = !seenAt[offset];
            sprites.Add(*item, index, first);
            if (first) {
                seenAt[offset] = true;
                Look(*item, index);
            }
            ++index;
        }
        info_.anomalies.runOnSprites = sprites.RunOnIndices();
        info_.urls = references_.TakeUrls();
        info_.files = references_.TakeFiles();
        for (std::size_t code = 0; code < codesSeen_.size(); ++code) {
            const auto tagCode = static_cast<std::uint16_t>(code);
            if (codesSeen_[code] && !IsFormatDefinedCode(tagCode)) {
                info_.anomalies.unknownCodes.push_back(tagCode);
            }
        }
        info_.anomalies.trailingBytes = TrailingBytes(movie_);
        return std::move(info_);
    }

  private:
    // Whether this is the first item of its kind; only the first one's fields are taken.
    static bool First(bool& seen) {
        const bool first = !seen;
        seen = true;
        return first;
    }

    void Look(const TagItem& item, std::int64_t index) {
        codesSeen_.set(item.TagCode);
        if (item.HeaderLength == kLongHeaderLength && item.BodyLength <= kShortHeaderMaxBody) {
            info_.anomalies.longHeaderShortBody.push_back(index);
        }
        TagReader body = TagReader::OfBody(item);
        bool whole = true;
        switch (item.TagCode) {
            case tagSetBackgroundColor:
                whole = !First(seenBackground_) || ReadBackgroundColor(body, info_);
                break;
            case tagFileAttributes:
                whole = !First(seenAttributes_) || ReadFileAttributes(body, info_);
                break;
            case tagMetadata:
                whole = !First(seenMetadata_) || ReadMetadata(body, info_);
                break;
            case tagProductInfo:
                whole = !First(seenProduct_) || ReadProductInfo(body, info_);
                break;
            case tagScriptLimits:
                whole = !First(seenLimits_) || ReadScriptLimits(body, info_);
                break;
            case tagProtect:
                whole = !First(seenProtect_) || ReadProtect(body, info_);
                break;
            case tagEnableDebugger:
            case tagEnableDebugger2:
                whole = !First(seenDebugger_) || ReadDebugger(body, item.TagCode, info_);
                break;
            case tagSymbolClass:
                whole = ReadAssetNames(body, info_.symbols);
                break;
            case tagExportAssets:
                whole = ReadAssetNames(body, info_.exports);
                break;
            case tagImportAssets:
            case tagImportAssets2:
                whole = ReadImports(body, item.TagCode, info_);
                break;
            case tagFrameLabel:
                whole = ReadFrameLabel(body, item, info_);
                break;
            case tagDoAction:
                whole = CollectActionStrings(body, references_);
                break;
            case tagDoInitAction:
                body.U16();  // the sprite the actions initialise
                whole = !body.Failed() && CollectActionStrings(body, references_);
                break;
            case tagDoAbc:
            case tagDoAbcDefine:
                whole = ReadAbc(body, item, index, info_, references_);
                break;
            case tagDefineBinaryData:
                whole = ReadBinaryData(body, index, info_);
                break;
            default:
                break;
        }
        if (!whole) {
            info_.anomalies.truncatedTags.push_back(index);
        }
    }

    const CInputScript& movie_;
    MovieInfo info_;
    ReferenceCollector references_;
    std::bitset<kTagCodeCount> codesSeen_;
    bool seenBackground_ = false;
    bool seenAttributes_ = false;
    bool seenMetadata_ = false;
    bool seenProduct_ = false;
    bool seenLimits_ = false;
    bool seenProtect_ = false;
    bool seenDebugger_ = false;
};

}  // namespace

MovieInfo ComputeMovieInfo(const CInputScript& movie) {
    return InfoBuilder(movie).Build();
}

std::optional<std::string> IsoUtcTime(std::uint64_t msSince1970) {
    // 10000-01-01T00:00:00Z: four digits of year no longer suffice.
    constexpr std::uint64_t kYear10000Ms = 253402300800000;
    if (msSince1970 >= kYear10000Ms) {
        return std::nullopt;
    }
    const auto seconds = static_cast<std::time_t>(msSince1970 / 1000);
    std::tm utc{};
    if (gmtime_r(&seconds, &utc) == nullptr) {
        return std::nullopt;
    }
    char text[96];  // room for any int values, though each fits its width
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03uZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<unsigned>(msSince1970 % 1000));
    return std::string(text);
}

}  // namespace velpin
