// The export's decoders on assets built here with known contents: each lossless bitmap format
// read back with libpng, JPEGs made with libjpeg in every way a movie stores them, sounds, and
// the bounds every hostile header meets.
#include <gtest/gtest.h>
#include <png.h>

#include <string>
#include <vector>

#include "base/error.h"
#include "export/image_assets.h"
#include "export/movie_export.h"
#include "export/sound_assets.h"
#include "input/movie_input.h"
#include "swfff/scoped_movie.h"
#include "tests/support/asset_builder.h"

using namespace velpin;
using namespace testmovie;

namespace {

Bytes Chars(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

// An item over `tag`, which must outlive it.
TagItem ItemOf(const Bytes& tag) {
    TagItem item{};
    item.Data = const_cast<std::uint8_t*>(tag.data());
    item.TagCode = static_cast<std::uint16_t>((tag[0] | tag[1] << 8) >> 6);
    item.HeaderLength = (tag[0] & 0x3F) == 0x3F ? 6 : 2;
    item.BodyLength = static_cast<std::int32_t>(tag.size() - item.HeaderLength);
    return item;
}

// What the plan writes, or "error: ..." when it has or raises an error.
struct Made {
    std::string extension;
    Bytes bytes;
    std::string error;
};

Made Make(const AssetPlan& plan) {
    Made made{plan.extension, {}, plan.asset.error.value_or("")};
    if (plan.produce) {
        try {
            plan.produce([&](const std::uint8_t* p, std::size_t n) {
                made.bytes.insert(made.bytes.end(), p, p + n);
            });
        } catch (const Error& error) {
            made.error = error.what();
        }
    }
    return made;
}

Made MakeImage(const Bytes& tag, const ByteSpan* tables = nullptr) {
    const TagItem item = ItemOf(tag);
    return Make(PlanImage(item, 0, tables));
}

// A PNG's pixels as RGBA, read with libpng's simplified API.
Bytes PngPixels(const Bytes& png, std::uint32_t& width, std::uint32_t& height) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) {
        return {};
    }
    image.format = PNG_FORMAT_RGBA;
    Bytes pixels(PNG_IMAGE_SIZE(image));
    png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr);
    width = image.width;
    height = image.height;
    return pixels;
}

struct LosslessRow {
    const char* what;
    Bytes tag;
    std::uint32_t width;
    std::uint32_t height;
    Bytes rgba;  // what libpng reads back
};

TEST(ExportImages, EachLosslessFormatGivesThePixelsPutIn) {
    const std::vector<LosslessRow> rows = {
        // Rows of 3 indices padded to 4; index 2 lies past a table of 2 colours.
        {"colour-mapped",
         Lossless(20, 3, 3, 2, {1, 2, 3, 250, 251, 252}, {0, 1, 2, 9, 1, 1, 0, 9}, 2),
         3,
         2,
         {1,   2,   3,   255, 250, 251, 252, 255, 0, 0, 0, 255,
          250, 251, 252, 255, 250, 251, 252, 255, 1, 2, 3, 255}},
        // 0 rrrrr ggggg bbbbb, first bit first; rows of 2 bytes padded to 4.
        {"15-bit",
         Lossless(20, 4, 1, 2, {}, {0x7C, 0x00, 9, 9, 0x00, 0x1F, 9, 9}),
         1,
         2,
         {255, 0, 0, 255, 0, 0, 255, 255}},
        {"24-bit",
         Lossless(20, 5, 2, 1, {}, {0, 10, 20, 30, 99, 255, 0, 7}),
         2,
         1,
         {10, 20, 30, 255, 255, 0, 7, 255}},
        {"32-bit premultiplied",
         Lossless(36, 5, 3, 1, {}, {128, 64, 0, 128, 0, 9, 9, 9, 255, 1, 2, 3}),
         3,
         1,
         {128, 0, 255, 128, 0, 0, 0, 0, 1, 2, 3, 255}},
        {"colour-mapped with alpha",
         Lossless(36, 3, 1, 1, {50, 25, 0, 50}, {0, 0, 0, 0}, 1),
         1,
         1,
         {255, 128, 0, 50}},
    };
    for (const LosslessRow& row : rows) {
        SCOPED_TRACE(row.what);
        const Made made = MakeImage(row.tag);
        ASSERT_EQ(made.error, "");
        EXPECT_EQ(made.extension, "png");
        std::uint32_t width = 0;
        std::uint32_t height = 0;
        EXPECT_EQ(PngPixels(made.bytes, width, height), row.rgba);
        EXPECT_EQ(width, row.width);
        EXPECT_EQ(height, row.height);
    }
}

