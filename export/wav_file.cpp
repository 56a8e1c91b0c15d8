#include "export/wav_file.h"

#include <array>
#include <cstring>

namespace velpin {

namespace {

void PutU32(std::uint8_t* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

void PutU16(std::uint8_t* at, std::uint32_t value) {
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

}  // namespace

void WriteWavFile(const WavShape& shape, const std::uint8_t* pcm, std::size_t size,
                  const ByteSink& sink) {
    // RIFF chunks are padded to an even length; the pad byte is no part of the data's length.
    const std::size_t pad = size % 2;
    const std::uint32_t blockAlign = shape.channels * shape.bitsPerSample / 8;
    std::array<std::uint8_t, 44> header{};
    std::memcpy(&header[0], "RIFF", 4);
    PutU32(&header[4], static_cast<std::uint32_t>(36 + size + pad));
    std::memcpy(&header[8], "WAVEfmt ", 8);
    PutU32(&header[16], 16);
    PutU16(&header[20], 1);  // PCM
    PutU16(&header[22], shape.channels);
    PutU32(&header[24], shape.rate);
    PutU32(&header[28], shape.rate * blockAlign);
    PutU16(&header[32], blockAlign);
    PutU16(&header[34], shape.bitsPerSample);
    std::memcpy(&header[36], "data", 4);
    PutU32(&header[40], static_cast<std::uint32_t>(size));
    sink(header.data(), header.size());
    sink(pcm, size);
    if (pad != 0) {
        const std::uint8_t zero = 0;
        sink(&zero, 1);
    }
}

}  // namespace velpin
