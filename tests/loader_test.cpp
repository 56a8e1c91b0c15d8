#include "swfff/loader.h"
#include "swfff/scoped_movie.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "swfff/errors.h"
#include "tests/support/child_process.h"
#include "tests/support/movie_builder.h"

namespace {

using namespace testmovie;

// One line per item: offset code depth frame header body; compared as whole text.
std::string DescribeList(const CInputScript& movie) {
    std::ostringstream out;
    for (const TagItem* item = movie.FirstTag; item != nullptr; item = item->Next) {
        out << (item->Data - FileBytes) << " " << item->TagCode << " d" << item->Depth << " f"
            << item->FrameIndex << " h" << item->HeaderLength << " b" << item->BodyLength << "\n";
    }
    return out.str();
}

std::size_t CountItems(const CInputScript& movie) {
    std::size_t n = 0;
    for (const TagItem* item = movie.FirstTag; item != nullptr; item = item->Next) {
        ++n;
    }
    return n;
}

void ExpectEmptyFailedState(const CInputScript& movie) {
    EXPECT_EQ(movie.FirstTag, nullptr);
    EXPECT_FALSE(movie.Loaded);
    EXPECT_FALSE(movie.InFile.IsOpen());
}

class LoaderTest : public ::testing::Test {
  protected:
    std::int32_t Load(const Bytes& bytes) {
        return LoadMovieFile(movie_, dir_.Write("m.swf", bytes));
    }

    TempDir dir_;
    ScopedMovie held_;
    CInputScript& movie_ = held_.movie;
};

TEST_F(LoaderTest, TwentyFiveByteMovie) {
    const Bytes bytes = Movie(Cat({ShowFrame(), End()}));
    ASSERT_EQ(bytes.size(), 25u);
    ASSERT_EQ(Load(bytes), loadOk);
    EXPECT_TRUE(movie_.Loaded);
    EXPECT_FALSE(movie_.InFile.IsOpen());
    EXPECT_EQ(FileBytesLength, 25);
    EXPECT_EQ(DescribeList(movie_), "21 1 d0 f0 h2 b0\n23 0 d0 f1 h2 b0\n");
    EXPECT_EQ(movie_.FirstTag->Prev, nullptr);
    EXPECT_EQ(movie_.FirstTag->Next->Prev, movie_.FirstTag);
    EXPECT_EQ(movie_.FirstTag->Next->Next, nullptr);
    EXPECT_EQ(movie_.Position, 25);
}

TEST_F(LoaderTest, HeaderFields) {
    HeaderSpec spec;
    spec.fieldWidth = 16;
    spec.xMin = -20;
    spec.yMin = -40;
    spec.version = 10;
    spec.frameRate = 0x0C80;
    spec.frameCount = 7;
    ASSERT_EQ(Load(Movie(spec, End())), loadOk);
    const MovieHeader& h = movie_.Header;
    EXPECT_EQ(std::string(h.Signature, h.Signature + 3), "FWS");
    EXPECT_EQ(h.Version, 10);
    EXPECT_EQ(h.FileLength, 23u);
    EXPECT_EQ(h.FrameRect.XMin, -20);
    EXPECT_EQ(h.FrameRect.XMax, 11000);
    EXPECT_EQ(h.FrameRect.YMin, -40);
    EXPECT_EQ(h.FrameRect.YMax, 8000);
    EXPECT_EQ(h.FrameRate, 0x0C80);
    EXPECT_EQ(h.FrameCount, 7);
}

TEST_F(LoaderTest, WideFrameRectanglesAreReadWholeWhenTheFileHoldsThem) {
    for (int width : {17, 24, 31}) {
        HeaderSpec spec;
        spec.fieldWidth = width;
        spec.xMin = -(1 << (width - 2));
        spec.xMax = (1 << (width - 1)) - 1;
        spec.frameCount = 3;
        const Bytes bytes = Movie(spec, Cat({ShowFrame(), End()}));
        ASSERT_EQ(Load(bytes), loadOk) << width;
        EXPECT_EQ(movie_.Header.FrameRect.XMin, spec.xMin);
        EXPECT_EQ(movie_.Header.FrameRect.XMax, spec.xMax);
        EXPECT_EQ(movie_.Header.FrameCount, 3);
        const auto headerLength = static_cast<std::ptrdiff_t>(bytes.size()) - 4;
        EXPECT_EQ(movie_.FirstTag->Data - FileBytes, headerLength);
    }
}

TEST_F(LoaderTest, ResultCodes) {
    HeaderSpec narrow;
    narrow.fieldWidth = 0;
    HeaderSpec compressed;
    compressed.signature = "CWS";
    HeaderSpec wide;
    wide.fieldWidth = 31;
    const Bytes wideHeader = Header(wide, 25);
    const Bytes good = Movie(Cat({ShowFrame(), End()}));
    const auto goodLength = static_cast<std::uint32_t>(good.size());
    struct Row {
        const char* what;
        Bytes bytes;
        std::int32_t expected;
    };
    const Row rows[] = {
        {"20 bytes", Bytes(20, 'F'), loadTooSmall},
        {"well-formed but shorter than 21 bytes", Movie(narrow, End()), loadTooSmall},
        {"compressed", Movie(compressed, End()), loadNotUncompressedSwf},
        {"declared one byte short", Movie(HeaderSpec{}, Cat({ShowFrame(), End()}), goodLength - 1),
         loadLengthMismatch},
        {"declared one byte long", Movie(HeaderSpec{}, Cat({ShowFrame(), End()}), goodLength + 1),
         loadLengthMismatch},
        {"header wider than the file", Bytes(wideHeader.begin(), wideHeader.begin() + 25),
         loadStructureLeavesFile},
        {"wide header exactly as long as the file", Header(wide, 29), loadOk},
        {"just a header", Movie(Bytes{}), loadOk},
        {"bytes after End counted by the header", Movie(Cat({End(), Bytes{1, 2, 3}})), loadOk},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Load(row.bytes), row.expected) << row.what;
        if (row.expected != loadOk) {
            ExpectEmptyFailedState(movie_);
            EXPECT_EQ(FileBytes, nullptr) << row.what;
        }
    }
}

