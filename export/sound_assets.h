// The sounds of a movie as files: DefineSound as MP3 (without its seek-samples word), as WAV
// (uncompressed, or ADPCM decoded), or else its data as stored; and a timeline's stream sound,
// its SoundStreamBlocks joined, as one MP3 when it is MP3.
#pragma once

#include <cstdint>
#include <optional>

#include "export/asset_plan.h"
#include "swfff/document.h"

namespace velpin {

enum SoundTagCodes : std::uint16_t {
    tagDefineSound = 14,
    tagSoundStreamHead = 18,
    tagSoundStreamBlock = 19,
    tagSoundStreamHead2 = 45,
};

// The plan for the DefineSound item `item` at `index`. Its bytes point into `item`.
AssetPlan PlanSound(const TagItem& item, std::int64_t index);

// The plan for the stream sound that the SoundStreamHead or SoundStreamHead2 item `head` at
// `index` starts: the blocks of its own timeline that follow it, up to the timeline's end or its
// next head. `spriteId` is the sprite whose timeline it is, none on the movie's own. Nothing
// when no block follows.
std::optional<AssetPlan> PlanStreamSound(const TagItem& head, std::int64_t index,
                                         std::optional<std::uint16_t> spriteId);

}  // namespace velpin