// Where a JPEG's frame header starts: what comes before it (the tables) and after it (the image).
std::size_t FrameStart(const Bytes& jpeg) {
    for (std::size_t i = 2; i + 1 < jpeg.size(); i += 2 + (jpeg[i + 2] << 8 | jpeg[i + 3])) {
        if (jpeg[i + 1] == 0xC0) {
            return i;
        }
    }
    return 0;
}

Bytes Range(const Bytes& bytes, std::size_t from, std::size_t to) {
    return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                 bytes.begin() + static_cast<std::ptrdiff_t>(to));
}

TEST(ExportImages, JpegsComeOutAsTheJpegTheyHold) {
    const Bytes jpeg = Jpeg(5, 3);
    const std::size_t frame = FrameStart(jpeg);
    ASSERT_GT(frame, 0u);
    const Bytes eoi{0xFF, 0xD9};
    const Bytes soi{0xFF, 0xD8};
    // As old encoders wrote them: the tables as a stream of their own before the image's.
    const Bytes tables = Cat({Range(jpeg, 0, frame), eoi});
    const Bytes image = Cat({soi, Range(jpeg, frame, jpeg.size())});
    const ByteSpan tablesSpan{tables.data(), tables.size()};
    const Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D',
                       'R',  0,   0,   1,   2,    0,    0,    0,    3, 8, 6, 0,  0,   0};
    struct Row {
        const char* what;
        Bytes tag;
        const ByteSpan* tables;
        std::string extension;
        Bytes file;
        std::uint32_t width;
        std::uint32_t height;
    };
    const std::vector<Row> rows = {
        {"DefineBitsJPEG2", Tag(21, Cat({U16(1), jpeg}), true), nullptr, "jpg", jpeg, 5, 3},
        {"with the stray pair in front", Tag(21, Cat({U16(1), eoi, soi, jpeg}), true), nullptr,
         "jpg", jpeg, 5, 3},
        {"tables and image as two streams", Tag(21, Cat({U16(1), tables, image}), true), nullptr,
         "jpg", jpeg, 5, 3},
        {"DefineBits with JPEGTables", Tag(6, Cat({U16(1), image}), true), &tablesSpan, "jpg", jpeg,
         5, 3},
        {"DefineBitsJPEG3 without alpha", Tag(35, Cat({U16(1), U32(jpeg.size()), jpeg}), true),
         nullptr, "jpg", jpeg, 5, 3},
        {"DefineBitsJPEG4 without alpha",
         Tag(90, Cat({U16(1), U32(jpeg.size()), U16(0), jpeg}), true), nullptr, "jpg", jpeg, 5, 3},
        {"a PNG inside", Tag(21, Cat({U16(1), png}), true), nullptr, "png", png, 258, 3},
        {"a GIF inside", Tag(35, Cat({U16(1), U32(10), Chars("GIF89a"), {4, 1, 2, 0}, {1}}), true),
         nullptr, "gif", Cat({Chars("GIF89a"), {4, 1, 2, 0}}), 260, 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const TagItem item = ItemOf(row.tag);
        const AssetPlan plan = PlanImage(item, 0, row.tables);
        const Made made = Make(plan);
        ASSERT_EQ(made.error, "");
        EXPECT_EQ(made.extension, row.extension);
        EXPECT_EQ(made.bytes, row.file);
        EXPECT_EQ(plan.asset.width, row.width);
        EXPECT_EQ(plan.asset.height, row.height);
    }
}