TEST_F(LoaderTest, WrongSignatureByteIsStoredWithTheOnesBeforeIt) {
    HeaderSpec spec;
    spec.signature = "FWX";
    movie_.Header.Version = 99;
    EXPECT_EQ(Load(Movie(spec, End())), loadNotUncompressedSwf);
    EXPECT_EQ(std::string(movie_.Header.Signature, movie_.Header.Signature + 3), "FWX");
    EXPECT_EQ(movie_.Header.Version, 99);
}

TEST_F(LoaderTest, SizeLimitsReadNothing) {
    struct Row {
        off_t size;
        std::int32_t expected;
    };
    // Sparse files: the limits are decided on the size alone.
    const Row rows[] = {
        {4194305, loadTooLarge}, {off_t{1} << 33, loadTooLarge}, {20, loadTooSmall}};
    for (const Row& row : rows) {
        const std::string path = dir_.File("sparse.swf");
        const int fd = open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(ftruncate(fd, row.size), 0);
        close(fd);
        EXPECT_EQ(LoadMovieFile(movie_, path), row.expected);
        ExpectEmptyFailedState(movie_);
    }
}

TEST_F(LoaderTest, LargestFileIsAccepted) {
    const std::size_t filler = 4194304 - 21 - 6 - 2;
    const Bytes bytes = Movie(Cat({Tag(2, Bytes(filler, 0), true), End()}));
    ASSERT_EQ(bytes.size(), 4194304u);
    EXPECT_EQ(Load(bytes), loadOk);
}

TEST_F(LoaderTest, SpriteContentsFollowTheirSprite) {
    const Bytes sprite = Sprite(Cat({ShowFrame(), End()}));
    ASSERT_EQ(sprite[0], 0xC8);
    ASSERT_EQ(sprite[1], 0x09);
    ASSERT_EQ(Load(Movie(Cat({ShowFrame(), sprite, Tag(4, {1, 2}), ShowFrame(), End()}))), loadOk);
    EXPECT_EQ(DescribeList(movie_),
              "21 1 d0 f0 h2 b0\n"
              "23 39 d0 f1 h2 b8\n"
              "29 1 d1 f0 h2 b0\n"
              "31 0 d1 f1 h2 b0\n"
              "33 4 d0 f1 h2 b2\n"
              "37 1 d0 f1 h2 b0\n"
              "39 0 d0 f2 h2 b0\n");
}

