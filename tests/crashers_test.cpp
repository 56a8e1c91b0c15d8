// Every input the fuzzers ever flagged, kept under tests/crashers/: each must open with its
// expected result, build its tree and, when it loads, save and load again. The fuzz targets'
// own checks replay the same files (replay_fuzz_load); this table pins the results.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "Unit1/presentation/BuildMovieTree.h"
#include "Unit1/presentation/NodeStore.h"
#include "swfff/loader.h"
#include "swfff/scoped_movie.h"
#include "swfff/writer.h"
#include "tests/support/movie_builder.h"

namespace {

using namespace testmovie;

struct Crasher {
    const char* file;
    std::int32_t result;
    const char* found;  // what the fuzzer flagged, and what came of it
};

const Crasher kCrashers[] = {
    {"narrow_header_saves_below_21_bytes.swf", loadOk,
     "a 14-byte header and bytes after End: the saved movie is 18 bytes, which the loader "
     "refuses with -2 (the fuzz check had assumed every save loads again)"},
    {"repair_sprite_fields_past_an_empty_body.swf", loadLengthMismatch,
     "a sprite with an empty body reads its fields from the tags after it: repaired, it kept 2 "
     "of 3 tags, whose movie failed with -9 at depth 1 once the cut tag was gone"},
};

std::filesystem::path CrashersFolder() {
    return VELPIN_CRASHERS_DIR;
}

TEST(Crashers, EveryFileHasARow) {
    std::set<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(CrashersFolder())) {
        if (entry.is_regular_file()) {
            files.insert(entry.path().filename().string());
        }
    }
    std::set<std::string> rows;
    for (const Crasher& crasher : kCrashers) {
        rows.insert(crasher.file);
    }
    EXPECT_EQ(files, rows);
}

TEST(Crashers, OpenWithTheirResult) {
    TempDir dir;
    for (const Crasher& crasher : kCrashers) {
        SCOPED_TRACE(crasher.file);
        ScopedMovie held;
        CInputScript& movie = held.movie;
        NodeStore tree;
        FrameNodeTable frameNodes;
        const std::string path = (CrashersFolder() / crasher.file).string();
        ASSERT_EQ(LoadMovieFile(movie, path), crasher.result);
        if (crasher.result != loadOk) {
            EXPECT_FALSE(movie.Loaded);
            EXPECT_EQ(movie.FirstTag, nullptr);
        } else {
            BuildMovieTree(movie, tree, frameNodes);
            const std::string saved = dir.File(crasher.file);
            EXPECT_EQ(SaveMovieFile(movie, saved), 0);
            EXPECT_EQ(std::filesystem::file_size(saved), movie.Header.FileLength);
            const std::int32_t again = LoadMovieFile(movie, saved);
            EXPECT_TRUE(again == loadOk ||
                        (again == loadTooSmall && movie.Header.FileLength < kSmallestMovieBytes))
                << again;
        }
    }
}

}  // namespace
