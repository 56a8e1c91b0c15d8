// What a loaded movie declares about itself, which assets it exports and imports, which servers
// and files its code names, and what looks odd, read from the bodies of a few tags without
// decompiling anything. Every field is read through a TagReader bounded to its item's body, so a
// hostile movie can cut a field short but never make a read leave the item.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "swfff/document.h"

namespace velpin {

// The fields taken from the first item of their code: nothing when there is none, or when that
// first one is cut off.
struct ProductInfo {
    std::uint32_t productId = 0;
    std::uint32_t edition = 0;
    std::uint8_t majorVersion = 0;
    std::uint8_t minorVersion = 0;
    std::uint64_t build = 0;
    std::uint64_t compiledAtMs = 0;  // milliseconds since 1970, UTC
};

struct ScriptLimits {
    std::uint16_t maxRecursionDepth = 0;
    std::uint16_t scriptTimeoutSeconds = 0;
};

struct PasswordField {
    std::optional<std::string_view> passwordHash;
};

struct DebuggerInfo {
    std::uint16_t code = 0;  // EnableDebugger or EnableDebugger2
    std::optional<std::string_view> passwordHash;
};

// The list entries, over every item of their code.
struct AssetName {
    std::uint16_t id = 0;
    std::string_view name;
};

struct ImportedAsset {
    std::string_view url;
    std::uint16_t id = 0;
    std::string_view name;
};

struct FrameLabelEntry {
    std::uint16_t frame = 0;
    std::uint16_t depth = 0;
    std::string_view name;
};

struct AbcEntry {
    std::int64_t index = 0;                // the item's index in the list
    std::optional<std::string_view> name;  // only DoABC with flags has them
    std::optional<std::uint32_t> flags;
    std::int64_t size = 0;  // the item's body
};

struct BinaryDataEntry {
    std::int64_t index = 0;  // the item's index in the list
    std::uint16_t id = 0;
    std::int64_t size = 0;                      // the data after the id and the reserved bytes
    std::optional<std::string_view> signature;  // "FWS", "CWS" or "ZWS" when the data is a movie
    // The movie's header: byte 3, and bytes 4 to 7, the length it declares once inflated.
    std::optional<std::uint8_t> version;
    std::optional<std::uint32_t> declaredLength;
};

struct MovieAnomalies {
    std::int64_t trailingBytes = 0;
    // Items whose decoding ran past their body or past one of their action records, in list
    // order.
    std::vector<std::int64_t> truncatedTags;
    // Codes neither the vocabulary names nor the format defines, distinct and sorted.
    std::vector<std::uint16_t> unknownCodes;
    // Items whose long header holds a length the short header could have held, in list order.
    std::vector<std::int64_t> longHeaderShortBody;
    // Sprites whose contents were walked past the sprite's declared end, in list order.
    std::vector<std::int64_t> runOnSprites;
};

// Every string is a view into FileBytes: an info is valid as long as its movie stays loaded.
struct MovieInfo {
    std::optional<std::array<std::uint8_t, 3>> backgroundColor;  // red, green, blue
    std::optional<std::uint8_t> fileAttributes;                  // the first flag byte
    std::optional<std::string_view> metadata;
    std::optional<ProductInfo> productInfo;
    std::optional<ScriptLimits> scriptLimits;
    std::optional<PasswordField> protect;
    std::optional<DebuggerInfo> debugger;

    std::vector<AssetName> symbols;
    std::vector<AssetName> exports;
    std::vector<ImportedAsset> imports;
    std::vector<FrameLabelEntry> frameLabels;
    std::vector<AbcEntry> abc;
    std::vector<BinaryDataEntry> binaryData;

    // Distinct, sorted by their bytes.
    std::vector<std::string_view> urls;
    std::vector<std::string_view> files;

    MovieAnomalies anomalies;
};

// The bits of the FileAttributes flag byte.
enum FileAttributeBits : std::uint8_t {
    attributeUseNetwork = 0x01,
    attributeRelativeUrls = 0x02,
    attributeSuppressCrossDomainCaching = 0x04,
    attributeActionScript3 = 0x08,
    attributeHasMetadata = 0x10,
    attributeUseGpu = 0x20,
    attributeUseDirectBlit = 0x40,
};

// Looks at every item of the loaded `movie`'s list, at any depth, in list order. A sprite that
// runs on lists the tags after it again; each tag is taken once, at the first item of its offset,
// and every list of items gives that first item's index.
MovieInfo ComputeMovieInfo(const CInputScript& movie);

// A time in milliseconds since 1970 as ISO 8601 UTC with milliseconds, "2011-10-31T18:07:51.474Z";
// nothing from the year 10000 on, which the form cannot show.
std::optional<std::string> IsoUtcTime(std::uint64_t msSince1970);

}  // namespace velpin
