#include "swfff/outfile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "swfff/errors.h"
#include "tests/support/movie_builder.h"

namespace {

using namespace testmovie;

struct stat StatOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st;
}

std::string LinkText(const std::string& path) {
    char buffer[4096];
    const ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer);
    return n < 0 ? std::string() : std::string(buffer, static_cast<std::size_t>(n));
}

void Save(const std::string& path, const Bytes& bytes) {
    OutputFile out;
    out.Create(path);
    ASSERT_TRUE(out.Write(bytes.data(), bytes.size()));
    out.Commit();
}

const Bytes kOld = {'o', 'l', 'd', ' ', 'b', 'y', 't', 'e', 's'};
const Bytes kNew = {'n', 'e', 'w'};

TEST(OutputFile, TargetUntouchedUntilCommit) {
    TempDir dir;
    const std::string target = dir.Write("t.swf", kOld);
    OutputFile out;
    out.Create(target);
    ASSERT_TRUE(out.Write(kNew.data(), kNew.size()));
    EXPECT_EQ(ReadFile(target), kOld);
    out.Commit();
    EXPECT_FALSE(out.IsOpen());
    EXPECT_EQ(ReadFile(target), kNew);
    EXPECT_EQ(Listing(dir.Path()), std::vector<std::string>{"t.swf"});
}

TEST(OutputFile, AbandonedFilesLeaveNothingBehind) {
    TempDir dir;
    const std::string existing = dir.Write("old.swf", kOld);
    {
        OutputFile out;
        out.Create(existing);
        ASSERT_TRUE(out.Write(kNew.data(), kNew.size()));
    }
    {
        OutputFile out;
        out.Create(dir.File("new.swf"));
        ASSERT_TRUE(out.Write(kNew.data(), kNew.size()));
        out.Abort();
        EXPECT_FALSE(out.IsOpen());
        EXPECT_THROW(out.Commit(), EInOutError);
    }
    EXPECT_EQ(ReadFile(existing), kOld);
    EXPECT_EQ(Listing(dir.Path()), std::vector<std::string>{"old.swf"});
}

TEST(OutputFile, ReusableAfterCommitAndAfterAbort) {
    TempDir dir;
    OutputFile out;
    out.Create(dir.File("a.swf"));
    out.Abort();
    out.Create(dir.File("a.swf"));
    ASSERT_TRUE(out.Write(kOld.data(), kOld.size()));
    out.Commit();
    // A second Create while a file is open abandons the first one.
    out.Create(dir.File("b.swf"));
    out.Create(dir.File("a.swf"));
    ASSERT_TRUE(out.Write(kNew.data(), kNew.size()));
    out.Commit();
    EXPECT_EQ(ReadFile(dir.File("a.swf")), kNew);
    EXPECT_EQ(Listing(dir.Path()), std::vector<std::string>{"a.swf"});
}

