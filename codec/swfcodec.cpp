#include "codec/swfcodec.h"

#include <lzma.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "base/error.h"
#include "codec/inflater.h"
#include "swfff/little_endian.h"

namespace velpin {

namespace {

// ZWS adds the LZMA data's size (u32) and the 5 LZMA property bytes before the data.
constexpr std::size_t kZwsHeaderBytes = 17;
constexpr std::size_t kLzmaPropsBytes = 5;

std::string SignatureName(Signature signature) {
    return std::string(*SignatureText(signature));
}

// Writes the signature of `signature` over the first three bytes of `header`.
void PutSignature(std::uint8_t* header, Signature signature) {
    std::memcpy(header, SignatureText(signature)->data(), 3);
}

std::string Bytes(std::uint64_t count) {
    return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

[[noreturn]] void Fail(const std::string& why) {
    throw Error::Content(ErrorSubject::Input, why);
}

std::string NotAMovie(const std::uint8_t* movie) {
    std::string shown;
    for (int i = 0; i < 3; ++i) {
        const unsigned char c = movie[i];
        if (c >= 0x20 && c < 0x7F) {
            shown += static_cast<char>(c);
        } else {
            static const char kHex[] = "0123456789ABCDEF";
            shown += "\\x";
            shown += kHex[c >> 4];
            shown += kHex[c & 15];
        }
    }
    return "not a SWF movie: it starts with \"" + shown +
           "\" instead of \"FWS\", \"CWS\" or \"ZWS\"";
}

// Passes decompressed body bytes on, and stops the moment they would go past the body length the
// header declares, so that a small file cannot make the output grow without bound.
class BoundedBody {
  public:
    BoundedBody(const ByteSink& sink, std::uint32_t declaredLength)
        : sink_(sink),
          declaredLength_(declaredLength),
          bodyLimit_(declaredLength - kMovieHeadBytes) {}

    void Put(const std::uint8_t* bytes, std::size_t count) {
        if (count > bodyLimit_ - produced_) {
            Fail("the decompressed data is longer than the declared length of " +
                 Bytes(declaredLength_));
        }
        if (count > 0) {
            sink_(bytes, count);
            produced_ += count;
        }
    }

    std::uint64_t Produced() const { return produced_; }
    std::uint64_t Limit() const { return bodyLimit_; }

    [[noreturn]] void FailTruncated() const {
        Fail("the compressed data ends early, after " + Bytes(produced_ + kMovieHeadBytes) +
             " of the declared " + std::to_string(declaredLength_));
    }

    void CheckComplete() const {
        if (produced_ != bodyLimit_) {
            Fail("the decompressed movie has " + Bytes(produced_ + kMovieHeadBytes) +
                 ", but its header declares " + std::to_string(declaredLength_));
        }
    }

  private:
    const ByteSink& sink_;
    std::uint32_t declaredLength_;
    std::uint64_t bodyLimit_;
    std::uint64_t produced_ = 0;
};

// What follows the end of the compressed data: an error, or counted in `trailing` when the caller
// takes such a movie.
void CheckNothingFollows(std::size_t leftBytes, std::size_t* trailing) {
    if (trailing != nullptr) {
        *trailing = leftBytes;
        return;
    }
    if (leftBytes > 0) {
        Fail(BytesAfterTheStream(leftBytes));
    }
}

// zlib still compresses: CWS is made at zlib's default level, as every tool that writes it does.
class ZStream {
  public:
    ZStream() {
        const int rc = deflateInit(&z, Z_DEFAULT_COMPRESSION);
        if (rc == Z_MEM_ERROR) {
            throw std::bad_alloc();
        }
        if (rc != Z_OK) {
            Fail("zlib could not start: error " + std::to_string(rc));
        }
    }
    ZStream(const ZStream&) = delete;
    ZStream& operator=(const ZStream&) = delete;
    ~ZStream() { deflateEnd(&z); }

    z_stream z{};
};

class LzmaStream {
  public:
    LzmaStream() = default;
    LzmaStream(const LzmaStream&) = delete;
    LzmaStream& operator=(const LzmaStream&) = delete;
    ~LzmaStream() { lzma_end(&s); }

    lzma_stream s = LZMA_STREAM_INIT;
};

bool InflateBodyWhole(const std::uint8_t* data, std::size_t length, BoundedBody& body,
                      std::size_t* trailing) {
    // Larger bodies, and any body that does not decode whole, stream through a chunk; the
    // streaming decoder also says what is wrong.
    if (body.Limit() > kMaxWholeInflateBytes) {
        return false;
    }
    // Not zeroed: the decoder writes every byte that is passed on.
    const std::unique_ptr<std::uint8_t[]> whole(new std::uint8_t[body.Limit()]);
    std::size_t used = 0;
    if (!InflateWhole(DeflateWrapper::Zlib, data, length, whole.get(), body.Limit(), used)) {
        return false;
    }
    for (std::size_t at = 0; at < body.Limit(); at += kCodecChunkBytes) {
        body.Put(whole.get() + at, std::min<std::size_t>(kCodecChunkBytes, body.Limit() - at));
    }
    CheckNothingFollows(length - used, trailing);
    return true;
}

void InflateZlib(const std::uint8_t* data, std::size_t length, BoundedBody& body,
                 std::size_t* trailing) {
    if (InflateBodyWhole(data, length, body, trailing)) {
        return;
    }
    Inflater inflater(DeflateWrapper::Zlib);
    // Callers cap the input far below 4 GiB, so it is handed over in one piece.
    inflater.SetInput(data, length);
    std::vector<std::uint8_t> chunk(kCodecChunkBytes);
    for (;;) {
        const Inflater::Step step = inflater.Decode(chunk.data(), chunk.size());
        body.Put(chunk.data(), step.produced);
        if (!step.corrupt.empty()) {
            Fail("the compressed data is corrupt: " + step.corrupt);
        }
        if (step.ended) {
            CheckNothingFollows(inflater.InputLeft(), trailing);
            body.CheckComplete();
            return;
        }
        if (step.produced < chunk.size()) {
            // With room left for output, the decoder can only be waiting for input that is not
            // there.
            body.FailTruncated();
        }
    }
}

using LzmaOptions = std::unique_ptr<lzma_options_lzma, decltype(&std::free)>;

// The decoder options the 5 LZMA property bytes of a ZWS movie give, for a body of at most
// `bodyBytes`.
LzmaOptions ZwsLzmaOptions(const std::uint8_t* props, std::uint64_t bodyBytes) {
    // ZWS stores raw LZMA1 data whose end the header's uncompressed length gives; the encoder
    // may still have written an end marker there, which LZMA1EXT accepts at exactly that point.
    lzma_filter filter{LZMA_FILTER_LZMA1EXT, nullptr};
    const lzma_ret rc = lzma_properties_decode(&filter, nullptr, props, kLzmaPropsBytes);
    LzmaOptions options(static_cast<lzma_options_lzma*>(filter.options), &std::free);
    if (rc == LZMA_MEM_ERROR) {
        throw std::bad_alloc();
    }
    if (rc != LZMA_OK) {
        Fail("the LZMA properties are not supported: first property byte " +
             std::to_string(props[0]));
    }
    options->ext_flags = LZMA_LZMA1EXT_ALLOW_EOPM;
    lzma_set_ext_size(*options, bodyBytes);
    // No match reaches back further than the body is long, so a larger dictionary than that
    // would only let the property bytes decide how much memory is taken.
    options->dict_size = static_cast<std::uint32_t>(
        std::clamp<std::uint64_t>(options->dict_size, LZMA_DICT_SIZE_MIN,
                                  std::max<std::uint64_t>(bodyBytes, LZMA_DICT_SIZE_MIN)));
    return options;
}

void StartLzmaDecoder(LzmaStream& stream, lzma_options_lzma& options) {
    const lzma_filter filters[2] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    const lzma_ret rc = lzma_raw_decoder(&stream.s, filters);
    if (rc == LZMA_MEM_ERROR) {
        throw std::bad_alloc();
    }
    if (rc != LZMA_OK) {
        Fail("the LZMA properties are not supported: liblzma error " + std::to_string(rc));
    }
}

// Raises what a step of the decoder that returned `rc`, short of the end of the data, says is
// wrong; nothing when the decoding can go on. `got` is what the step produced.
void CheckLzmaStep(lzma_ret rc, std::size_t got, const lzma_stream& s, const BoundedBody& body) {
    switch (rc) {
        case LZMA_OK:
            if (got == 0 && s.avail_in == 0) {
                body.FailTruncated();
            }
            return;
        case LZMA_BUF_ERROR:
            body.FailTruncated();
        case LZMA_DATA_ERROR:
            if (body.Produced() == body.Limit()) {
                // The declared length was reached but the data neither ends nor marks its end
                // there: either the length is too small or the last bytes are damaged.
                Fail("the LZMA data does not end at the declared length of " +
                     Bytes(body.Limit() + kMovieHeadBytes) +
                     ": the length is too small or the data is corrupt");
            }
            Fail("the LZMA data is corrupt");
        case LZMA_MEM_ERROR:
            throw std::bad_alloc();
        default:
            Fail("liblzma failed: error " + std::to_string(rc));
    }
}

void InflateLzma(const std::uint8_t* movie, std::size_t length, BoundedBody& body,
                 std::size_t* trailing) {
    const std::uint32_t declaredDataBytes = LittleU32(movie + kMovieHeadBytes);
    const std::size_t dataBytes = length - kZwsHeaderBytes;
    const LzmaOptions options = ZwsLzmaOptions(movie + 12, body.Limit());
    LzmaStream stream;
    StartLzmaDecoder(stream, *options);
    lzma_stream& s = stream.s;
    s.next_in = movie + kZwsHeaderBytes;
    s.avail_in = dataBytes;
    std::vector<std::uint8_t> chunk(kCodecChunkBytes);
    for (;;) {
        s.next_out = chunk.data();
        s.avail_out = chunk.size();
        // All input is present, so FINISH: the decoder then reports running out as an error.
        const lzma_ret rc = lzma_code(&s, LZMA_FINISH);
        const std::size_t got = chunk.size() - s.avail_out;
        body.Put(chunk.data(), got);
        if (rc != LZMA_STREAM_END) {
            CheckLzmaStep(rc, got, s, body);
            continue;
        }
        CheckNothingFollows(s.avail_in, trailing);
        body.CheckComplete();
        const std::uint64_t usedBytes = dataBytes - s.avail_in;
        if (usedBytes != declaredDataBytes) {
            Fail("the header gives the LZMA data's size as " + Bytes(declaredDataBytes) +
                 ", but it has " + Bytes(usedBytes));
        }
        return;
    }
}

// Checks the FWS movie to be compressed and returns its head.
MovieHead CheckUncompressed(const std::uint8_t* movie, std::size_t length) {
    if (length < kMovieHeadBytes) {
        Fail("the file is too short for a movie header: " + Bytes(length) + " of 8");
    }
    const MovieHead head = ParseMovieHead(movie, length);
    const Signature signature = head.signature;
    if (IsCompressed(signature)) {
        Fail("the movie is already compressed: it is " + SignatureName(signature) +
             ", there is nothing to compress");
    }
    if (signature != Signature::Fws) {
        Fail(NotAMovie(movie));
    }
    if (length > kMaxInflatedMovieBytes) {
        Fail("the movie is larger than the limit of " + Bytes(kMaxInflatedMovieBytes));
    }
    // Compressing a movie whose length field is wrong would make a file that no reader can
    // inflate back: its stream could never match the length.
    if (*head.declaredLength != length) {
        Fail("the header declares " + Bytes(*head.declaredLength) + ", but the file has " +
             std::to_string(length));
    }
    return head;
}

void DeflateZlib(const std::uint8_t* body, std::size_t length, const ByteSink& sink,
                 std::uint64_t& written) {
    ZStream stream;
    z_stream& z = stream.z;
    z.next_in = const_cast<Bytef*>(body);
    z.avail_in = static_cast<uInt>(length);
    std::vector<std::uint8_t> chunk(kCodecChunkBytes);
    for (;;) {
        z.next_out = chunk.data();
        z.avail_out = static_cast<uInt>(chunk.size());
        const int rc = deflate(&z, Z_FINISH);
        const std::size_t got = chunk.size() - z.avail_out;
        if (got > 0) {
            sink(chunk.data(), got);
            written += got;
        }
        if (rc == Z_STREAM_END) {
            return;
        }
        if (rc != Z_OK) {
            Fail("zlib failed: error " + std::to_string(rc));
        }
    }
}

// Returns the 5 property bytes followed by the raw LZMA data. The data has to be collected
// before anything is written, because the header ahead of it gives its size.
std::vector<std::uint8_t> DeflateLzma(const std::uint8_t* body, std::size_t length) {
    lzma_options_lzma options{};
    if (lzma_lzma_preset(&options, LZMA_PRESET_DEFAULT)) {
        Fail("liblzma has no default preset");
    }
    // No end marker: the header already gives the uncompressed length, and readers that rely on
    // it (as ZWS readers do) need not expect a marker after the last byte.
    options.ext_flags = 0;
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};

    std::vector<std::uint8_t> out(kLzmaPropsBytes);
    if (lzma_properties_encode(&filters[0], out.data()) != LZMA_OK) {
        Fail("liblzma could not encode the LZMA properties");
    }
    LzmaStream stream;
    lzma_ret rc = lzma_raw_encoder(&stream.s, filters);
    if (rc == LZMA_MEM_ERROR) {
        throw std::bad_alloc();
    }
    if (rc != LZMA_OK) {
        Fail("liblzma could not start: error " + std::to_string(rc));
    }
    lzma_stream& s = stream.s;
    s.next_in = body;
    s.avail_in = length;
    std::vector<std::uint8_t> chunk(kCodecChunkBytes);
    for (;;) {
        s.next_out = chunk.data();
        s.avail_out = chunk.size();
        rc = lzma_code(&s, LZMA_FINISH);
        out.insert(out.end(), chunk.data(), chunk.data() + (chunk.size() - s.avail_out));
        if (rc == LZMA_STREAM_END) {
            return out;
        }
        if (rc == LZMA_MEM_ERROR) {
            throw std::bad_alloc();
        }
        if (rc != LZMA_OK) {
            Fail("liblzma failed: error " + std::to_string(rc));
        }
    }
}

}  // namespace

std::string BytesAfterTheStream(std::size_t count) {
    return Bytes(count) + (count == 1 ? " follows" : " follow") + " the end of the compressed data";
}

ConversionSummary InflateMovie(const std::uint8_t* movie, std::size_t length, const ByteSink& sink,
                               std::size_t* trailing, std::uint64_t maxMovieBytes) {
    if (length < kMovieHeadBytes) {
        Fail("the file is too short for a movie header: " + Bytes(length) + " of 8");
    }
    const MovieHead head = ParseMovieHead(movie, length);
    const Signature signature = head.signature;
    if (signature == Signature::Fws) {
        Fail("the movie is not compressed: it is FWS, there is nothing to inflate");
    }
    if (!IsCompressed(signature)) {
        Fail(NotAMovie(movie));
    }
    if (length > CodecInputLimit(maxMovieBytes)) {
        Fail("the file is larger than the limit of " + Bytes(CodecInputLimit(maxMovieBytes)));
    }
    const std::uint32_t declaredLength = *head.declaredLength;
    if (declaredLength < kMovieHeadBytes) {
        Fail("the declared length of " + Bytes(declaredLength) +
             " is smaller than the 8-byte header");
    }
    // Checked up front: any such movie would end in one of the two errors anyway, exceeding
    // either the limit or its own length, but only after writing up to the limit.
    if (declaredLength > maxMovieBytes) {
        Fail("the declared length of " + Bytes(declaredLength) + " is larger than the limit of " +
             Bytes(maxMovieBytes));
    }

    if (signature == Signature::Zws && length < kZwsHeaderBytes) {
        Fail("the file is too short for an LZMA-compressed movie's header: " + Bytes(length) +
             " of " + std::to_string(kZwsHeaderBytes));
    }

    std::uint8_t header[kMovieHeadBytes] = {0, 0, 0, *head.version};
    PutSignature(header, Signature::Fws);
    PutLittleU32(header + 4, declaredLength);
    sink(header, sizeof header);
    BoundedBody body(sink, declaredLength);
    // Counted apart and handed over only once the movie is whole: bytes after a stream that
    // then falls short of its length are no sign of a whole movie.
    std::size_t left = 0;
    std::size_t* const counted = trailing != nullptr ? &left : nullptr;
    if (signature == Signature::Cws) {
        InflateZlib(movie + kMovieHeadBytes, length - kMovieHeadBytes, body, counted);
    } else {
        InflateLzma(movie, length, body, counted);
    }
    if (trailing != nullptr) {
        *trailing = left;
    }
    return ConversionSummary{SignatureName(signature), SignatureName(Signature::Fws), *head.version,
                             length, declaredLength};
}

ConversionSummary CompressMovie(const std::uint8_t* movie, std::size_t length,
                                MovieCompression method, const ByteSink& sink) {
    const MovieHead head = CheckUncompressed(movie, length);
    const std::uint8_t* body = movie + kMovieHeadBytes;
    const std::size_t bodyBytes = length - kMovieHeadBytes;
    std::uint8_t header[kZwsHeaderBytes - kLzmaPropsBytes] = {0, 0, 0, *head.version};
    PutLittleU32(header + 4, *head.declaredLength);

    std::uint64_t written = 0;
    if (method == MovieCompression::Zlib) {
        PutSignature(header, Signature::Cws);
        sink(header, kMovieHeadBytes);
        written = kMovieHeadBytes;
        DeflateZlib(body, bodyBytes, sink, written);
        return ConversionSummary{SignatureName(Signature::Fws), SignatureName(Signature::Cws),
                                 *head.version, length, written};
    }

    const std::vector<std::uint8_t> lzma = DeflateLzma(body, bodyBytes);
    PutSignature(header, Signature::Zws);
    PutLittleU32(header + kMovieHeadBytes,
                 static_cast<std::uint32_t>(lzma.size() - kLzmaPropsBytes));
    sink(header, sizeof header);
    for (std::size_t at = 0; at < lzma.size(); at += kCodecChunkBytes) {
        sink(lzma.data() + at, std::min(kCodecChunkBytes, lzma.size() - at));
    }
    written = sizeof header + lzma.size();
    return ConversionSummary{SignatureName(Signature::Fws), SignatureName(Signature::Zws),
                             *head.version, length, written};
}

}  // namespace velpin
