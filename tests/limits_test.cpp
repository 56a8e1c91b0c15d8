// Movies of the worst shapes a 4 MiB file allows: each loads, or fails with its own code, without
// exhausting the stack or memory, and what loads also builds its tree, saves and loads again.
// Times are printed for the record, never asserted.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include "Unit1/presentation/BuildMovieTree.h"
#include "Unit1/presentation/NodeStore.h"
#include "swfff/loader.h"
#include "swfff/scoped_movie.h"
#include "swfff/writer.h"
#include "tests/support/movie_builder.h"

namespace {

using namespace testmovie;

constexpr std::size_t kLargestMovie = 4194304;

double Seconds(const std::function<void()>& step) {
    const auto start = std::chrono::steady_clock::now();
    step();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void Report(const std::string& what, double seconds) {
    std::printf("[   time   ] %-52s %8.3f s\n", what.c_str(), seconds);
}

std::size_t CountItems(const CInputScript& movie) {
    std::size_t n = 0;
    for (const TagItem* item = movie.FirstTag; item != nullptr; item = item->Next) {
        ++n;
    }
    return n;
}

class LimitsTest : public ::testing::Test {
  protected:
    // Loads the movie alone, then loads it again and builds its tree as the window does, timing
    // both; both must give the same result.
    std::int32_t Open(const std::string& name, const Bytes& bytes) {
        const std::string path = dir_.Write(name, bytes);
        const std::string label = name + " (" + std::to_string(bytes.size()) + " bytes)";
        std::int32_t loaded = 0;
        Report("load " + label, Seconds([&] { loaded = LoadMovieFile(movie_, path); }));
        std::int32_t opened = 0;
        Report("load and build the tree of " + name, Seconds([&] {
                   tree_.Clear();
                   opened = LoadMovieFile(movie_, path);
                   if (opened == loadOk) {
                       BuildMovieTree(movie_, tree_, frameNodes_);
                   }
               }));
        EXPECT_EQ(loaded, opened);
        return opened;
    }

    // Saves what is loaded, loads the saved file and checks it is the same movie.
    void SaveAndReload(const std::string& name, const Bytes& original) {
        const std::size_t items = CountItems(movie_);
        const std::string saved = dir_.File("saved-" + name);
        std::int32_t result = -1;
        Report("save " + name, Seconds([&] { result = SaveMovieFile(movie_, saved); }));
        ASSERT_EQ(result, 0);
        EXPECT_EQ(ReadFile(saved), original);
        Report("reload " + name, Seconds([&] { result = LoadMovieFile(movie_, saved); }));
        ASSERT_EQ(result, loadOk);
        EXPECT_EQ(CountItems(movie_), items);
    }

    TempDir dir_;
    ScopedMovie held_;
    CInputScript& movie_ = held_.movie;
    NodeStore tree_;
    FrameNodeTable frameNodes_;
};

TEST_F(LimitsTest, TwoMillionMinimalTagsFillTheLargestFile) {
    // 20-byte header + 2,097,141 two-byte tags + End = exactly 4 MiB.
    const std::size_t tags = (kLargestMovie - 20 - 2) / 2;
    const Bytes bytes = Movie(HeaderOfLength(20, 1), Cat({Repeated(Tag(9), tags), End()}));
    ASSERT_EQ(bytes.size(), kLargestMovie);
    ASSERT_EQ(Open("minimal-tags.swf", bytes), loadOk);
    EXPECT_EQ(CountItems(movie_), tags + 1);
    EXPECT_EQ(tree_.LiveNodeCount(), 1 + 1 + 8 + 2 + tags + 1);
    SaveAndReload("minimal-tags.swf", bytes);
}

TEST_F(LimitsTest, TwoMillionShowFramesWrapTheFrameIndex) {
    const std::size_t tags = (kLargestMovie - 20 - 2) / 2;
    const Bytes bytes = Movie(HeaderOfLength(20, 65535), Cat({Repeated(ShowFrame(), tags), End()}));
    ASSERT_EQ(bytes.size(), kLargestMovie);
    ASSERT_EQ(Open("show-frames.swf", bytes), loadOk);
    EXPECT_EQ(CountItems(movie_), tags + 1);
    SaveAndReload("show-frames.swf", bytes);
}

TEST_F(LimitsTest, MostFramesTheHeaderCanDeclare) {
    const Bytes bytes =
        Movie(HeaderOfLength(21, 65535), Cat({Repeated(ShowFrame(), 65535), End()}));
    ASSERT_EQ(Open("frames.swf", bytes), loadOk);
    EXPECT_EQ(CountItems(movie_), 65536u);
    // Root, Header with its eight fields, and a node for each of frames 0 to 65535.
    EXPECT_EQ(tree_.LiveNodeCount(), 1 + 1 + 8 + 65536 + 65536);
    SaveAndReload("frames.swf", bytes);
}

TEST_F(LimitsTest, DeepestNestingTheDepthFieldHolds) {
    const std::size_t levels = 65535;
    const Bytes tags = NestedSprites(levels);
    const Bytes bytes = Movie(tags);
    ASSERT_EQ(Open("deep.swf", bytes), loadOk);
    EXPECT_EQ(CountItems(movie_), 2 * levels + 1);
    SaveAndReload("deep.swf", bytes);
}

TEST_F(LimitsTest, NestingAsDeepAsTheLargestFileAllowsFails) {
    struct Row {
        const char* name;
        Bytes tags;
    };
    // Run-on sprites, whose contents carry on into the next one, take 6 bytes a level; properly
    // nested ones 12. Either way a 4 MiB file nests far deeper than the 16-bit depth can say.
    const Row rows[] = {
        {"run-on-nesting.swf", Repeated(Sprite({}), (kLargestMovie - 21) / 6)},
        {"nesting.swf", NestedSprites((kLargestMovie - 21 - 2) / 12)},
    };
    for (const Row& row : rows) {
        const Bytes bytes = Movie(row.tags);
        ASSERT_LE(bytes.size(), kLargestMovie);
        EXPECT_EQ(Open(row.name, bytes), loadNestedTooDeep) << row.name;
        EXPECT_FALSE(movie_.Loaded);
        EXPECT_EQ(FileBytes, nullptr);
        EXPECT_EQ(tree_.LiveNodeCount(), 0u);
    }
}

TEST_F(LimitsTest, LongHeadersDeclaringHugeLengths) {
    // Filler that brings the file close to 4 MiB, so every offset is large.
    const Bytes filler = Tag(2, Bytes(kLargestMovie - 200, 0xAA));
    for (std::uint32_t declared : {0xFFFFFFFFu, 0x80000000u, 0x7FFFFFFFu, 0x00400000u}) {
        for (std::uint16_t code : {std::uint16_t{2}, std::uint16_t{39}}) {
            const Bytes bytes =
                Movie(Cat({filler, TagHeader(code, declared, true), U16(1), U16(1), End()}));
            ASSERT_LE(bytes.size(), kLargestMovie);
            EXPECT_EQ(Open("huge-length.swf", bytes), loadStructureLeavesFile)
                << declared << " code " << code;
            EXPECT_EQ(FileBytes, nullptr);
        }
    }
    // The header itself may declare 4,294,967,295 bytes; the file is then simply not that long.
    EXPECT_EQ(Open("huge-file-length.swf", Movie(HeaderSpec{}, End(), 0xFFFFFFFFu)),
              loadLengthMismatch);
}

TEST_F(LimitsTest, ChainedRunOnSpritesStopAtTheItemLimit) {
    // n chained run-on sprites ask for 2^n - 1 items: 30 of them in 201 bytes ask for 2^30.
    const Bytes bytes = Movie(Repeated(Sprite({}), 30));
    ASSERT_LT(bytes.size(), 210u);
    EXPECT_EQ(Open("run-on-chain.swf", bytes), loadTooManyItems);
    EXPECT_FALSE(movie_.Loaded);
    EXPECT_EQ(FileBytes, nullptr);
    EXPECT_EQ(tree_.LiveNodeCount(), 0u);
}

}  // namespace