TEST_F(LoaderTest, NestedSpritesCountFramesPerLevel) {
    const Bytes inner = Sprite(Cat({ShowFrame(), ShowFrame(), End()}));
    const Bytes outer = Sprite(Cat({ShowFrame(), inner, ShowFrame(), End()}));
    ASSERT_EQ(Load(Movie(Cat({outer, ShowFrame(), End()}))), loadOk);
    EXPECT_EQ(DescribeList(movie_),
              "21 39 d0 f0 h2 b22\n"
              "27 1 d1 f0 h2 b0\n"
              "29 39 d1 f1 h2 b10\n"
              "35 1 d2 f0 h2 b0\n"
              "37 1 d2 f1 h2 b0\n"
              "39 0 d2 f2 h2 b0\n"
              "41 1 d1 f1 h2 b0\n"
              "43 0 d1 f2 h2 b0\n"
              "45 1 d0 f0 h2 b0\n"
              "47 0 d0 f1 h2 b0\n");
}

TEST_F(LoaderTest, LongTagHeaders) {
    ASSERT_EQ(Load(Movie(Cat({Tag(12, {0x07, 0x00}, true), Tag(2, Bytes(100, 0)), End()}))),
              loadOk);
    EXPECT_EQ(DescribeList(movie_),
              "21 12 d0 f0 h6 b2\n"
              "29 2 d0 f0 h6 b100\n"
              "135 0 d0 f0 h2 b0\n");
    EXPECT_EQ(movie_.FirstTag->IconIndex, 1);
    EXPECT_EQ(movie_.FirstTag->Next->IconIndex, 2);
}

TEST_F(LoaderTest, RunOnSpriteWalksTheFollowingTagsTwice) {
    // The sprite declares 4 bytes (id and frame count only), so its contents' walk runs on into
    // the movie's own tags; the movie's walk then resumes at the sprite's declared end.
    ASSERT_EQ(Load(Movie(Cat({Sprite({}), ShowFrame(), End()}))), loadOk);
    EXPECT_EQ(DescribeList(movie_),
              "21 39 d0 f0 h2 b4\n"
              "27 1 d1 f0 h2 b0\n"
              "29 0 d1 f1 h2 b0\n"
              "27 1 d0 f0 h2 b0\n"
              "29 0 d0 f1 h2 b0\n");
}

TEST_F(LoaderTest, EndOfFileAtATagBoundaryEndsEveryOpenLevel) {
    struct Row {
        const char* what;
        Bytes tags;
        const char* expected;
    };
    const Row rows[] = {
        {"header only, no tag at all", {}, ""},
        {"top level without End", Cat({ShowFrame(), Tag(4, {9})}),
         "21 1 d0 f0 h2 b0\n23 4 d0 f1 h2 b1\n"},
        {"sprite whose contents end with the file",
         Cat({ShowFrame(), Tag(39, Cat({U16(1), U16(1), ShowFrame()}))}),
         "21 1 d0 f0 h2 b0\n23 39 d0 f1 h2 b6\n29 1 d1 f0 h2 b0\n"},
        {"run-on sprite reaching the end of the file", Cat({Sprite({}), ShowFrame()}),
         "21 39 d0 f0 h2 b4\n27 1 d1 f0 h2 b0\n27 1 d0 f0 h2 b0\n"},
    };
    for (const Row& row : rows) {
        ASSERT_EQ(Load(Movie(row.tags)), loadOk) << row.what;
        EXPECT_EQ(DescribeList(movie_), row.expected) << row.what;
    }
}