// The bytes go to the file a link leads to, in that file's folder; every link stays a link.
TEST(OutputFile, SymbolicLinksAreFollowedAndKept) {
    TempDir dir;
    const std::string a = dir.File("a");
    const std::string b = dir.File("b");
    ASSERT_EQ(::mkdir(a.c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(b.c_str(), 0755), 0);
    WriteFile(b + "/real.swf", kOld);
    struct Link {
        std::string path;
        std::string text;
    };
    const Link links[] = {
        {a + "/same-folder.swf", "real.swf"},   {b + "/same-folder.swf", "real.swf"},
        {a + "/relative.swf", "../b/real.swf"}, {a + "/absolute.swf", b + "/real.swf"},
        {a + "/chain.swf", "relative.swf"},     {a + "/dangling.swf", "../b/created.swf"},
    };
    for (const Link& link : links) {
        ASSERT_EQ(::symlink(link.text.c_str(), link.path.c_str()), 0);
    }
    const std::vector<std::string> listingA = Listing(a);

    const struct {
        const char* name;
        std::string written;
    } rows[] = {
        {"relative.swf", "b/real.swf"},
        {"absolute.swf", "b/real.swf"},
        {"chain.swf", "b/real.swf"},
        {"dangling.swf", "b/created.swf"},
    };
    Bytes content = kNew;
    for (const auto& row : rows) {
        content.push_back('+');
        Save(a + "/" + row.name, content);
        EXPECT_EQ(ReadFile(dir.File(row.written)), content) << row.name;
    }
    // A link inside the target's own folder, reached without any folder part in the path.
    const std::string cwd = std::filesystem::current_path().string();
    ASSERT_EQ(::chdir(b.c_str()), 0);
    Save("same-folder.swf", kOld);
    ASSERT_EQ(::chdir(cwd.c_str()), 0);
    EXPECT_EQ(ReadFile(b + "/real.swf"), kOld);

    for (const Link& link : links) {
        EXPECT_EQ(LinkText(link.path), link.text) << link.path;
    }
    EXPECT_EQ(Listing(a), listingA);
    EXPECT_EQ(Listing(b), (std::vector<std::string>{"created.swf", "real.swf", "same-folder.swf"}));
}

TEST(OutputFile, ExistingTargetKeepsItsPermissionsAndOwner) {
    TempDir dir;
    const std::string target = dir.File("t.swf");
    const bool root = ::geteuid() == 0;
    for (const mode_t mode : {0640, 0604, 0755, 0600}) {
        WriteFile(target, kOld);
        ASSERT_EQ(::chmod(target.c_str(), mode), 0);
        if (root) {
            ASSERT_EQ(::chown(target.c_str(), 65534, 65534), 0);
        }
        Save(target, kNew);
        const struct stat st = StatOf(target);
        EXPECT_EQ(st.st_mode & 07777, mode);
        if (root) {
            EXPECT_EQ(st.st_uid, 65534u);
            EXPECT_EQ(st.st_gid, 65534u);
        }
        ASSERT_EQ(::unlink(target.c_str()), 0);
    }
    if (root) {
        // Root passes the write check, so a read-only file is replaced and stays read-only.
        WriteFile(target, kOld);
        ASSERT_EQ(::chmod(target.c_str(), 0444), 0);
        Save(target, kNew);
        EXPECT_EQ(ReadFile(target), kNew);
        EXPECT_EQ(StatOf(target).st_mode & 07777, 0444u);
    }
}

TEST(OutputFile, NewFileFollowsTheUmask) {
    TempDir dir;
    const mode_t saved = ::umask(0);
    for (const mode_t mask : {0000, 0022, 0027, 0077}) {
        ::umask(mask);
        const std::string target = dir.File("new-" + std::to_string(mask) + ".swf");
        Save(target, kNew);
        EXPECT_EQ(StatOf(target).st_mode & 07777, 0666u & ~mask) << mask;
    }
    ::umask(saved);
}

TEST(OutputFile, ACommitWhoseLastBytesCannotBeWrittenNamesTheWriteFailure) {
    OutputFile out;
    out.Create("/dev/full");
    ASSERT_TRUE(out.Write(kNew.data(), kNew.size()));  // buffered
    try {
        out.Commit();
        ADD_FAILURE() << "the commit succeeded";
    } catch (const EInOutError& error) {
        EXPECT_EQ(error.ErrorCode, ioDiskFull);
    }
    EXPECT_FALSE(out.IsOpen());
}

TEST(OutputFile, AWriteAfterAFailedWriteFailsToo) {
    OutputFile out;
    out.Create("/dev/full");
    const Bytes block(OutputFile::kBufferBytes + 1);  // goes straight through, and is refused
    EXPECT_FALSE(out.Write(block.data(), block.size()));
    EXPECT_FALSE(out.Write(kNew.data(), kNew.size()));
    EXPECT_FALSE(out.Flush());
    EXPECT_THROW(out.Commit(), EInOutError);
}

TEST(OutputFile, SavesOnManyThreadsIntoOneFolder) {
    TempDir dir;
    std::vector<std::string> targets;
    for (int i = 0; i < 8; ++i) {
        targets.push_back(dir.Write("t" + std::to_string(i) + ".swf", kOld));
    }
    std::vector<std::thread> savers;
    for (const std::string& target : targets) {
        savers.emplace_back([&target] {
            for (int round = 0; round < 25; ++round) {
                Save(target, kNew);
            }
        });
    }
    for (std::thread& saver : savers) {
        saver.join();
    }
    for (const std::string& target : targets) {
        EXPECT_EQ(ReadFile(target), kNew);
    }
    EXPECT_EQ(Listing(dir.Path()).size(), targets.size()) << "no temporary file is left";
}

}  // namespace
