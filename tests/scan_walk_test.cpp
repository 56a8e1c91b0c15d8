#include "scan/scan_paths.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>

#include "tests/support/movie_builder.h"

using namespace velpin;

namespace {

namespace fs = std::filesystem;

// d/a.swf, d/B.SWF, d/notes.txt, d/sub/c.swf, d/self -> d, d/out -> e (holding e/x.swf),
// and d/link.swf -> d/a.swf.
class ScanWalkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(root.File("d/sub"));
        fs::create_directories(root.File("e"));
        for (const char* name : {"d/a.swf", "d/B.SWF", "d/notes.txt", "d/sub/c.swf", "e/x.swf"}) {
            root.Write(name, {'F', 'W', 'S'});
        }
        fs::create_directory_symlink(root.File("d"), root.File("d/self"));
        fs::create_directory_symlink(root.File("e"), root.File("d/out"));
        fs::create_symlink(root.File("d/a.swf"), root.File("d/link.swf"));
    }

    std::vector<ScanPath> Collect(const std::vector<std::string>& names) {
        std::vector<std::string> operands;
        for (const std::string& name : names) {
            operands.push_back(root.File(name));
        }
        return CollectScanInputs(operands);
    }

    // Each path, and a folder that could not be listed marked with a "!".
    static std::vector<std::string> Paths(const std::vector<ScanPath>& inputs) {
        std::vector<std::string> paths;
        for (const ScanPath& path : inputs) {
            paths.push_back(path.path + (path.unlisted ? "!" : ""));
        }
        return paths;
    }

    testmovie::TempDir root;
};

TEST_F(ScanWalkTest, TakesEachMovieOnceInPathOrderAndFollowsNoLinkToAFolder) {
    struct Row {
        std::vector<std::string> operands;
        std::vector<std::string> paths;
    };
    // A link to a movie file is taken, and the movie is then scanned under both names.
    const std::vector<std::string> walked = {"d/B.SWF", "d/a.swf", "d/link.swf", "d/sub/c.swf"};
    const Row rows[] = {
        {{"d"}, walked},
        {{"d", "d/"}, walked},
        {{"d/a.swf", "d"}, walked},
        {{"d/./a.swf", "d"}, {"d/./a.swf", "d/B.SWF", "d/link.swf", "d/sub/c.swf"}},
        {{"d/notes.txt", "e/x.swf", "d/link.swf", "missing.swf"},
         {"d/link.swf", "d/notes.txt", "e/x.swf", "missing.swf"}},
        {{"d/self"}, {"d/self/B.SWF", "d/self/a.swf", "d/self/link.swf", "d/self/sub/c.swf"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.operands[0]);
        std::vector<std::string> wanted;
        for (const std::string& name : row.paths) {
            wanted.push_back(root.File(name));
        }
        EXPECT_EQ(Paths(Collect(row.operands)), wanted);
    }
}

// Running as root reads every folder whatever its mode, so the folder is made unreadable by
// leaving no file descriptor to open it with.
TEST_F(ScanWalkTest, AFolderThatCannotBeListedIsAPathOfItsOwn) {
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    const int lowestFree = dup(0);
    ASSERT_GE(lowestFree, 0);
    close(lowestFree);
    rlimit none = saved;
    none.rlim_cur = static_cast<rlim_t>(lowestFree);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &none), 0);
    const std::vector<ScanPath> inputs = Collect({"e/x.swf", "d"});
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
    EXPECT_EQ(Paths(inputs), (std::vector<std::string>{root.File("d!"), root.File("e/x.swf")}));
}

}  // namespace
