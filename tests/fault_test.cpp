// File faults while loading and saving: each step of the loader and the writer is made to fail,
// deterministically, in a child process, and must give its result code or raised error while
// every file the user had keeps its bytes.
//
// Failures are injected with a seccomp filter installed in a forked child: it makes exactly one
// system call (by number, and where it matters by descriptor and byte count) fail with a chosen
// errno, or traps it into a handler that changes the file before the call goes ahead. No test
// hook exists in the code under test, and the parent test process is never affected.
#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Unit1/presentation/BuildMovieTree.h"
#include "Unit1/presentation/NodeStore.h"
#include "swfff/errors.h"
#include "swfff/loader.h"
#include "swfff/scoped_movie.h"
#include "swfff/writer.h"
#include "tests/support/child_process.h"
#include "tests/support/movie_builder.h"

namespace {

using namespace testmovie;

constexpr const char* kCannotDropPrivileges = "cannot drop privileges";

// Runs `body` in a forked child (as "nobody" when `unprivileged`) and returns what it reports:
// an empty text for success, otherwise what went wrong.
std::string InChild(const std::function<std::string()>& body, bool unprivileged = false) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        return "pipe failed";
    }
    const int status = RunInChild(
        [&] {
            close(pipeFds[0]);
            std::string report;
            try {
                report = body();
            } catch (const std::exception& e) {
                report = std::string("unexpected exception: ") + e.what();
            }
            if (report.empty()) {
                return 0;
            }
            // A report is a few lines, far less than a pipe holds, so the write cannot block.
            const ssize_t written = write(pipeFds[1], report.data(), report.size());
            return written == static_cast<ssize_t>(report.size()) ? 0 : 1;
        },
        unprivileged);
    close(pipeFds[1]);
    std::string report;
    char buffer[512];
    ssize_t got;
    while ((got = read(pipeFds[0], buffer, sizeof buffer)) > 0) {
        report.append(buffer, static_cast<std::size_t>(got));
    }
    close(pipeFds[0]);
    if (status == kChildCannotDropPrivileges) {
        return kCannotDropPrivileges;
    }
    if (status != 0) {
        return report + " child ended with " + std::to_string(status);
    }
    return report;
}

// The descriptor number the next open in this process will get.
int NextFreeDescriptor() {
    const int fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
    close(fd);
    return fd;
}

constexpr int kTrap = -1;

// One system call to fail: `errnoValue`, or kTrap to run the SIGSYS handler instead.
struct SyscallFault {
    long number;
    std::optional<int> fd;          // first argument
    std::optional<unsigned> count;  // third argument (a read's or write's byte count)
    int errnoValue;
};

#if defined(__x86_64__)
constexpr std::uint32_t kAuditArch = AUDIT_ARCH_X86_64;
#endif

// Installs the filter in the calling process; returns false where seccomp is not available.
bool InstallFaults(const std::vector<SyscallFault>& faults) {
#if defined(__x86_64__)
    std::vector<sock_filter> program;
    auto add = [&](sock_filter instruction) { program.push_back(instruction); };
    add(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)));
    add(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kAuditArch, 1, 0));
    add(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
    for (const SyscallFault& fault : faults) {
        // Each block reloads the call number, so a failed comparison can jump to the next block.
        std::vector<std::pair<std::uint32_t, std::uint32_t>> checks;  // (offset, value)
        checks.push_back({offsetof(seccomp_data, nr), static_cast<std::uint32_t>(fault.number)});
        if (fault.fd) {
            checks.push_back(
                {offsetof(seccomp_data, args[0]), static_cast<std::uint32_t>(*fault.fd)});
        }
        if (fault.count) {
            checks.push_back({offsetof(seccomp_data, args[2]), *fault.count});
        }
        const std::size_t blockLength = checks.size() * 2 + 1;
        for (std::size_t i = 0; i < checks.size(); ++i) {
            add(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, checks[i].first));
            const auto skip = static_cast<std::uint8_t>(blockLength - (2 * i + 2));
            add(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, checks[i].second, 0, skip));
        }
        const std::uint32_t action =
            fault.errnoValue == kTrap
                ? SECCOMP_RET_TRAP
                : SECCOMP_RET_ERRNO | (static_cast<std::uint32_t>(fault.errnoValue) & 0xFFFF);
        add(BPF_STMT(BPF_RET | BPF_K, action));
    }
    add(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
    sock_fprog fprog{static_cast<unsigned short>(program.size()), program.data()};
    return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, 0, &fprog) == 0;