TEST(ExportImages, AJpegWithAlphaBecomesAPngOfBoth) {
    const Bytes jpeg = Jpeg(3, 2);
    const Bytes alpha{0, 50, 100, 150, 200, 255};
    const Made made = MakeImage(Tag(35, Cat({U16(1), U32(jpeg.size()), jpeg, Zlib(alpha)}), true));
    ASSERT_EQ(made.error, "");
    EXPECT_EQ(made.extension, "png");
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    const Bytes rgba = PngPixels(made.bytes, width, height);
    ASSERT_EQ(rgba.size(), 24u);
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_NEAR(rgba[4 * i], 200, 3);
        EXPECT_NEAR(rgba[4 * i + 1], 100, 3);
        EXPECT_NEAR(rgba[4 * i + 2], 50, 3);
        EXPECT_EQ(rgba[4 * i + 3], alpha[i]);
    }
}

TEST(ExportImages, HostileHeadersGiveAnErrorAndNoFile) {
    Bytes huge = Jpeg(8, 8);
    const std::size_t frame = FrameStart(huge);
    // The frame header's height and width, 5 bytes in: 20,000 by 20,000.
    huge[frame + 5] = huge[frame + 7] = 0x4E;
    huge[frame + 6] = huge[frame + 8] = 0x20;
    const Bytes jpeg = Jpeg(3, 2);
    const std::string fewer = "the pixels inflate to ";
    struct Row {
        const char* what;
        Bytes tag;
        std::string error;  // its start
    };
    const std::vector<Row> rows = {
        {"too wide", Lossless(20, 5, 16385, 1, {}, {0, 0, 0, 0}),
         "the bitmap is too large: 16385 by 1"},
        {"too many pixels", Lossless(20, 5, 8192, 8193, {}, {}),
         "the bitmap is too large: 8192 by 8193"},
        {"empty", Lossless(20, 5, 0, 4, {}, {}), "the bitmap is empty"},
        {"one pixel short", Lossless(20, 5, 2, 2, {}, Bytes(15)),
         fewer + "15 bytes, fewer than the 16"},
        {"table short", Lossless(20, 3, 1, 1, {1, 2}, {}, 1), fewer + "2 bytes, fewer than the 7"},
        {"no 15-bit with alpha", Lossless(36, 4, 1, 1, {}, {0, 0, 0, 0}),
         "bitmap format 4 is not defined"},
        {"corrupt pixels", Tag(20, Cat({U16(1), {5}, U16(1), U16(1), {0x78, 0x9C, 0xFF, 0xFF}})),
         "the pixels cannot be inflated"},
        {"short body", Tag(20, {1, 0, 5}), "the body is too short"},
        {"a JPEG too large", Tag(21, Cat({U16(1), huge}), true),
         "the bitmap is too large: 20000 by 20000"},
        {"not a JPEG", Tag(21, Cat({U16(1), {0xFF, 0xD8, 0xFF, 0x00}})),
         "libjpeg refuses the JPEG"},
        {"alpha plane short", Tag(35, Cat({U16(1), U32(jpeg.size()), jpeg, Zlib({1, 2, 3})}), true),
         "the alpha plane inflate to 3 bytes, fewer than the 6"},
        {"alpha offset past the end", Tag(35, Cat({U16(1), U32(999), jpeg}), true),
         "the alpha plane's offset runs past the body"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const Made made = MakeImage(row.tag);
        EXPECT_EQ(made.error.substr(0, row.error.size()), row.error) << made.error;
        EXPECT_TRUE(made.bytes.empty() || !made.error.empty());
    }
}

Made MakeSound(const Bytes& tag) {
    const TagItem item = ItemOf(tag);
    return Make(PlanSound(item, 0));
}

Bytes Wav(std::uint32_t rate, std::uint16_t channels, std::uint16_t bits, const Bytes& data) {
    const std::uint32_t align = channels * bits / 8u;
    const Bytes pad(data.size() % 2);
    return Cat({Chars("RIFF"), U32(36 + data.size() + pad.size()), Chars("WAVE"), Chars("fmt "),
                U32(16), U16(1), U16(channels), U32(rate), U32(rate * align), U16(align), U16(bits),
                Chars("data"), U32(data.size()), data, pad});
}

TEST(ExportSounds, EachFormatGivesTheFileAPlayerExpects) {
    const Bytes frames{0xFF, 0xFB, 0x90, 0x64, 1, 2, 3};
    // Code size 2, sample 1000, index 0, codes +1 -1 +0, then two bits of padding: 1000, 1010,
    // 997 and 1002 by the step table, and the padding's sample left out.
    const Bytes adpcm{0x00, 0xFA, 0x00, 0x70};
    const Bytes adpcmPcm = Cat({U16(1000), U16(1010), U16(997), U16(1002)});
    struct Row {
        const char* what;
        Bytes tag;
        std::string extension;
        Bytes file;
    };
    const std::vector<Row> rows = {
        {"MP3 without its seek word",
         Tag(14, Cat({U16(1), {SoundByte(2, 3, true, true)}, U32(1152), U16(0), frames})), "mp3",
         frames},
        {"16-bit stereo",
         Tag(14, Cat({U16(1), {SoundByte(3, 2, true, true)}, U32(1), {1, 2, 3, 4, 5}})), "wav",
         Wav(22050, 2, 16, {1, 2, 3, 4})},
        {"8-bit mono, native order",
         Tag(14, Cat({U16(1), {SoundByte(0, 0, false, false)}, U32(3), {1, 2, 3}})), "wav",
         Wav(5512, 1, 8, {1, 2, 3})},
        {"ADPCM", Tag(14, Cat({U16(1), {SoundByte(1, 1, true, false)}, U32(4), adpcm})), "wav",
         Wav(11025, 1, 16, adpcmPcm)},
        {"Nellymoser as stored",
         Tag(14, Cat({U16(1), {SoundByte(6, 1, true, false)}, U32(9), {7, 8}})),
         "bin",
         {7, 8}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const Made made = MakeSound(row.tag);
        ASSERT_EQ(made.error, "");
        EXPECT_EQ(made.extension, row.extension);
        EXPECT_EQ(made.bytes, row.file);
    }
    const Made lying =
        MakeSound(Tag(14, Cat({U16(1), {SoundByte(3, 3, true, false)}, U32(100000), {1, 2}})));
    EXPECT_EQ(lying.error,
              "the declared sample count 100000 disagrees with the 1 samples the data holds");
}

TEST(ExportSounds, AStreamIsTheMp3OfItsOwnTimelinesBlocks) {
    const Bytes head = Tag(45, Cat({{0, SoundByte(2, 3, true, false)}, U16(576), U16(0)}));
    const Bytes block1 = Tag(19, Cat({U16(576), U16(0), {1, 2}}));
    const Bytes block2 = Tag(19, Cat({U16(500), U16(0), {3}}));
    const Bytes other = Tag(19, Cat({U16(9), U16(0), {9}}));
    const Bytes inSprite = Tag(19, Cat({U16(7), U16(0), {4}}));
    // The head, a block, a sprite whose own block is not this timeline's, a block, a new head
    // with no block after it; then a sprite's own stream, whose timeline ends before the next
    // sprite's block.
    const Bytes movie = Movie(
        Cat({head, block1, Sprite(Cat({other, End()})), block2, head,
             Sprite(Cat({head, inSprite, End()}), 5), Sprite(Cat({other, End()}), 6), End()}));
    ScopedMovie document;
    ASSERT_EQ(LoadMovieBytesInput(document.movie, "m.swf", movie.data(), movie.size(), movie.size(),
                                  false, kDefaultMaxSize),
              0);
    const std::vector<AssetPlan> plans = PlanMovieExport(document.movie, {AssetKind::Sound});
    ASSERT_EQ(plans.size(), 2u);
    const Made made = Make(plans[0]);
    EXPECT_EQ(made.extension, "mp3");
    EXPECT_EQ(made.bytes, Bytes({1, 2, 3}));
    EXPECT_EQ(plans[0].asset.sound->sampleCount, 1076u);
    EXPECT_EQ(plans[0].asset.id, std::nullopt);
    EXPECT_EQ(Make(plans[1]).bytes, Bytes({4}));
    EXPECT_EQ(plans[1].asset.index, 8);
    EXPECT_EQ(plans[1].asset.id, 5);
}

}  // namespace
