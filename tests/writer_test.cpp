#include "swfff/writer.h"
#include "swfff/scoped_movie.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "swfff/errors.h"
#include "swfff/loader.h"
#include "tests/support/child_process.h"
#include "tests/support/movie_builder.h"

namespace {

using namespace testmovie;

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

bool IsLink(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode;
}

struct ItemKey {
    std::uint16_t code;
    std::uint16_t depth;
    bool operator==(const ItemKey& other) const {
        return code == other.code && depth == other.depth;
    }
};

std::vector<ItemKey> Keys(const CInputScript& movie) {
    std::vector<ItemKey> keys;
    for (const TagItem* item = movie.FirstTag; item != nullptr; item = item->Next) {
        keys.push_back({item->TagCode, item->Depth});
    }
    return keys;
}

class WriterTest : public ::testing::Test {
  protected:
    void Load(const std::string& path) { ASSERT_EQ(LoadMovieFile(movie_, path), 0) << path; }
    std::string LoadBytes(const Bytes& bytes) {
        const std::string path = dir_.Write("loaded.swf", bytes);
        Load(path);
        return path;
    }

    // Runs a save that must raise, and returns the error's message ("" when nothing was raised).
    std::string SaveError(const std::string& path) {
        try {
            SaveMovieFile(movie_, path);
        } catch (const EInOutError& e) {
            return e.what();
        }
        return "";
    }