#else
    static_cast<void>(faults);
    return false;
#endif
}

constexpr const char* kNoSeccomp = "seccomp unavailable";

// What a trapped read does: the handler runs in place of the read and stands in for it.
enum class TrapBehaviour { ShrinkThenRead, InterruptOnceThenRead };
TrapBehaviour trapBehaviour;
int trapFd = -1;
const char* shrinkPath = nullptr;  // the file is open for reading only, so it is cut by name
off_t shrinkTo = 0;
int trapsTaken = 0;

// Stands in for a trapped read(fd, buffer, count): optionally shrinks the file first, then
// reads with pread (not filtered) and moves the file position as read would have.
void OnTrappedRead(int, siginfo_t*, void* context) {
#if defined(__x86_64__)
    auto* uc = static_cast<ucontext_t*>(context);
    greg_t* regs = uc->uc_mcontext.gregs;
    const int fd = static_cast<int>(regs[REG_RDI]);
    void* buffer = reinterpret_cast<void*>(regs[REG_RSI]);
    const auto count = static_cast<std::size_t>(regs[REG_RDX]);
    ++trapsTaken;
    if (trapBehaviour == TrapBehaviour::InterruptOnceThenRead && trapsTaken == 1) {
        regs[REG_RAX] = -EINTR;
        return;
    }
    if (trapBehaviour == TrapBehaviour::ShrinkThenRead && truncate(shrinkPath, shrinkTo) != 0) {
        regs[REG_RAX] = -EIO;
        return;
    }
    const off_t position = lseek(fd, 0, SEEK_CUR);
    const ssize_t got = pread(fd, buffer, count, position);
    if (got > 0) {
        lseek(fd, position + got, SEEK_SET);
    }
    regs[REG_RAX] = got < 0 ? -errno : got;
#else
    static_cast<void>(context);
#endif
}

bool InstallReadTrap(int fd, unsigned count, TrapBehaviour behaviour) {
    trapFd = fd;
    trapBehaviour = behaviour;
    trapsTaken = 0;
    struct sigaction action {};
    action.sa_sigaction = OnTrappedRead;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    return sigaction(SIGSYS, &action, nullptr) == 0 &&
           InstallFaults({{SYS_read, fd, count, kTrap}});
}

std::string Check(bool ok, const std::string& what) {
    return ok ? "" : what + "; ";
}

std::string RaisedCode(const std::function<void()>& action, int code, const std::string& message) {
    try {
        action();
    } catch (const EInOutError& e) {
        return Check(e.ErrorCode == code, "code " + std::to_string(e.ErrorCode)) +
               Check(e.what() == message, std::string("message ") + e.what());
    }
    return "nothing raised; ";
}

std::size_t CountItems(const CInputScript& movie) {
    std::size_t n = 0;
    for (const TagItem* item = movie.FirstTag; item != nullptr; item = item->Next) {
        ++n;
    }
    return n;
}

class FaultTest : public ::testing::Test {
  protected:
    // A movie over 21 bytes whose whole-file read asks for a count no other read uses.
    Bytes MovieBytes() const {
        return Movie(Cat({DoAction({0x07, 0x00}), Sprite(Cat({ShowFrame(), End()})), ShowFrame(),
                          Tag(2, Bytes(40, 0x5A)), End()}));
    }

    TempDir dir_;
    ScopedMovie held_;
    CInputScript& movie_ = held_.movie;
};

