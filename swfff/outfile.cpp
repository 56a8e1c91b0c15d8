#include "swfff/outfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <vector>

#include "swfff/errors.h"
#include "swfff/fileio.h"

namespace {

// The kernel's own limit on links followed in one lookup.
constexpr int kMaxLinkHops = 40;
// Keeps the temporary file's name within NAME_MAX however long the target's name is.
constexpr std::size_t kMaxNameStemBytes = 200;
constexpr int kTemporaryNameAttempts = 100;

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    if (slash == 0) {
        return "/";
    }
    return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Reads one link's contents; the buffer grows because some links report no size.
std::string ReadLink(const std::string& link, const std::string& path) {
    std::vector<char> buffer(256);
    for (;;) {
        const ssize_t got = ::readlink(link.c_str(), buffer.data(), buffer.size());
        if (got < 0) {
            RaiseIoError(errno, path, IoOp::Create);
        }
        if (static_cast<std::size_t>(got) < buffer.size()) {
            return std::string(buffer.data(), static_cast<std::size_t>(got));
        }
        buffer.resize(buffer.size() * 2);
    }
}

// The name that finally receives the bytes: links at the end of `path` are followed one by one,
// so that a link to a file that does not exist yet leads to that new file. Links among the
// folders need no following, since the temporary file and the rename go through them alike.
std::string FollowLinks(const std::string& path) {
    std::string current = path;
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            return current;
        }
        const std::string destination = ReadLink(current, path);
        if (destination.empty()) {
            RaiseIoError(ENOENT, path, IoOp::Create);
        }
        if (destination[0] == '/' || current.find('/') == std::string::npos) {
            current = destination;
        } else {
            current = FolderOf(current) + "/" + destination;
        }
    }
    RaiseIoError(ELOOP, path, IoOp::Create);
}

std::string TemporaryName(const std::string& target, unsigned attempt) {
    // Saves on several threads (velpin-cli's jobs) each draw their own number.
    static std::atomic<std::uint64_t> counter{0};
    const auto now =
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    const std::uint64_t drawn = counter.fetch_add(1, std::memory_order_relaxed) + 1;
    std::uint64_t mix =
        now ^ (static_cast<std::uint64_t>(::getpid()) << 32) ^ (drawn << 16) ^ attempt;
    // A cheap avalanche so that neighbouring inputs give unrelated names; O_EXCL settles clashes.
    mix ^= mix >> 33;
    mix *= 0xff51afd7ed558ccdULL;
    mix ^= mix >> 33;
    static const char kHex[] = "0123456789abcdef";
    std::string suffix;
    for (int i = 0; i < 12; ++i) {
        suffix += kHex[mix & 0xF];
        mix >>= 4;
    }
    const std::string folder = FolderOf(target);
    const std::string name = NameOf(target).substr(0, kMaxNameStemBytes);
    return (folder == "/" ? "" : folder) + "/." + name + ".velpin-" + suffix;
}

// Copies an existing target's owner, group and permission bits onto the temporary file. The
// owner can only be handed over by a privileged user, and the group only to one of the user's
// own groups; where that is refused the file keeps the saving user's, as any new file would.
bool TakeOverAttributes(int fd, const struct stat& existing) {
    if (::fchown(fd, existing.st_uid, existing.st_gid) != 0) {
        // Refused too, it leaves the saving user's group, as said above.
        [[maybe_unused]] const int groupTaken =
            ::fchown(fd, static_cast<uid_t>(-1), existing.st_gid);
    }
    return ::fchmod(fd, existing.st_mode & 0777) == 0;
}

// The fsync of the file made its bytes durable; this makes the rename durable. Some file systems
// cannot sync a folder, and the save has already succeeded by then, so failures are ignored.
void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

OutputFile::~OutputFile() {
    Abort();
}

