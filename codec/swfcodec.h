// Converts between uncompressed movies ("FWS") and the two compressed forms most real movies come
// in: "CWS" (a zlib stream) and "ZWS" (LZMA). zlib and liblzma do the coding; this unit checks
// the container around it. No toolkit, no files: bytes in, bytes out through a sink.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "codec/signature.h"

namespace velpin {

// The largest uncompressed movie a conversion produces or accepts. Real movies are far smaller;
// the cap keeps a hostile length field or a decompression bomb from filling the disk.
inline constexpr std::uint32_t kMaxInflatedMovieBytes = 256u << 20;
// The largest input a conversion reads for movies of up to `movieBytes`. It leaves room for the
// few bytes per block that both coders add when a movie of the largest size does not compress at
// all, so that such a movie still comes back from its own compressed form.
constexpr std::uint64_t CodecInputLimit(std::uint64_t movieBytes) {
    return movieBytes + (movieBytes >> 4);
}
inline constexpr std::uint64_t kMaxCodecInputBytes = CodecInputLimit(kMaxInflatedMovieBytes);

// The most stored bytes a compressed movie of `movieBytes` can take: what both coders add to a
// movie that does not compress at all, a few bytes per block and the headers, with room to spare.
// More than this is no honest movie of that length, and is refused before it is read whole.
constexpr std::uint64_t MostCompressedBytes(std::uint64_t movieBytes) {
    return movieBytes + (movieBytes >> 4) + 1024;
}

enum class MovieCompression { Zlib, Lzma };

// Receives the converted movie from its first byte to its last, in pieces of at most
// kCodecChunkBytes. What it throws ends the conversion and passes through unchanged.
using ByteSink = std::function<void(const std::uint8_t* bytes, std::size_t count)>;
inline constexpr std::size_t kCodecChunkBytes = 64 * 1024;

struct ConversionSummary {
    std::string fromSignature;  // "CWS", "ZWS" or "FWS"
    std::string toSignature;
    int version = 0;  // the movie's SWF version; conversion keeps it
    std::uint64_t inputBytes = 0;
    std::uint64_t outputBytes = 0;
};

// Turns a CWS or ZWS movie into the FWS movie it holds. Raises an Error about the input when it is
// not a compressed movie, is corrupt or truncated, has bytes after the compressed data, or does not
// decompress to exactly its declared length; std::bad_alloc when a coder runs out of memory. The
// sink may have received part of a movie before an error: the caller discards it, or reads what
// came as far as it goes. With `trailing`, bytes after the end of the compressed data are no
// error: the movie before them is whole, and their count is stored there. `maxMovieBytes` is
// the largest movie inflated, and CodecInputLimit of it the largest input read.
ConversionSummary InflateMovie(const std::uint8_t* movie, std::size_t length, const ByteSink& sink,
                               std::size_t* trailing = nullptr,
                               std::uint64_t maxMovieBytes = kMaxInflatedMovieBytes);

// "2 bytes follow the end of the compressed data": what InflateMovie says of such bytes.
std::string BytesAfterTheStream(std::size_t count);

// Turns an FWS movie into CWS (zlib, default level) or ZWS (LZMA, default preset). Raises
// an Error about the input when it is not an FWS movie whose declared length is its size.
ConversionSummary CompressMovie(const std::uint8_t* movie, std::size_t length,
                                MovieCompression method, const ByteSink& sink);

}  // namespace velpin