// Loading: each step fails in its own way.
TEST_F(FaultTest, LoadStepsThatFail) {
    const Bytes bytes = MovieBytes();
    const auto size = static_cast<unsigned>(bytes.size());
    const std::string path = dir_.Write("movie.swf", bytes);
    struct Row {
        const char* what;
        long number;
        std::optional<unsigned> count;
        int errnoValue;
        std::int32_t result;  // when no error is raised
        int raisedCode;       // 0: a result is returned
        const char* message;
    };
    const Row rows[] = {
        {"open fails", SYS_openat, std::nullopt, EIO, 0, ioOtherBase + EIO, "I/O error 1005"},
        {"open finds no descriptor", SYS_openat, std::nullopt, ENFILE, 0, ioTooManyOpenFiles,
         "Too many open files"},
        {"open is refused", SYS_openat, std::nullopt, EACCES, 0, ioAccessDenied,
         "File access denied"},
        {"file held by another", SYS_openat, std::nullopt, ETXTBSY, 0, ioSharingViolation,
         "I/O error 32"},
        {"size unknown", SYS_newfstatat, std::nullopt, EIO, 0, ioOtherBase + EIO, "I/O error 1005"},
        {"first bytes unreadable", SYS_read, 21u, EIO, loadHeaderReadFailed, 0, nullptr},
        {"seek to start fails", SYS_lseek, std::nullopt, EIO, loadFileReadFailed, 0, nullptr},
        {"whole file unreadable", SYS_read, size, EIO, loadFileReadFailed, 0, nullptr},
        {"close fails", SYS_close, std::nullopt, EIO, 0, ioOtherBase + EIO, "I/O error 1005"},
    };
    for (const Row& row : rows) {
        const std::string report = InChild([&]() -> std::string {
            CInputScript movie;
            const int fd = NextFreeDescriptor();
            // openat is matched on any descriptor argument (it is AT_FDCWD); the rest on the
            // movie's own descriptor.
            const std::optional<int> onFd =
                row.number == SYS_openat ? std::nullopt : std::optional<int>(fd);
            if (!InstallFaults({{row.number, onFd, row.count, row.errnoValue}})) {
                return kNoSeccomp;
            }
            if (row.raisedCode != 0) {
                const std::string raised =
                    RaisedCode([&] { LoadMovieFile(movie, path); }, row.raisedCode, row.message);
                return raised + Check(!movie.Loaded, "loaded") +
                       Check(movie.FileName == path, "name");
            }
            const std::int32_t result = LoadMovieFile(movie, path);
            // -8 keeps the file-sized block, as callers have always found it; every other
            // failure holds nothing.
            const bool blockHeld = row.result == loadFileReadFailed;
            return Check(result == row.result, "result " + std::to_string(result)) +
                   Check(!movie.Loaded && movie.FirstTag == nullptr, "document not empty") +
                   Check((FileBytes != nullptr) == blockHeld, "FileBytes") +
                   Check(!movie.InFile.IsOpen(), "file left open");
        });
        if (report == kNoSeccomp) {
            GTEST_SKIP() << kNoSeccomp;
        }
        EXPECT_EQ(report, "") << row.what;
        EXPECT_EQ(ReadFile(path), bytes) << row.what;
    }
}

TEST_F(FaultTest, RestOfAWideHeaderUnreadable) {
    // 20-bit fields make an 11-byte rectangle: the header's last 2 bytes lie past the first 21
    // and are read on their own.
    HeaderSpec wide;
    wide.fieldWidth = 20;
    const Bytes bytes = Movie(wide, Cat({ShowFrame(), End()}));
    const std::string path = dir_.Write("wide.swf", bytes);
    const std::string report = InChild([&]() -> std::string {
        CInputScript movie;
        if (!InstallFaults({{SYS_read, NextFreeDescriptor(), 2u, EIO}})) {
            return kNoSeccomp;
        }
        const std::int32_t result = LoadMovieFile(movie, path);
        return Check(result == loadHeaderReadFailed, "result " + std::to_string(result)) +
               Check(!movie.Loaded && FileBytes == nullptr, "document not empty");
    });
    if (report == kNoSeccomp) {
        GTEST_SKIP() << kNoSeccomp;
    }
    EXPECT_EQ(report, "");
    EXPECT_EQ(LoadMovieFile(movie_, path), loadOk);
}

