#include "base/error.h"
#include "codec/swfcodec.h"

#include <gtest/gtest.h>
#include <lzma.h>
#include <zlib.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/movie_builder.h"

using namespace velpin;

namespace {

using testmovie::Bytes;
using testmovie::Cat;

// Noise from a fixed seed, so every run sees the same movie.
Bytes Noise(std::size_t count, std::uint32_t seed) {
    return testmovie::Noise(count, seed);
}

// A few kilobytes of mixed compressible and incompressible tags: small enough to cut and flip
// at every tenth byte, large enough to span several coder blocks.
Bytes SmallMovie() {
    return testmovie::Movie(Cat(
        {testmovie::Tag(9, {0x10, 0x20, 0x30}), testmovie::Tag(21, Noise(1500, 7), true),
         testmovie::DoAction({0x07, 0x00}), testmovie::ShowFrame(),
         testmovie::Tag(6, Bytes(2000, 0x41), true), testmovie::ShowFrame(), testmovie::End()}));
}

// Well over one output chunk, so that the streaming through the fixed buffer is exercised.
Bytes LargeMovie() {
    Bytes tags;
    for (std::uint32_t i = 0; i < 6; ++i) {
        testmovie::Append(tags, testmovie::Tag(21, Noise(40000, i), true));
        testmovie::Append(tags, testmovie::Tag(6, Bytes(50000, static_cast<std::uint8_t>(i))));
        testmovie::Append(tags, testmovie::ShowFrame());
    }
    testmovie::Append(tags, testmovie::End());
    return testmovie::Movie(tags);
}

// The smallest thing that is still a movie: its 8-byte header and nothing else.
Bytes HeaderOnlyMovie() {
    return Cat({{'F', 'W', 'S', 9}, testmovie::U32(8)});
}

std::uint32_t U32At(const Bytes& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t{b[at + 3]} << 24;
}

void SetU32(Bytes& b, std::size_t at, std::uint32_t v) {
    const Bytes le = testmovie::U32(v);
    std::copy(le.begin(), le.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
}

struct Outcome {
    Bytes output;
    std::string error;  // empty on success
    ConversionSummary summary;
};

// Runs a conversion and checks what every conversion must keep, success or not: pieces no
// larger than the chunk, and never more output than the input's header declares.
Outcome Convert(const Bytes& input, std::optional<MovieCompression> compress = std::nullopt) {
    Outcome result;
    const ByteSink sink = [&](const std::uint8_t* bytes, std::size_t count) {
        EXPECT_GT(count, 0u);
        EXPECT_LE(count, kCodecChunkBytes);
        result.output.insert(result.output.end(), bytes, bytes + count);
    };
    try {
        result.summary = compress ? CompressMovie(input.data(), input.size(), *compress, sink)
                                  : InflateMovie(input.data(), input.size(), sink);
    } catch (const Error& e) {
        result.error = e.what();
        EXPECT_FALSE(result.error.empty());
    }
    if (!compress && input.size() >= 8) {
        EXPECT_LE(result.output.size(), U32At(input, 4));
    }
    return result;
}

Bytes Compressed(const Bytes& movie, MovieCompression method) {
    Outcome c = Convert(movie, method);
    EXPECT_EQ(c.error, "");
    return c.output;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class CodecTest : public testing::TestWithParam<MovieCompression> {
  protected:
    bool Lzma() const { return GetParam() == MovieCompression::Lzma; }
    // Where the compressed data starts.
    std::size_t DataStart() const { return Lzma() ? 17 : 8; }
};

INSTANTIATE_TEST_SUITE_P(Codecs, CodecTest,
                         testing::Values(MovieCompression::Zlib, MovieCompression::Lzma),
                         [](const testing::TestParamInfo<MovieCompression>& info) {
                             return info.param == MovieCompression::Zlib ? "Zlib" : "Lzma";
                         });

TEST_P(CodecTest, RoundTripGivesTheMovieBackByteForByte) {
    for (const Bytes& movie :
         {SmallMovie(), LargeMovie(), HeaderOnlyMovie(), testmovie::Movie(testmovie::End())}) {
        SCOPED_TRACE(movie.size());
        const Outcome packed = Convert(movie, GetParam());
        ASSERT_EQ(packed.error, "");
        const Bytes& c = packed.output;
        ASSERT_GE(c.size(), DataStart());
        EXPECT_EQ(std::string(c.begin(), c.begin() + 3), Lzma() ? "ZWS" : "CWS");
        EXPECT_EQ(c[3], movie[3]);
        EXPECT_EQ(U32At(c, 4), movie.size());
        if (Lzma()) {
            EXPECT_EQ(U32At(c, 8), c.size() - 17);
        }
        EXPECT_EQ(packed.summary.outputBytes, c.size());
        EXPECT_EQ(packed.summary.toSignature, Lzma() ? "ZWS" : "CWS");

        const Outcome unpacked = Convert(c);
        ASSERT_EQ(unpacked.error, "");
        EXPECT_TRUE(unpacked.output == movie);
        EXPECT_EQ(unpacked.summary.fromSignature, Lzma() ? "ZWS" : "CWS");
        EXPECT_EQ(unpacked.summary.version, movie[3]);
        EXPECT_EQ(unpacked.summary.inputBytes, c.size());
        EXPECT_EQ(unpacked.summary.outputBytes, movie.size());
    }
}

// A round trip alone would pass with a matching pair of wrong coders, so the compressed form is
// also read back by the libraries' own reference paths.
TEST(CodecFormat, CwsBodyIsOneZlibStreamOfEverythingAfterTheHeader) {
    const Bytes movie = LargeMovie();
    const Bytes c = Compressed(movie, MovieCompression::Zlib);
    Bytes body(movie.size() - 8);
    uLongf bodyLength = static_cast<uLongf>(body.size());
    ASSERT_EQ(uncompress(body.data(), &bodyLength, c.data() + 8, static_cast<uLong>(c.size() - 8)),
              Z_OK);
    ASSERT_EQ(bodyLength, body.size());
    EXPECT_TRUE(std::equal(body.begin(), body.end(), movie.begin() + 8));
}

TEST(CodecFormat, ZwsBodyIsLzmaAloneDataWithoutItsSizeField) {
    const Bytes movie = LargeMovie();
    const Bytes c = Compressed(movie, MovieCompression::Lzma);
    // Rebuild the classic .lzma file: the 5 property bytes, the 64-bit uncompressed size, data.
    Bytes alone(c.begin() + 12, c.begin() + 17);
    testmovie::Append(alone, testmovie::U32(static_cast<std::uint32_t>(movie.size() - 8)));
    testmovie::Append(alone, testmovie::U32(0));
    alone.insert(alone.end(), c.begin() + 17, c.end());

    lzma_stream s = LZMA_STREAM_INIT;
    ASSERT_EQ(lzma_alone_decoder(&s, UINT64_MAX), LZMA_OK);
    Bytes body(movie.size() - 8 + 1);
    s.next_in = alone.data();
    s.avail_in = alone.size();
    s.next_out = body.data();
    s.avail_out = body.size();
    const lzma_ret rc = lzma_code(&s, LZMA_FINISH);
    const std::size_t produced = body.size() - s.avail_out;
    const std::size_t unread = s.avail_in;
    lzma_end(&s);
    ASSERT_EQ(rc, LZMA_STREAM_END);
    EXPECT_EQ(unread, 0u);
    ASSERT_EQ(produced, movie.size() - 8);
    EXPECT_TRUE(std::equal(body.begin(), body.begin() + static_cast<std::ptrdiff_t>(produced),
                           movie.begin() + 8));
}

// Encoders that write an end marker although the header gives the length exist in the wild;
// such a movie inflates like any other.
TEST(CodecFormat, ZwsWithEndMarkerInflates) {
    const Bytes movie = SmallMovie();
    lzma_options_lzma options{};
    ASSERT_FALSE(lzma_lzma_preset(&options, LZMA_PRESET_DEFAULT));
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    std::uint8_t props[5];
    ASSERT_EQ(lzma_properties_encode(&filters[0], props), LZMA_OK);
    lzma_stream s = LZMA_STREAM_INIT;
    ASSERT_EQ(lzma_raw_encoder(&s, filters), LZMA_OK);
    Bytes data(movie.size() * 2 + 1024);
    s.next_in = movie.data() + 8;
    s.avail_in = movie.size() - 8;
    s.next_out = data.data();
    s.avail_out = data.size();
    const lzma_ret rc = lzma_code(&s, LZMA_FINISH);
    data.resize(data.size() - s.avail_out);
    lzma_end(&s);
    ASSERT_EQ(rc, LZMA_STREAM_END);

    const Bytes zws = Cat({{'Z', 'W', 'S', movie[3]},
                           testmovie::U32(U32At(movie, 4)),
                           testmovie::U32(static_cast<std::uint32_t>(data.size())),
                           Bytes(props, props + 5),
                           data});
    const Outcome out = Convert(zws);
    ASSERT_EQ(out.error, "");
    EXPECT_TRUE(out.output == movie);
}

TEST(CodecFormat, ZwsDictionarySizeBeyondTheMovieDoesNotMatter) {
    const Bytes movie = SmallMovie();
    Bytes c = Compressed(movie, MovieCompression::Lzma);
    SetU32(c, 13, 0xFFFFFFFFu);
    const Outcome out = Convert(c);
    ASSERT_EQ(out.error, "");
    EXPECT_TRUE(out.output == movie);
}

TEST_P(CodecTest, EveryFlippedByteFailsOrKeepsTheDeclaredLength) {
    const Bytes movie = SmallMovie();
    const Bytes c = Compressed(movie, GetParam());
    int detected = 0;
    int flips = 0;
    for (std::size_t at = DataStart(); at < c.size(); at += 10) {
        SCOPED_TRACE(at);
        Bytes bad = c;
        bad[at] ^= 0xFF;
        const Outcome out = Convert(bad);
        ++flips;
        if (!out.error.empty()) {
            ++detected;
        } else {
            // LZMA data carries no checksum: a flip may decode to other bytes of the same length.
            EXPECT_TRUE(Lzma());
            EXPECT_EQ(out.output.size(), movie.size());
        }
    }
    // zlib's Adler-32 catches every one; LZMA catches most through its own structure.
    EXPECT_GT(detected, Lzma() ? flips / 2 : flips - 1);
}

TEST_P(CodecTest, EveryTruncationFails) {
    const Bytes c = Compressed(SmallMovie(), GetParam());
    for (std::size_t cut = 0; cut < c.size(); cut += 10) {
        SCOPED_TRACE(cut);
        const Outcome out = Convert(Bytes(c.begin(), c.begin() + static_cast<std::ptrdiff_t>(cut)));
        ASSERT_NE(out.error, "");
        if (cut < DataStart()) {
            EXPECT_TRUE(Contains(out.error, "too short")) << out.error;
        }
    }
    // The last byte matters too.
    EXPECT_NE(Convert(Bytes(c.begin(), c.end() - 1)).error, "");
}

TEST_P(CodecTest, DeclaredLengthTooSmallStopsAtThatLength) {
    const Bytes movie = LargeMovie();
    for (std::uint32_t declared : {std::uint32_t(movie.size() - 1), std::uint32_t(1000)}) {
        SCOPED_TRACE(declared);
        Bytes c = Compressed(movie, GetParam());
        SetU32(c, 4, declared);
        const Outcome out = Convert(c);
        EXPECT_TRUE(Contains(out.error, "declared length of " + std::to_string(declared)))
            << out.error;
    }
}

TEST_P(CodecTest, DeclaredLengthTooLargeFails) {
    const Bytes movie = SmallMovie();
    Bytes c = Compressed(movie, GetParam());
    SetU32(c, 4, static_cast<std::uint32_t>(movie.size() + 1));
    const Outcome out = Convert(c);
    ASSERT_NE(out.error, "");
    if (!Lzma()) {
        // zlib's stream ends by itself, so the shortfall is reported as such.
        EXPECT_EQ(out.error, "the decompressed movie has " + std::to_string(movie.size()) +
                                 " bytes, but its header declares " +
                                 std::to_string(movie.size() + 1));
    }
}

TEST_P(CodecTest, DeclaredLengthsNoMovieCanHaveAreRefusedBeforeDecoding) {
    const struct {
        std::uint32_t declared;
        const char* expected;
    } rows[] = {
        {0, "the declared length of 0 bytes is smaller than the 8-byte header"},
        {7, "the declared length of 7 bytes is smaller than the 8-byte header"},
        {(256u << 20) + 1,
         "the declared length of 268435457 bytes is larger than the limit of 268435456 bytes"},
        {0xFFFFFFFFu,
         "the declared length of 4294967295 bytes is larger than the limit of 268435456 bytes"},
    };
    for (const auto& row : rows) {
        Bytes c = Compressed(SmallMovie(), GetParam());
        SetU32(c, 4, row.declared);
        const Outcome out = Convert(c);
        EXPECT_EQ(out.error, row.expected);
        EXPECT_TRUE(out.output.empty());
    }
}

TEST_P(CodecTest, BytesAfterTheStreamAreCountedAndRefused) {
    for (std::size_t extra : {1, 3, 100}) {
        Bytes c = Compressed(SmallMovie(), GetParam());
        c.insert(c.end(), extra, 0);
        const Outcome out = Convert(c);
        EXPECT_EQ(out.error, std::to_string(extra) +
                                 (extra == 1 ? " byte follows" : " bytes follow") +
                                 " the end of the compressed data");
    }
}

TEST(CodecFormat, ZwsDataSizeFieldMustMatchTheData) {
    const Bytes movie = SmallMovie();
    const Bytes good = Compressed(movie, MovieCompression::Lzma);
    const std::uint32_t dataBytes = U32At(good, 8);
    for (std::uint32_t field : {dataBytes - 1, dataBytes + 1, dataBytes + 5, 0u}) {
        Bytes c = good;
        SetU32(c, 8, field);
        EXPECT_EQ(Convert(c).error, "the header gives the LZMA data's size as " +
                                        std::to_string(field) + " bytes, but it has " +
                                        std::to_string(dataBytes) + " bytes");
    }
}

TEST(CodecFormat, UnsupportedLzmaPropertiesAreRefused) {
    Bytes c = Compressed(SmallMovie(), MovieCompression::Lzma);
    for (std::uint8_t props : {std::uint8_t{225}, std::uint8_t{0xFF}, std::uint8_t{4 + 9 * 1}}) {
        c[12] = props;
        EXPECT_TRUE(Contains(Convert(c).error, "LZMA properties are not supported")) << int{props};
    }
}

TEST(CodecInput, WrongKindOfMovieIsAClearError) {
    const Bytes fws = SmallMovie();
    const Bytes cws = Compressed(fws, MovieCompression::Zlib);
    const Bytes zws = Compressed(fws, MovieCompression::Lzma);
    Bytes wrongLength = fws;
    SetU32(wrongLength, 4, static_cast<std::uint32_t>(fws.size() + 1));
    const std::string size = std::to_string(fws.size());
    const Bytes notSwf = {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0};
    const Bytes binary = {0x00, 0x1F, 'X', 1, 8, 0, 0, 0};

    const struct {
        const char* name;
        Bytes input;
        std::optional<MovieCompression> compress;
        std::string expected;
    } rows[] = {
        {"fws to inflate", fws, std::nullopt,
         "the movie is not compressed: it is FWS, there is nothing to inflate"},
        {"cws to compress", cws, MovieCompression::Zlib,
         "the movie is already compressed: it is CWS, there is nothing to compress"},
        {"zws to compress", zws, MovieCompression::Zlib,
         "the movie is already compressed: it is ZWS, there is nothing to compress"},
        {"cws to compress --lzma", cws, MovieCompression::Lzma,
         "the movie is already compressed: it is CWS, there is nothing to compress"},
        {"other file to inflate", notSwf, std::nullopt,
         "not a SWF movie: it starts with \"GIF\" instead of \"FWS\", \"CWS\" or \"ZWS\""},
        {"binary to compress", binary, MovieCompression::Zlib,
         "not a SWF movie: it starts with \"\\x00\\x1FX\" instead of \"FWS\", \"CWS\" or \"ZWS\""},
        {"empty to inflate",
         {},
         std::nullopt,
         "the file is too short for a movie header: 0 bytes of 8"},
        {"7 bytes to compress", Bytes(fws.begin(), fws.begin() + 7), MovieCompression::Lzma,
         "the file is too short for a movie header: 7 bytes of 8"},
        {"wrong length to compress", wrongLength, MovieCompression::Zlib,
         "the header declares " + std::to_string(fws.size() + 1) + " bytes, but the file has " +
             size},
        {"short zws header", Bytes(zws.begin(), zws.begin() + 16), std::nullopt,
         "the file is too short for an LZMA-compressed movie's header: 16 bytes of 17"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Outcome out = Convert(row.input, row.compress);
        EXPECT_EQ(out.error, row.expected);
        EXPECT_TRUE(out.output.empty());
    }
}

// A small file that inflates to far more than it claims must stop at the claim, whatever the
// real size: that is what keeps a compressed bomb off the disk.
TEST(CodecInput, DecompressionBombStopsAtTheDeclaredLength) {
    Bytes body(8u << 20, 0);
    uLongf packedLength = compressBound(static_cast<uLong>(body.size()));
    Bytes packed(packedLength);
    ASSERT_EQ(compress(packed.data(), &packedLength, body.data(), static_cast<uLong>(body.size())),
              Z_OK);
    packed.resize(packedLength);
    const Bytes cws = Cat({{'C', 'W', 'S', 10}, testmovie::U32(4096), packed});
    const Outcome out = Convert(cws);
    EXPECT_EQ(out.error, "the decompressed data is longer than the declared length of 4096 bytes");
}

}  // namespace
