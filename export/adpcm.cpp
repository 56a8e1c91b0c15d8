#include "export/adpcm.h"

#include <algorithm>
#include <array>

namespace velpin {

namespace {

constexpr std::uint32_t kPacketFrames = 4096;

// IMA ADPCM's step sizes.
constexpr std::array<int, 89> kSteps{
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

// How the step index moves for each code's magnitude, by code width (2 to 5 bits).
const std::array<std::vector<int>, 4> kIndexMoves{{
    {-1, 2},
    {-1, -1, 2, 4},
    {-1, -1, -1, -1, 2, 4, 6, 8},
    {-1, -1, -1, -1, -1, -1, -1, -1, 1, 2, 4, 6, 8, 10, 13, 16},
}};

// Bits read first bit first, as the format stores them.
class BitReader {
  public:
    BitReader(const std::uint8_t* data, std::size_t size) : data_(data), bitsLeft_(size * 8) {}

    std::uint64_t BitsLeft() const { return bitsLeft_; }
    // Callers check BitsLeft() first.
    unsigned Read(unsigned count) {
        unsigned value = 0;
        for (unsigned i = 0; i < count; ++i) {
            const unsigned bit = data_[position_ / 8] >> (7 - position_ % 8) & 1;
            value = value << 1 | bit;
            ++position_;
        }
        bitsLeft_ -= count;
        return value;
    }

  private:
    const std::uint8_t* data_;
    std::uint64_t position_ = 0;
    std::uint64_t bitsLeft_;
};

struct Channel {
    int sample = 0;
    int index = 0;
};

}  // namespace

std::vector<std::int16_t> DecodeAdpcm(const std::uint8_t* data, std::size_t size, unsigned channels,
                                      std::uint64_t maxFrames) {
    std::vector<std::int16_t> samples;
    BitReader bits(data, size);
    if (bits.BitsLeft() < 2) {
        return samples;
    }
    const unsigned codeBits = bits.Read(2) + 2;
    const std::vector<int>& moves = kIndexMoves[codeBits - 2];
    const unsigned signBit = 1u << (codeBits - 1);
    std::array<Channel, 2> state{};
    for (std::uint64_t frame = 0; frame < maxFrames; ++frame) {
        const bool packetStart = frame % kPacketFrames == 0;
        if (bits.BitsLeft() < std::uint64_t{channels} * (packetStart ? 22 : codeBits)) {
            break;
        }
        for (unsigned c = 0; c < channels; ++c) {
            Channel& channel = state[c];
            if (packetStart) {
                channel.sample = static_cast<std::int16_t>(bits.Read(16));
                channel.index = static_cast<int>(bits.Read(6));
            } else {
                // Sign and magnitude: (magnitude + 1/2) steps over 2^(bits - 2).
                const unsigned code = bits.Read(codeBits);
                const unsigned magnitude = code & (signBit - 1);
                const int step = kSteps[static_cast<std::size_t>(channel.index)];
                const int delta =
                    static_cast<int>((2 * magnitude + 1) * static_cast<unsigned>(step) / signBit);
                channel.sample = std::clamp(
                    (code & signBit) != 0 ? channel.sample - delta : channel.sample + delta, -32768,
                    32767);
                channel.index = std::clamp(channel.index + moves[magnitude], 0, 88);
            }
            samples.push_back(static_cast<std::int16_t>(channel.sample));
        }
    }
    return samples;
}

}  // namespace velpin