TEST_F(FaultTest, FileThatShrinksBeforeTheWholeReadFails) {
    const Bytes bytes = MovieBytes();
    const std::string path = dir_.Write("movie.swf", bytes);
    const std::string report = InChild([&]() -> std::string {
        CInputScript movie;
        shrinkPath = path.c_str();
        shrinkTo = 30;
        if (!InstallReadTrap(NextFreeDescriptor(), static_cast<unsigned>(bytes.size()),
                             TrapBehaviour::ShrinkThenRead)) {
            return kNoSeccomp;
        }
        const std::int32_t result = LoadMovieFile(movie, path);
        return Check(trapsTaken == 1, "trap not taken") +
               Check(result == loadFileReadFailed, "result " + std::to_string(result)) +
               Check(!movie.Loaded && movie.FirstTag == nullptr, "document not empty");
    });
    if (report == kNoSeccomp) {
        GTEST_SKIP() << kNoSeccomp;
    }
    EXPECT_EQ(report, "");
    EXPECT_EQ(std::filesystem::file_size(path), 30u);
}

TEST_F(FaultTest, InterruptedReadIsRetried) {
    const Bytes bytes = MovieBytes();
    const std::string path = dir_.Write("movie.swf", bytes);
    const std::string report = InChild([&]() -> std::string {
        CInputScript movie;
        if (!InstallReadTrap(NextFreeDescriptor(), static_cast<unsigned>(bytes.size()),
                             TrapBehaviour::InterruptOnceThenRead)) {
            return kNoSeccomp;
        }
        const std::int32_t result = LoadMovieFile(movie, path);
        return Check(trapsTaken == 2, "traps " + std::to_string(trapsTaken)) +
               Check(result == loadOk, "result " + std::to_string(result)) +
               Check(CountItems(movie) == 7, "items " + std::to_string(CountItems(movie)));
    });
    if (report == kNoSeccomp) {
        GTEST_SKIP() << kNoSeccomp;
    }
    EXPECT_EQ(report, "");
}

