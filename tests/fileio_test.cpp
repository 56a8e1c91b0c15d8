#include "swfff/fileio.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <set>

#include "swfff/errors.h"
#include "tests/support/movie_builder.h"

namespace {

TEST(FileIoTest, ErrnoTable) {
    testmovie::TempDir dir;
    const std::string inExistingFolder = dir.File("x.swf");
    const std::string inMissingFolder = dir.File("missing/x.swf");
    struct Row {
        int err;
        std::string path;
        IoOp op;
        int code;
        const char* message;
    };
    const Row rows[] = {
        {ENOENT, inExistingFolder, IoOp::Open, 2, "File not found"},
        {ENOENT, "relative.swf", IoOp::Open, 2, "File not found"},
        {ENOENT, inMissingFolder, IoOp::Create, 3, "Invalid filename"},
        {ENOENT, "", IoOp::Open, 3, "Invalid filename"},
        {ENOTDIR, inExistingFolder, IoOp::Open, 3, "Invalid filename"},
        {ENAMETOOLONG, inExistingFolder, IoOp::Open, 3, "Invalid filename"},
        {EMFILE, inExistingFolder, IoOp::Open, 4, "Too many open files"},
        {ENFILE, inExistingFolder, IoOp::Create, 4, "Too many open files"},
        {EACCES, inExistingFolder, IoOp::Open, 5, "File access denied"},
        {EPERM, inExistingFolder, IoOp::Create, 5, "File access denied"},
        {EROFS, inExistingFolder, IoOp::Create, 5, "File access denied"},
        {EISDIR, inExistingFolder, IoOp::Open, 5, "File access denied"},
        {ETXTBSY, inExistingFolder, IoOp::Create, 32, "I/O error 32"},
        {EBUSY, inExistingFolder, IoOp::Open, 32, "I/O error 32"},
        {ENOSPC, inExistingFolder, IoOp::Write, 101, "Disk full"},
        {EDQUOT, inExistingFolder, IoOp::Create, 101, "Disk full"},
        {EFBIG, inExistingFolder, IoOp::Write, 101, "Disk full"},
        {EFBIG, inExistingFolder, IoOp::Read, 1000 + EFBIG, nullptr},
        {EIO, inExistingFolder, IoOp::Read, 1000 + EIO, nullptr},
        {EIO, inExistingFolder, IoOp::Close, 1000 + EIO, nullptr},
    };
    for (const Row& row : rows) {
        const int code = IoErrorCodeFor(row.err, row.path, row.op);
        EXPECT_EQ(code, row.code) << "errno " << row.err << " on " << row.path;
        const std::string expected =
            row.message != nullptr ? row.message : "I/O error " + std::to_string(row.code);
        EXPECT_EQ(EInOutError(code).what(), expected);
        EXPECT_EQ(EInOutError(code).ErrorCode, code);
    }
}

TEST(FileIoTest, OtherCodesNeverCollideWithTheNamedOnes) {
    // Every errno gives one of the named codes or its own code above them, never another's.
    const std::set<int> named = {2, 3, 4, 5, 32, 100, 101};
    for (int err = 1; err < 134; ++err) {
        const int code = IoErrorCodeFor(err, "x", IoOp::Read);
        EXPECT_TRUE(named.count(code) == 1 || code == ioOtherBase + err)
            << "errno " << err << " gives " << code;
    }
    EXPECT_STREQ(EOutOfMemory().what(), "Out of memory");
    EXPECT_EQ(IoErrorMessage(ioReadBeyondEnd), "Read beyond end of file");
}

TEST(FileIoTest, ReadDeliversWhatTheFileHolds) {
    testmovie::TempDir dir;
    const std::string path = dir.Write("f", {1, 2, 3, 4, 5});
    InputFile file;
    file.Open(path);
    EXPECT_EQ(file.Size(), 5);
    unsigned char buffer[8] = {};
    EXPECT_EQ(file.Read(buffer, 3), 3);
    EXPECT_EQ(file.Read(buffer, 8), 2);
    EXPECT_EQ(buffer[0], 4);
    ASSERT_TRUE(file.SeekToStart());
    EXPECT_EQ(file.Read(buffer, 8), 5);
    file.Close();
    EXPECT_FALSE(file.IsOpen());
    file.Close();
}

}  // namespace