TEST_F(LoaderTest, StructureLeavingTheFileIsRejected) {
    struct Row {
        const char* what;
        Bytes tags;
        // Where a lenient load stops, and how many items it keeps.
        std::int64_t offset;
        std::uint16_t depth;
        const char* reason;
        std::size_t items;
    };
    const char* const header = "a tag header runs past the end";
    const char* const body = "a tag runs past the end";
    const char* const fields = "a sprite's fields run past the end";
    const Row rows[] = {
        {"tag header cut after one byte", Cat({ShowFrame(), Bytes{0x40}}), 23, 0, header, 1},
        {"long tag header cut", Cat({ShowFrame(), Bytes{0x3F, 0x00, 0x01}}), 23, 0, header, 1},
        {"long tag header one byte short", Cat({ShowFrame(), Bytes{0x3F, 0x00, 0x01, 0, 0}}), 23, 0,
         header, 1},
        {"body past the end", Cat({ShowFrame(), TagHeader(2, 10), Bytes(9, 0)}), 23, 0, body, 1},
        {"End with a body past the end", Cat({TagHeader(0, 3), Bytes{1, 2}}), 21, 0, body, 0},
        {"long length near 4 GiB", Cat({TagHeader(2, 0xFFFFFFFFu, true), Bytes(8, 0)}), 21, 0, body,
         0},
        {"long length of 2 GiB", Cat({TagHeader(2, 0x80000000u, true), Bytes(8, 0)}), 21, 0, body,
         0},
        {"sprite fields past the end", Cat({TagHeader(39, 2), Bytes{1, 0}}), 21, 0, fields, 1},
        {"run-on sprite fields past the end", Cat({Tag(39, {1, 0}), Bytes{0x40}}), 21, 0, fields,
         1},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Load(Movie(row.tags)), loadStructureLeavesFile) << row.what;
        ExpectEmptyFailedState(movie_);
        EXPECT_EQ(FileBytes, nullptr) << row.what;

        LoadFaults faults;
        const Bytes bytes = Movie(row.tags);
        EXPECT_EQ(LoadMovieFromBytes(movie_, "m.swf", bytes.data(),
                                     static_cast<std::int64_t>(bytes.size()), &faults),
                  loadStructureLeavesFile);
        EXPECT_FALSE(movie_.Loaded);
        EXPECT_EQ(faults.walk.offset, row.offset) << row.what;
        EXPECT_EQ(faults.walk.depth, row.depth) << row.what;
        EXPECT_STREQ(faults.walk.reason, row.reason) << row.what;
        EXPECT_EQ(CountItems(movie_), row.items) << row.what;
    }
}

// Sprites declaring only their two fields: each one's contents run on into the next sprite.
Bytes ChainedRunOnSprites(int count) {
    Bytes tags;
    for (int i = 0; i < count; ++i) {
        Append(tags, Sprite({}));
    }
    return tags;
}

TEST_F(LoaderTest, NestingDeeperThanTheDepthFieldIsRejected) {
    const Bytes bytes = Movie(ChainedRunOnSprites(65537));
    EXPECT_EQ(Load(bytes), loadNestedTooDeep);
    ExpectEmptyFailedState(movie_);
    EXPECT_EQ(FileBytes, nullptr);

    LoadFaults faults;
    EXPECT_EQ(LoadMovieFromBytes(movie_, "m.swf", bytes.data(),
                                 static_cast<std::int64_t>(bytes.size()), &faults),
              loadNestedTooDeep);
    EXPECT_EQ(faults.walk.offset, 21 + 6 * 65535);
    EXPECT_EQ(faults.walk.depth, 65535);
    EXPECT_EQ(CountItems(movie_), 65536u);
}

TEST_F(LoaderTest, DeepestNestingLoads) {
    ASSERT_EQ(Load(Movie(NestedSprites(65535))), loadOk);
    std::uint16_t deepest = 0;
    for (const TagItem* item = movie_.FirstTag; item != nullptr; item = item->Next) {
        deepest = std::max(deepest, item->Depth);
    }
    EXPECT_EQ(deepest, 65535);
    EXPECT_EQ(CountItems(movie_), 2u * 65535 + 1);
    EXPECT_EQ(Load(Movie(NestedSprites(65536))), loadNestedTooDeep);
}

TEST_F(LoaderTest, RunOnSpritesThatMultiplyTheListStopAtTheItemLimit) {
    // n chained run-on sprites make 2^n - 1 items.
    ASSERT_EQ(Load(Movie(ChainedRunOnSprites(12))), loadOk);
    EXPECT_EQ(CountItems(movie_), 4095u);
    const Bytes bytes = Movie(ChainedRunOnSprites(23));
    EXPECT_EQ(Load(bytes), loadTooManyItems);
    ExpectEmptyFailedState(movie_);
    EXPECT_EQ(FileBytes, nullptr);

    LoadFaults faults;
    EXPECT_EQ(LoadMovieFromBytes(movie_, "m.swf", bytes.data(),
                                 static_cast<std::int64_t>(bytes.size()), &faults),
              loadTooManyItems);
    EXPECT_EQ(CountItems(movie_), static_cast<std::size_t>(kMaxTagItems));
}

