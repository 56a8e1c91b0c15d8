// The movie format's ADPCM sound data decoded into 16-bit samples. Small enough to write here, and
// no library in Debian decodes this variant: its packets of 4,096 samples each start with a
// plain sample and step index per channel, and its codes are 2 to 5 bits wide.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velpin {

// The samples `data` holds for `channels` (1 or 2) channels, interleaved, as far as whole samples
// go; at most `maxFrames` samples a channel.
std::vector<std::int16_t> DecodeAdpcm(const std::uint8_t* data, std::size_t size, unsigned channels,
                                      std::uint64_t maxFrames);

}  // namespace velpin