void OutputFile::Create(const std::string& path) {
    Abort();
    lastError_ = 0;
    if (path.empty()) {
        throw EInOutError(ioInvalidFilename);
    }
    const std::string target = FollowLinks(path);
    struct stat st {};
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (!exists && errno != ENOENT) {
        RaiseIoError(errno, target, IoOp::Create);
    }
    if (exists && S_ISDIR(st.st_mode)) {
        RaiseIoError(EISDIR, target, IoOp::Create);
    }

    if (exists && !S_ISREG(st.st_mode)) {
        // O_NONBLOCK makes opening a FIFO that nobody reads fail with ENXIO instead of hanging.
        int fd;
        do {
            fd = ::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0) {
            RaiseIoError(errno, target, IoOp::Create);
        }
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags >= 0) {
            ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
        }
        fd_ = fd;
        target_ = target;
        buffer_.reserve(kBufferBytes);
        return;
    }

    // The rename would replace even a read-only file, so the target's own write permission is
    // checked here, against the same user and groups that an open for writing would use.
    if (exists && ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
        RaiseIoError(errno, target, IoOp::Create);
    }
    // A new file is created 0666 so the kernel applies the umask and any default ACL, exactly as
    // for a file created in place; a replacement starts private and takes the target's bits.
    const mode_t createMode = exists ? 0600 : 0666;
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        const std::string tempPath = TemporaryName(target, static_cast<unsigned>(attempt));
        int fd;
        do {
            fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                        createMode);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            RaiseIoError(errno, target, IoOp::Create);
        }
        fd_ = fd;
        target_ = target;
        tempPath_ = tempPath;
        buffer_.reserve(kBufferBytes);
        if (exists && !TakeOverAttributes(fd, st)) {
            const int err = errno;
            Abort();
            RaiseIoError(err, target, IoOp::Create);
        }
        return;
    }
    RaiseIoError(EEXIST, target, IoOp::Create);
}

bool OutputFile::WriteThrough(const void* data, std::size_t count) {
    if (WriteAll(fd_, data, count)) {
        return true;
    }
    // Kept for Commit, which names the failure by it.
    lastError_ = errno;
    Abort();
    return false;
}

bool OutputFile::Write(const void* data, std::size_t count) {
    if (fd_ < 0) {
        return false;
    }
    if (count > kBufferBytes - buffer_.size()) {
        if (!Flush()) {
            return false;
        }
        if (count >= kBufferBytes) {
            return WriteThrough(data, count);
        }
    }
    const auto* bytes = static_cast<const unsigned char*>(data);
    buffer_.insert(buffer_.end(), bytes, bytes + count);
    return true;
}

bool OutputFile::Flush() {
    if (fd_ < 0) {
        return false;
    }
    if (buffer_.empty()) {
        return true;
    }
    const bool written = WriteThrough(buffer_.data(), buffer_.size());
    buffer_.clear();
    return written;
}

void OutputFile::Commit() {
    if (fd_ < 0) {
        RaiseIoError(EBADF, target_, IoOp::Close);
    }
    if (!Flush()) {
        RaiseIoError(lastError_, target_, IoOp::Write);
    }
    const int fd = fd_;
    fd_ = -1;
    if (tempPath_.empty()) {
        // Linux releases the descriptor even when close reports EINTR, so it is never retried.
        if (::close(fd) != 0 && errno != EINTR) {
            RaiseIoError(errno, target_, IoOp::Close);
        }
        return;
    }

    // Unless the bytes are on disk before the rename, a crash could leave the target's name on
    // an empty or partial file.
    int err = 0;
    IoOp failedOp = IoOp::Sync;
    if (::fsync(fd) != 0) {
        err = errno;
        ::close(fd);
    } else if (::close(fd) != 0 && errno != EINTR) {
        err = errno;
        failedOp = IoOp::Close;
    } else if (::rename(tempPath_.c_str(), target_.c_str()) != 0) {
        err = errno;
        failedOp = IoOp::Rename;
    }
    if (err != 0) {
        Abort();
        RaiseIoError(err, target_, failedOp);
    }
    tempPath_.clear();
    SyncFolder(FolderOf(target_));
}

void OutputFile::Abort() noexcept {
    buffer_.clear();
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!tempPath_.empty()) {
        ::unlink(tempPath_.c_str());
        tempPath_.clear();
    }
}
