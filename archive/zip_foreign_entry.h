// A zip entry compressed by a method our own decoders do not take (LZMA, zstd, PPMd and any
// other), decoded by libarchive. libarchive reads only whole zips, and gives up on the rest of one
// after an entry that does not decode: each such entry is handed to it as a zip of its own, so
// that one that does not decode costs only itself.
#pragma once

#include <cstdint>
#include <memory>

#include "archive/byte_stream.h"

namespace velpin {

struct ForeignEntry {
    std::uint16_t method = 0;
    std::uint64_t storedSize = 0;
    std::uint64_t size = 0;
    std::uint32_t crc = 0;
};

// The decoded data of the entry `entry` whose stored bytes `stored` delivers. Raises an entry
// Error when it does not decode, and when an LZMA entry asks for a dictionary of more than
// kMaxDecoderBytes, which libarchive would take on its word.
std::unique_ptr<ByteStream> ForeignEntryStream(std::unique_ptr<ByteStream> stored,
                                               const ForeignEntry& entry);

}  // namespace velpin
