// WAV files of PCM samples. The header is 44 bytes of fixed fields, small enough to write here.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codec/swfcodec.h"

namespace velpin {

struct WavShape {
    std::uint32_t rate = 0;
    std::uint32_t channels = 1;
    std::uint32_t bitsPerSample = 16;  // 8 (unsigned) or 16 (signed, little-endian)
};

// Writes the WAV file of the little-endian samples `pcm` to `sink`; `size` is a whole number of
// sample frames.
void WriteWavFile(const WavShape& shape, const std::uint8_t* pcm, std::size_t size,
                  const ByteSink& sink);

}  // namespace velpin
