// Inflates arbitrary bytes as a compressed movie (CWS or ZWS). What inflates must be an FWS movie
// of exactly its declared length, delivered in bounded pieces, and compressing it again and
// inflating that must give back the same bytes. Bytes after the end of the stream, where taken,
// leave the movie before them as the stream alone gives it.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/error.h"
#include "codec/swfcodec.h"
#include "fuzz/fuzz_check.h"

using namespace velpin;

namespace {

// Larger results are only counted: a few compressed bytes may stand for up to 256 MiB.
constexpr std::size_t kKeptBytes = 4u << 20;

struct Inflated {
    std::vector<std::uint8_t> bytes;
    std::uint64_t total = 0;
    bool kept = true;
};

bool Inflate(const std::uint8_t* data, std::size_t size, Inflated& out, ConversionSummary& summary,
             std::size_t* trailing = nullptr) {
    try {
        summary = InflateMovie(
            data, size,
            [&](const std::uint8_t* piece, std::size_t count) {
                FUZZ_CHECK(count > 0 && count <= kCodecChunkBytes);
                out.total += count;
                FUZZ_CHECK(out.total <= kMaxInflatedMovieBytes);
                if (out.total <= kKeptBytes) {
                    out.bytes.insert(out.bytes.end(), piece, piece + count);
                } else {
                    out.kept = false;
                }
            },
            trailing);
    } catch (const Error& e) {
        FUZZ_CHECK(e.what()[0] != '\0');
        return false;
    }
    return true;
}

std::vector<std::uint8_t> Compress(const std::vector<std::uint8_t>& movie,
                                   MovieCompression method) {
    std::vector<std::uint8_t> out;
    const ConversionSummary summary = CompressMovie(
        movie.data(), movie.size(), method, [&](const std::uint8_t* piece, std::size_t count) {
            FUZZ_CHECK(count > 0 && count <= kCodecChunkBytes);
            out.insert(out.end(), piece, piece + count);
        });
    FUZZ_CHECK(summary.outputBytes == out.size());
    FUZZ_CHECK(summary.inputBytes == movie.size());
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Taking bytes after the stream: the movie before them is the one the stream alone gives.
    Inflated taken;
    ConversionSummary takenSummary;
    std::size_t trailing = 0;
    const bool takes = Inflate(data, size, taken, takenSummary, &trailing);
    FUZZ_CHECK(takes || trailing == 0);
    Inflated inflated;
    ConversionSummary summary;
    if (!Inflate(data, size, inflated, summary)) {
        if (takes && trailing > 0) {
            Inflated alone;
            ConversionSummary aloneSummary;
            FUZZ_CHECK(Inflate(data, size - trailing, alone, aloneSummary));
            FUZZ_CHECK(alone.total == taken.total && alone.bytes == taken.bytes);
        }
        return 0;
    }
    FUZZ_CHECK(takes && trailing == 0 && taken.bytes == inflated.bytes);
    FUZZ_CHECK(summary.fromSignature == "CWS" || summary.fromSignature == "ZWS");
    FUZZ_CHECK(summary.toSignature == "FWS");
    FUZZ_CHECK(summary.inputBytes == size);
    FUZZ_CHECK(summary.outputBytes == inflated.total);
    FUZZ_CHECK(inflated.total >= 8);
    FUZZ_CHECK(summary.version == data[3]);
    if (!inflated.kept) {
        return 0;
    }
    const std::vector<std::uint8_t>& movie = inflated.bytes;
    FUZZ_CHECK(std::memcmp(movie.data(), "FWS", 3) == 0);
    FUZZ_CHECK(movie[3] == data[3]);
    const std::uint32_t declared = movie[4] | (movie[5] << 8) | (movie[6] << 16) |
                                   (static_cast<std::uint32_t>(movie[7]) << 24);
    FUZZ_CHECK(declared == movie.size());

    // The LZMA encoder sets up about 100 MiB for every call, so its round trip runs for the
    // inputs that came in as ZWS only; zlib's runs always.
    const bool lzmaToo = summary.fromSignature == "ZWS";
    for (const MovieCompression method : {MovieCompression::Zlib, MovieCompression::Lzma}) {
        if (method == MovieCompression::Lzma && !lzmaToo) {
            continue;
        }
        const std::vector<std::uint8_t> compressed = Compress(movie, method);
        Inflated again;
        ConversionSummary againSummary;
        FUZZ_CHECK(Inflate(compressed.data(), compressed.size(), again, againSummary));
        FUZZ_CHECK(again.kept && again.bytes == movie);
    }
    return 0;
}