TEST_F(FaultTest, TooManyOpenFiles) {
    const Bytes bytes = MovieBytes();
    const std::string path = dir_.Write("movie.swf", bytes);
    const std::string target = dir_.Write("target.swf", Bytes{'o', 'l', 'd'});
    const std::string report = InChild([&]() -> std::string {
        CInputScript movie;
        if (LoadMovieFile(movie, path) != loadOk) {
            return "first load failed";
        }
        // UndefinedBehaviorSanitizer checks the error's type on construction and, the first time,
        // reads the process's memory map through a descriptor; do that while one is free.
        static_cast<void>(EInOutError(ioTooManyOpenFiles));
        // No descriptor is left for the process once the limit is the lowest free number.
        const rlim_t limit = static_cast<rlim_t>(NextFreeDescriptor());
        const rlimit lowered{limit, limit};
        if (setrlimit(RLIMIT_NOFILE, &lowered) != 0) {
            return "setrlimit failed";
        }
        std::string out = RaisedCode([&] { SaveMovieFile(movie, target); }, ioTooManyOpenFiles,
                                     "Too many open files");
        out += Check(movie.Loaded, "save unloaded the movie");
        out += RaisedCode([&] { LoadMovieFile(movie, path); }, ioTooManyOpenFiles,
                          "Too many open files");
        out += Check(!movie.Loaded && movie.FirstTag == nullptr && FileBytes == nullptr,
                     "document not empty");
        return out;
    });
    EXPECT_EQ(report, "");
    EXPECT_EQ(ReadFile(target), (Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(Listing(dir_.Path()), (std::vector<std::string>{"movie.swf", "target.swf"}));
}

TEST_F(FaultTest, SpecialFilesFailCleanlyWithoutBlocking) {
    const std::string fifo = dir_.File("pipe.swf");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string sparse = dir_.File("huge.swf");
    {
        const int fd = open(sparse.c_str(), O_WRONLY | O_CREAT, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(ftruncate(fd, off_t{5} << 30), 0);
        close(fd);
    }
    struct Row {
        std::string path;
        std::int32_t result;
    };
    // A FIFO, a device and a process file all report no size; a sparse 5 GiB file is refused
    // before anything is read.
    const Row rows[] = {
        {fifo, loadTooSmall},
        {"/dev/zero", loadTooSmall},
        {"/proc/self/status", loadTooSmall},
        {sparse, loadTooLarge},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(LoadMovieFile(movie_, row.path), row.result) << row.path;
        EXPECT_FALSE(movie_.Loaded);
        EXPECT_EQ(FileBytes, nullptr);
    }
}

TEST_F(FaultTest, PathThatIsAFolder) {
    ASSERT_EQ(LoadMovieFile(movie_, dir_.Write("movie.swf", MovieBytes())), loadOk);
    const std::string folder = dir_.File("folder.swf");
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    EXPECT_EQ(
        RaisedCode([&] { SaveMovieFile(movie_, folder); }, ioAccessDenied, "File access denied"),
        "");
    EXPECT_TRUE(movie_.Loaded);
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_EQ(
        RaisedCode([&] { LoadMovieFile(movie_, folder); }, ioAccessDenied, "File access denied"),
        "");
    EXPECT_FALSE(movie_.Loaded);
}

TEST_F(FaultTest, PathWithInvalidUtf8Bytes) {
    const Bytes bytes = MovieBytes();
    const std::string path = dir_.Write("\xff\xfe\x80-movie.swf", bytes);
    // The tree shows the path's bytes as they are.
    NodeStore tree;
    FrameNodeTable frameNodes;
    ASSERT_EQ(LoadMovieFile(movie_, path), loadOk);
    BuildMovieTree(movie_, tree, frameNodes);
    EXPECT_EQ(movie_.FileName, path);
    EXPECT_EQ(tree.Text(tree.FirstTopLevel()), path);
    EXPECT_EQ(CountItems(movie_), 7u);
    const std::string saved = dir_.File("\xc3\x28-saved.swf");
    ASSERT_EQ(SaveMovieFile(movie_, saved), 0);
    EXPECT_EQ(ReadFile(saved), bytes);
}

// Saving: the target keeps its old bytes and no temporary file stays behind, whatever fails.
TEST_F(FaultTest, SaveStepsThatFail) {
    const Bytes bytes = MovieBytes();
    const std::string path = dir_.Write("movie.swf", bytes);
    const Bytes oldBytes{'o', 'l', 'd', ' ', 'f', 'i', 'l', 'e'};
    struct Row {
        const char* what;
        long number;
        int errnoValue;
        std::int32_t result;  // when nothing is raised
        int raisedCode;
        const char* message;
    };
    const Row rows[] = {
        {"disk full on write", SYS_write, ENOSPC, -1, 0, nullptr},
        {"write error", SYS_write, EIO, -1, 0, nullptr},
        {"quota on write", SYS_write, EDQUOT, -1, 0, nullptr},
        {"disk full on flush", SYS_fsync, ENOSPC, 0, ioDiskFull, "Disk full"},
        {"flush error", SYS_fsync, EIO, 0, ioOtherBase + EIO, "I/O error 1005"},
        {"rename fails", SYS_rename, EIO, 0, ioOtherBase + EIO, "I/O error 1005"},
        {"temporary file refused", SYS_openat, EACCES, 0, ioAccessDenied, "File access denied"},
    };
    for (const Row& row : rows) {
        const std::string target = dir_.Write("target.swf", oldBytes);
        const std::string report = InChild([&]() -> std::string {
            CInputScript movie;
            if (LoadMovieFile(movie, path) != loadOk) {
                return "load failed";
            }
            // Writes and flushes fail on the output file only (the next descriptor opened), so
            // the report still reaches the parent; creating and renaming go by name.
            const bool onOutput = row.number == SYS_write || row.number == SYS_fsync;
            const std::optional<int> fd =
                onOutput ? std::optional<int>(NextFreeDescriptor()) : std::nullopt;
            if (!InstallFaults({{row.number, fd, std::nullopt, row.errnoValue}})) {
                return kNoSeccomp;
            }
            if (row.raisedCode != 0) {
                const std::string raised =
                    RaisedCode([&] { SaveMovieFile(movie, target); }, row.raisedCode, row.message);
                return raised + Check(movie.Loaded, "unloaded");
            }
            const std::int32_t result = SaveMovieFile(movie, target);
            return Check(result == row.result, "result " + std::to_string(result)) +
                   Check(movie.Loaded, "unloaded");
        });
        if (report == kNoSeccomp) {
            GTEST_SKIP() << kNoSeccomp;
        }
        EXPECT_EQ(report, "") << row.what;
        EXPECT_EQ(ReadFile(target), oldBytes) << row.what;
        EXPECT_EQ(Listing(dir_.Path()), (std::vector<std::string>{"movie.swf", "target.swf"}))
            << row.what;
    }
}

TEST_F(FaultTest, DiskThatFillsDuringASave) {
    const Bytes bytes = MovieBytes();
    const std::string path = dir_.Write("movie.swf", bytes);
    const Bytes oldBytes{'k', 'e', 'e', 'p'};
    const std::string target = dir_.Write("target.swf", oldBytes);
    const std::string report = InChild([&]() -> std::string {
        CInputScript movie;
        if (LoadMovieFile(movie, path) != loadOk) {
            return "load failed";
        }
        // Past the limit a write fails with EFBIG instead of killing the process.
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        const rlim_t unlimited = limit.rlim_cur;
        limit.rlim_cur = 30;  // the header and a few tags fit, the rest does not
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) {
            return "setrlimit failed";
        }
        std::string out = Check(SaveMovieFile(movie, target) == -1, "full save did not fail");
        out +=
            Check(movie.Loaded, "unloaded") + Check(ReadFile(target) == oldBytes, "target changed");
        // Once there is room again the same document saves whole.
        limit.rlim_cur = unlimited;
        setrlimit(RLIMIT_FSIZE, &limit);
        out += Check(SaveMovieFile(movie, target) == 0, "second save failed");
        return out;
    });
    EXPECT_EQ(report, "");
    EXPECT_EQ(ReadFile(target), bytes);
    EXPECT_EQ(Listing(dir_.Path()), (std::vector<std::string>{"movie.swf", "target.swf"}));
}

// Permission bits bind only an unprivileged user, so these run as nobody in a child.
TEST_F(FaultTest, ReadOnlyTargetsAreLeftAlone) {
    const Bytes bytes = MovieBytes();
    const std::string path = dir_.Write("movie.swf", bytes);
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    const std::string lockedFolder = dir_.File("locked");
    ASSERT_EQ(mkdir(lockedFolder.c_str(), 0755), 0);
    const Bytes oldBytes{'m', 'i', 'n', 'e'};
    const std::string inLocked = lockedFolder + "/target.swf";
    WriteFile(inLocked, oldBytes);
    // Writable itself, so that only the folder stands in the way.
    ASSERT_EQ(chmod(inLocked.c_str(), 0666), 0);
    const std::string readOnlyTarget = dir_.Write("readonly.swf", oldBytes);
    ASSERT_EQ(chmod(readOnlyTarget.c_str(), 0444), 0);
    ASSERT_EQ(chmod(dir_.Path().c_str(), 0777), 0);
    ASSERT_EQ(chmod(lockedFolder.c_str(), 0555), 0);
    const std::string report = InChild(
        [&]() -> std::string {
            CInputScript movie;
            if (LoadMovieFile(movie, path) != loadOk) {
                return "read-only movie did not load";
            }
            std::string out;
            for (const std::string& target :
                 {inLocked, lockedFolder + "/new.swf", readOnlyTarget}) {
                out += RaisedCode([&] { SaveMovieFile(movie, target); }, ioAccessDenied,
                                  "File access denied");
            }
            return out + Check(movie.Loaded, "unloaded");
        },
        true);
    if (report == kCannotDropPrivileges) {
        GTEST_SKIP() << report;
    }
    EXPECT_EQ(report, "");
    EXPECT_EQ(ReadFile(inLocked), oldBytes);
    EXPECT_EQ(ReadFile(readOnlyTarget), oldBytes);
    EXPECT_EQ(Listing(lockedFolder), (std::vector<std::string>{"target.swf"}));
}

}  // namespace