    TempDir dir_;
    ScopedMovie held_;
    CInputScript& movie_ = held_.movie;
};

// The movie most tests load: short and long tag headers (one long although its body is short,
// which a re-encoding writer would shorten), two frames, a sprite with its own frame.
const Bytes kBackground = Tag(9, {0x10, 0x20, 0x30});
const Bytes kShape = Tag(2, Bytes(70, 0xAB));
const Bytes kLongHeaderLabel = Tag(43, {'h', 'i', 0}, true);
const Bytes kSprite = Sprite(Cat({DoAction({0x07, 0x00}), ShowFrame(), End()}));
const Bytes kAction = DoAction({0x06, 0x00});
const Bytes kTags =
    Cat({kBackground, kShape, kLongHeaderLabel, ShowFrame(), kSprite, kAction, ShowFrame(), End()});

HeaderSpec Spec(int fieldWidth) {
    HeaderSpec spec;
    spec.fieldWidth = fieldWidth;
    // Both bytes of each 16-bit field differ, so a swapped or dropped byte shows.
    spec.frameRate = 0x1880;
    spec.frameCount = 0x0102;
    return spec;
}

using RemovePredicate = bool (*)(const TagItem&);

struct RoundTripCase {
    const char* name;
    HeaderSpec header;
    Bytes trailing;  // bytes after the movie's End tag, which the loader does not keep
    RemovePredicate remove;
    Bytes expectedTags;  // what must follow the header in the saved file
    std::size_t expectedHeaderBytes;
};

void PrintTo(const RoundTripCase& c, std::ostream* out) {
    *out << c.name;
}

bool KeepAll(const TagItem&) {
    return false;
}

const RoundTripCase kRoundTrips[] = {
    {"Unchanged", Spec(15), {}, KeepAll, kTags, 21},
    {"BytesAfterEndDropped", Spec(15), {0xDE, 0xAD, 0xBE, 0xEF, 0x00}, KeepAll, kTags, 21},
    {"TopLevelTagRemoved",
     Spec(15),
     {},
     [](const TagItem& i) { return i.TagCode == 2; },
     Cat({kBackground, kLongHeaderLabel, ShowFrame(), kSprite, kAction, ShowFrame(), End()}),
     21},
    {"LongHeaderKeptAndRemovedWhole",
     Spec(15),
     {},
     [](const TagItem& i) { return i.TagCode == 43; },
     Cat({kBackground, kShape, ShowFrame(), kSprite, kAction, ShowFrame(), End()}),
     21},
    // The frame count field stays as loaded.
    {"ShowFrameRemoved",
     Spec(15),
     {},
     [](const TagItem& i) { return i.TagCode == 1 && i.Depth == 0 && i.FrameIndex == 0; },
     Cat({kBackground, kShape, kLongHeaderLabel, kSprite, kAction, ShowFrame(), End()}),
     21},
    {"NestedItemRemoved",
     Spec(15),
     {},
     [](const TagItem& i) { return i.Depth == 1 && i.TagCode == 12; },
     kTags,
     21},
    {"NestedEndRemoved", Spec(15), {}, [](const TagItem& i) { return i.Depth == 1; }, kTags, 21},
    {"SpriteRemoved",
     Spec(15),
     {},
     [](const TagItem& i) { return i.TagCode == 39; },
     Cat({kBackground, kShape, kLongHeaderLabel, ShowFrame(), kAction, ShowFrame(), End()}),
     21},
    {"EverythingRemoved", Spec(15), {}, [](const TagItem&) { return true; }, {}, 21},
    {"FieldWidth0Gives13ByteHeader", Spec(0), {}, KeepAll, kTags, 13},
    {"FieldWidth12Gives19ByteHeader", Spec(12), {}, KeepAll, kTags, 19},
    {"FieldWidth16Gives21ByteHeader", Spec(16), {}, KeepAll, kTags, 21},
    {"FieldWidth17Gives22ByteHeader", Spec(17), {}, KeepAll, kTags, 22},
    {"FieldWidth31Gives29ByteHeader", Spec(31), {0x01}, KeepAll, kTags, 29},
    {"FieldWidth17TagRemoved",
     Spec(17),
     {},
     [](const TagItem& i) { return i.TagCode == 12; },
     Cat({kBackground, kShape, kLongHeaderLabel, ShowFrame(), kSprite, ShowFrame(), End()}),
     22},
};

class RoundTrip : public WriterTest, public ::testing::WithParamInterface<RoundTripCase> {};

TEST_P(RoundTrip, SavesHeaderAndRemainingTopLevelTags) {
    const RoundTripCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(LoadBytes(Movie(c.header, Cat({kTags, c.trailing}))));

    // What a reload must find: every item, except removed top-level ones and the contents of
    // removed sprites; removed nested items come back, as their bytes stay in their sprite.
    std::vector<ItemKey> expectedReload;
    bool droppedFromFile = false;
    for (const TagItem* item = movie_.FirstTag; item != nullptr; item = item->Next) {
        if (item->Depth == 0) {
            droppedFromFile = c.remove(*item);
        }
        if (!droppedFromFile) {
            expectedReload.push_back({item->TagCode, item->Depth});
        }
    }
    std::vector<TagItem*> doomed;
    for (TagItem* item = movie_.FirstTag; item != nullptr; item = item->Next) {
        if (c.remove(*item)) {
            doomed.push_back(item);
        }
    }
    for (TagItem* item : doomed) {
        RemoveTagItem(movie_, item);
    }

    const std::string saved = dir_.File("saved.swf");
    ASSERT_EQ(SaveMovieFile(movie_, saved), 0);
    const Bytes expected = Movie(c.header, c.expectedTags);
    EXPECT_EQ(ReadFile(saved), expected);
    EXPECT_EQ(expected.size() - c.expectedTags.size(), c.expectedHeaderBytes);
    EXPECT_EQ(movie_.Header.FileLength, expected.size());
    EXPECT_FALSE(movie_.OutFile.IsOpen());
    EXPECT_EQ(Listing(dir_.Path()), (std::vector<std::string>{"loaded.swf", "saved.swf"}));

    Load(saved);
    EXPECT_EQ(Keys(movie_), expectedReload);
}

INSTANTIATE_TEST_SUITE_P(Writer, RoundTrip, ::testing::ValuesIn(kRoundTrips),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(WriterTest, SavingTwiceGivesIdenticalFiles) {
    LoadBytes(Movie(Spec(15), kTags));
    RemoveTagItem(movie_, movie_.FirstTag);
    ASSERT_EQ(SaveMovieFile(movie_, dir_.File("a.swf")), 0);
    ASSERT_EQ(SaveMovieFile(movie_, dir_.File("b.swf")), 0);
    EXPECT_EQ(ReadFile(dir_.File("a.swf")), ReadFile(dir_.File("b.swf")));
    EXPECT_EQ(ReadFile(dir_.File("a.swf")).size(), movie_.Header.FileLength);
}

TEST_F(WriterTest, SavingOverTheLoadedFileReplacesIt) {
    const std::string path = LoadBytes(Movie(Spec(15), kTags));
    for (TagItem* item = movie_.FirstTag; item != nullptr; item = item->Next) {
        if (item->TagCode == 2) {
            RemoveTagItem(movie_, item);
            break;
        }
    }
    ASSERT_EQ(SaveMovieFile(movie_, path), 0);
    const Bytes expected = Movie(Spec(15), Cat({kBackground, kLongHeaderLabel, ShowFrame(), kSprite,
                                                kAction, ShowFrame(), End()}));
    EXPECT_EQ(ReadFile(path), expected);
    EXPECT_EQ(Listing(dir_.Path()), std::vector<std::string>{"loaded.swf"});
    ASSERT_NO_FATAL_FAILURE(Load(path));
    ASSERT_NE(movie_.FirstTag, nullptr);
    ASSERT_NE(movie_.FirstTag->Next, nullptr);
    EXPECT_EQ(movie_.FirstTag->Next->TagCode, 43);
}

TEST_F(WriterTest, NothingLoadedWritesNothing) {
    EXPECT_EQ(SaveMovieFile(movie_, dir_.File("x.swf")), -1);
    EXPECT_TRUE(Listing(dir_.Path()).empty());
}

// A write cut short by the file size limit, at each header field and inside the tags. SIGXFSZ
// is ignored so that the write fails with EFBIG instead of killing the process.
struct ShortWriteCase {
    const char* name;
    std::int64_t limit;  // bytes the file may grow to; negative: counted back from the movie's end
    bool targetExists;
};

const ShortWriteCase kShortWrites[] = {
    {"NothingWritten", 0, true},
    {"InSignature", 2, true},
    {"AtVersion", 3, true},
    {"InFileLength", 6, true},
    {"InFrameRect", 10, true},
    {"InFrameRate", 18, true},
    {"InFrameCount", 20, true},
    {"InFirstTag", 22, true},
    {"InLongTag", 40, true},
    {"LastByteMissing", -1, true},
    {"NewTargetNothingWritten", 0, false},
    {"NewTargetInTags", 60, false},
};

void PrintTo(const ShortWriteCase& c, std::ostream* out) {
    *out << c.name;
}

class ShortWrite : public WriterTest, public ::testing::WithParamInterface<ShortWriteCase> {};

TEST_P(ShortWrite, FailsAndLeavesTargetAsItWas) {
    const Bytes movie = Movie(Spec(15), kTags);
    const ShortWriteCase& c = GetParam();
    const auto limitBytes = static_cast<rlim_t>(
        c.limit >= 0 ? c.limit : static_cast<std::int64_t>(movie.size()) + c.limit);
    LoadBytes(movie);
    const std::string target = dir_.File("target.swf");
    const Bytes previous = Movie(Spec(15), Cat({Tag(9, {1, 2, 3}), Bytes(500, 0), End()}));
    if (c.targetExists) {
        WriteFile(target, previous);
    }
    const std::vector<std::string> before = Listing(dir_.Path());

    const int child = RunInChild([&] {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{limitBytes, limitBytes};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) {
            return 2;
        }
        const std::int32_t result = SaveMovieFile(movie_, target);
        return result == -1 && !movie_.OutFile.IsOpen() ? 0 : 1;
    });
    EXPECT_EQ(child, 0);
    EXPECT_EQ(Listing(dir_.Path()), before);
    if (c.targetExists) {
        EXPECT_EQ(ReadFile(target), previous);
    }
}

INSTANTIATE_TEST_SUITE_P(Writer, ShortWrite, ::testing::ValuesIn(kShortWrites),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(WriterTest, FailedWriteStillRecordsNewLength) {
    // A limit inside the tags lets the header's length field out, so the record keeps it.
    LoadBytes(Movie(Spec(15), kTags));
    RemoveTagItem(movie_, movie_.FirstTag);
    const std::uint32_t newLength = 21 + TopLevelTagBytes(movie_);
    const std::string target = dir_.File("target.swf");
    const int child = RunInChild([&] {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{30, 30};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        return SaveMovieFile(movie_, target) == -1 && movie_.Header.FileLength == newLength ? 0 : 1;
    });
    EXPECT_EQ(child, 0);
    EXPECT_FALSE(Exists(target));
}

// Root could replace the system's own device files if writing in place ever regressed, so root
// works on private nodes of the same devices where it can make them; other users cannot harm /dev.
std::string DeviceNode(const TempDir& dir, const char* name, unsigned minor) {
    const std::string node = dir.File(name);
    if (::geteuid() == 0 && ::mknod(node.c_str(), S_IFCHR | 0666, makedev(1, minor)) == 0) {
        return node;
    }
    return std::string("/dev/") + name;
}

// Existing files that are not regular files are written in place and stay what they are.
TEST_F(WriterTest, CharacterDevicesAreWrittenInPlace) {
    LoadBytes(Movie(Spec(15), kTags));
    const std::string null = DeviceNode(dir_, "null", 3);
    const std::string full = DeviceNode(dir_, "full", 7);
    if (::access(null.c_str(), W_OK) != 0 || ::access(full.c_str(), W_OK) != 0) {
        GTEST_SKIP() << "no writable null and full devices here";
    }
    const std::pair<std::string, std::int32_t> devices[] = {{null, 0}, {full, -1}};
    for (const auto& [device, expected] : devices) {
        EXPECT_EQ(SaveMovieFile(movie_, device), expected) << device;
        EXPECT_TRUE(S_ISCHR(ModeOf(device))) << device;
        EXPECT_FALSE(movie_.OutFile.IsOpen());
    }
    // The failed write has abandoned the output: nothing is left to put in place.
    EXPECT_THROW(movie_.OutFile.Commit(), EInOutError);
}

TEST_F(WriterTest, FifoIsWrittenInPlace) {
    const Bytes movie = Movie(Spec(15), kTags);
    LoadBytes(movie);
    const std::string fifo = dir_.File("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // The movie fits in the pipe's buffer, so the save completes before anything is read.
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_EQ(SaveMovieFile(movie_, fifo), 0);
    Bytes got(movie.size() + 16);
    const ssize_t n = ::read(reader, got.data(), got.size());
    ::close(reader);
    ASSERT_GE(n, 0);
    got.resize(static_cast<std::size_t>(n));
    EXPECT_EQ(got, movie);
    EXPECT_TRUE(S_ISFIFO(ModeOf(fifo)));
}

// A movie several buffers long goes into a FIFO that is read slowly while a timer keeps
// interrupting the writer's blocked writes, so that writes transfer only part of what they were
// given; what comes out must be the movie, with no byte dropped or repeated.
TEST_F(WriterTest, InterruptedPartialWritesThroughTheBufferLoseNoByte) {
    Bytes tags;
    for (int i = 0; i < 6000; ++i) {
        Append(tags, Tag(2, Bytes(250, static_cast<std::uint8_t>(i))));
    }
    const Bytes movie = Movie(Spec(15), Cat({tags, End()}));
    ASSERT_GT(movie.size(), 4 * OutputFile::kBufferBytes);
    LoadBytes(movie);
    const std::string fifo = dir_.File("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    ::fcntl(reader, F_SETFL, 0);

    const pid_t writer = ::fork();
    if (writer == 0) {
        ::close(reader);
        struct sigaction interrupt {};
        interrupt.sa_handler = [](int) {};  // and no SA_RESTART: blocked writes return early
        ::sigaction(SIGALRM, &interrupt, nullptr);
        const itimerval every200us{{0, 200}, {0, 200}};
        ::setitimer(ITIMER_REAL, &every200us, nullptr);
        ::_exit(SaveMovieFile(movie_, fifo) == 0 ? 0 : 1);
    }
    Bytes got;
    std::uint8_t chunk[3000];
    int status = 0;
    for (;;) {
        const ssize_t n = ::read(reader, chunk, sizeof chunk);
        if (n > 0) {
            got.insert(got.end(), chunk, chunk + n);
            ::usleep(20);
        } else if (n < 0 || ::waitpid(writer, &status, WNOHANG) == writer) {
            break;
        } else {
            // No writer at the moment: not yet connected, or not yet gone.
            ::usleep(1000);
        }
    }
    ::close(reader);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(got == movie) << got.size() << " bytes came out of " << movie.size();
}

// The window keeps its document, and the document's output file, after a failed save.
TEST_F(WriterTest, AFailedCommitLeavesNoTemporaryFileBehind) {
    LoadBytes(Movie(Spec(15), kTags));
    const std::string target = dir_.File("target.swf");
    movie_.OutFile.Create(target);
    ASSERT_TRUE(movie_.OutFile.Write(FileBytes, 21));
    // The target turns into a folder before the commit, so the rename into place fails.
    ASSERT_EQ(::mkdir(target.c_str(), 0700), 0);
    EXPECT_THROW(movie_.OutFile.Commit(), EInOutError);
    EXPECT_EQ(Listing(dir_.Path()), (std::vector<std::string>{"loaded.swf", "target.swf"}));
    EXPECT_EQ(SaveMovieFile(movie_, dir_.File("again.swf")), 0);
}

TEST_F(WriterTest, FifoWithoutReaderIsRefusedInsteadOfBlocking) {
    LoadBytes(Movie(Spec(15), kTags));
    const std::string fifo = dir_.File("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(SaveError(fifo), IoErrorMessage(ioOtherBase + ENXIO));
    EXPECT_TRUE(S_ISFIFO(ModeOf(fifo)));
}

TEST_F(WriterTest, UncreatableTargetsRaise) {
    LoadBytes(Movie(Spec(15), kTags));
    const std::string folder = dir_.Path();
    ASSERT_EQ(::symlink((folder + "/missing/x.swf").c_str(), (folder + "/to-missing").c_str()), 0);
    ASSERT_EQ(::symlink("loop-b", (folder + "/loop-a").c_str()), 0);
    ASSERT_EQ(::symlink("loop-a", (folder + "/loop-b").c_str()), 0);
    ASSERT_EQ(::mkdir((folder + "/sub").c_str(), 0755), 0);
    const std::vector<std::string> before = Listing(folder);

    const std::pair<std::string, std::string> rows[] = {
        {"", "Invalid filename"},
        {folder + "/missing/x.swf", "Invalid filename"},
        {folder + "/loaded.swf/x.swf", "Invalid filename"},
        {folder + "/to-missing", "Invalid filename"},
        {folder + "/sub", "File access denied"},
        {folder + "/sub/", "File access denied"},
        {folder + "/loop-a", IoErrorMessage(ioOtherBase + ELOOP)},
    };
    for (const auto& [path, message] : rows) {
        EXPECT_EQ(SaveError(path), message) << path;
        EXPECT_FALSE(movie_.OutFile.IsOpen());
    }
    EXPECT_EQ(Listing(folder), before);
    EXPECT_TRUE(Listing(folder + "/sub").empty());
}

// Run as an unprivileged user, since root's writes ignore permission bits. The rename of a
// temporary file would replace a read-only target, so the target's own mark has to stop it.
TEST_F(WriterTest, ReadOnlyTargetsAndFoldersAreRefused) {
    const Bytes movie = Movie(Spec(15), kTags);
    LoadBytes(movie);
    const std::string open = dir_.File("open");
    const std::string locked = dir_.File("locked");
    ASSERT_EQ(::mkdir(open.c_str(), 0700), 0);
    ASSERT_EQ(::mkdir(locked.c_str(), 0700), 0);
    const Bytes previous = Movie(Spec(15), Cat({Tag(9, {7, 7, 7}), End()}));
    WriteFile(open + "/readonly.swf", previous);
    WriteFile(open + "/writable.swf", previous);
    WriteFile(locked + "/writable.swf", previous);
    ASSERT_EQ(::symlink("readonly.swf", (open + "/link.swf").c_str()), 0);
    ASSERT_EQ(::chmod((open + "/readonly.swf").c_str(), 0444), 0);
    ASSERT_EQ(::chmod((open + "/writable.swf").c_str(), 0666), 0);
    ASSERT_EQ(::chmod((locked + "/writable.swf").c_str(), 0666), 0);
    ASSERT_EQ(::chmod(open.c_str(), 0777), 0);
    ASSERT_EQ(::chmod(locked.c_str(), 0555), 0);
    ASSERT_EQ(::chmod(dir_.Path().c_str(), 0755), 0);

    struct Row {
        std::string path;
        const char* message;  // nullptr: the save must succeed
    };
    const Row rows[] = {
        {open + "/readonly.swf", "File access denied"},
        {open + "/link.swf", "File access denied"},
        {locked + "/writable.swf", "File access denied"},
        {locked + "/new.swf", "File access denied"},
        // The control row: the same user can save where it may write.
        {open + "/writable.swf", nullptr},
    };
    for (const Row& row : rows) {
        const std::string folder = std::filesystem::path(row.path).parent_path().string();
        const std::vector<std::string> before = Listing(folder);
        const int child = RunInChild(
            [&] {
                if (row.message == nullptr) {
                    return SaveMovieFile(movie_, row.path) == 0 ? 0 : 1;
                }
                return SaveError(row.path) == row.message ? 0 : 1;
            },
            true);
        if (child == kChildCannotDropPrivileges) {
            GTEST_SKIP() << "cannot switch to an unprivileged user";
        }
        EXPECT_EQ(child, 0) << row.path;
        EXPECT_EQ(Listing(folder), before) << row.path;
        if (row.message != nullptr && Exists(row.path)) {
            EXPECT_EQ(ReadFile(row.path), previous) << row.path;
        }
    }
    EXPECT_EQ(ReadFile(open + "/writable.swf"), movie);
    EXPECT_EQ(ModeOf(open + "/writable.swf") & 0777, 0666u);
    EXPECT_TRUE(IsLink(open + "/link.swf"));
}

}  // namespace
