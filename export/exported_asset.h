// What an export says of each asset it found in a movie, as plain data: one line of the
// manifest.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace velpin {

enum class AssetKind { Image, Sound, Data, Script };

// How a sound is stored: the format's name and the figures its header declares.
struct SoundFigures {
    std::string format;
    std::uint32_t rate = 0;  // samples a second
    std::uint32_t channels = 0;
    std::uint32_t sampleCount = 0;
};

struct ExportedAsset {
    std::int64_t index = 0;  // the item's index, as `tags` numbers it
    std::uint16_t code = 0;
    std::optional<std::uint16_t> id;  // the character id; none for a tag that has none
    AssetKind kind = AssetKind::Data;
    std::optional<std::string> file;  // its name in the folder, once written
    std::optional<std::uint64_t> size;
    std::optional<std::string> sha256;
    std::optional<std::uint32_t> width;  // images
    std::optional<std::uint32_t> height;
    std::optional<SoundFigures> sound;  // sounds, when the header could be read
    std::optional<std::string> error;   // why nothing was written
};

// Appends the manifest line of `asset`, its line end included, to `out`.
using ManifestLineWriter = std::function<void(const ExportedAsset& asset, std::string& out)>;

}  // namespace velpin