TEST_F(LoaderTest, FrameIndexWrapsAfter65535) {
    Bytes tags;
    for (int i = 0; i < 65536; ++i) {
        Append(tags, ShowFrame());
    }
    Append(tags, End());
    ASSERT_EQ(Load(Movie(tags)), loadOk);
    const TagItem* last = movie_.FirstTag;
    while (last->Next != nullptr) {
        last = last->Next;
    }
    EXPECT_EQ(last->TagCode, 0);
    EXPECT_EQ(last->FrameIndex, 0);
    EXPECT_EQ(last->Prev->FrameIndex, 65535);
}

TEST_F(LoaderTest, FailedLoadAfterASuccessfulOneLeavesNothing) {
    ASSERT_EQ(Load(Movie(Cat({ShowFrame(), End()}))), loadOk);
    const std::string second = dir_.Write("second.swf", Movie(HeaderSpec{}, End(), 99));
    EXPECT_EQ(LoadMovieFile(movie_, second), loadLengthMismatch);
    ExpectEmptyFailedState(movie_);
    EXPECT_EQ(FileBytes, nullptr);
    EXPECT_EQ(movie_.FileName, second);
}

TEST_F(LoaderTest, ScopedMovieReleasesTheThreadsFileBytes) {
    ASSERT_EQ(Load(Movie(End())), loadOk);
    ASSERT_NE(FileBytes, nullptr);
    held_.Release();
    EXPECT_EQ(FileBytes, nullptr);
    EXPECT_EQ(movie_.FirstTag, nullptr);
    {
        ScopedMovie scoped;
        ASSERT_EQ(LoadMovieFile(scoped.movie, dir_.File("m.swf")), loadOk);
    }
    EXPECT_EQ(FileBytes, nullptr);
}

TEST_F(LoaderTest, RaisedOpenErrors) {
    ASSERT_EQ(Load(Movie(End())), loadOk);
    struct Row {
        std::string path;
        int code;
        const char* message;
    };
    const Row rows[] = {
        {dir_.File("missing.swf"), ioFileNotFound, "File not found"},
        {dir_.File("no-folder/missing.swf"), ioInvalidFilename, "Invalid filename"},
        {dir_.File("m.swf/inside.swf"), ioInvalidFilename, "Invalid filename"},
        {"", ioInvalidFilename, "Invalid filename"},
        {dir_.Path(), ioAccessDenied, "File access denied"},
        {dir_.File(std::string(300, 'x')), ioInvalidFilename, "Invalid filename"},
    };
    for (const Row& row : rows) {
        try {
            LoadMovieFile(movie_, row.path);
            ADD_FAILURE() << "no error for " << row.path;
        } catch (const EInOutError& e) {
            EXPECT_EQ(e.ErrorCode, row.code) << row.path;
            EXPECT_STREQ(e.what(), row.message) << row.path;
        }
        ExpectEmptyFailedState(movie_);
        EXPECT_EQ(movie_.FileName, row.path);
        EXPECT_EQ(FileBytes, nullptr);
    }
}

TEST_F(LoaderTest, ReadOnlyFilesLoad) {
    const std::string path = dir_.Write("ro.swf", Movie(Cat({ShowFrame(), End()})));
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    ASSERT_EQ(chmod(dir_.Path().c_str(), 0755), 0);
    const int status = RunInChild(
        [&] {
            CInputScript movie;
            const int result = LoadMovieFile(movie, path);
            return result == loadOk && movie.Loaded && CountItems(movie) == 2 ? 0 : 1;
        },
        true);
    if (status == kChildCannotDropPrivileges) {
        GTEST_SKIP() << "cannot drop privileges here";
    }
    EXPECT_EQ(status, 0);
}

TEST_F(LoaderTest, UnreadableFileIsAccessDenied) {
    const std::string path = dir_.Write("secret.swf", Movie(End()));
    ASSERT_EQ(chmod(path.c_str(), 0000), 0);
    ASSERT_EQ(chmod(dir_.Path().c_str(), 0755), 0);
    const int status = RunInChild(
        [&] {
            CInputScript movie;
            try {
                LoadMovieFile(movie, path);
            } catch (const EInOutError& e) {
                return e.ErrorCode == ioAccessDenied ? 0 : 2;
            }
            return 1;
        },
        true);
    if (status == kChildCannotDropPrivileges) {
        GTEST_SKIP() << "cannot drop privileges here";
    }
    EXPECT_EQ(status, 0);
}

}  // namespace
