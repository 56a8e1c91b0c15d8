#include "swfff/fileio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "swfff/errors.h"

namespace {

// ENOENT means "file not found" only when the folder it should be in exists; a missing folder is
// a bad path, which the tool has always reported as "Invalid filename".
bool ParentFolderExists(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    std::string parent;
    if (slash == std::string::npos) {
        parent = ".";
    } else if (slash == 0) {
        parent = "/";
    } else {
        parent = path.substr(0, slash);
    }
    struct stat st {};
    return stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

int IoErrorCodeFor(int err, const std::string& path, IoOp op) {
    const bool writing = op == IoOp::Create || op == IoOp::Write || op == IoOp::Sync;
    switch (err) {
        case ENOENT:
            if (path.empty() || !ParentFolderExists(path)) {
                return ioInvalidFilename;
            }
            return ioFileNotFound;
        case ENOTDIR:
        case ENAMETOOLONG:
            return ioInvalidFilename;
        case EMFILE:
        case ENFILE:
            return ioTooManyOpenFiles;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
            return ioAccessDenied;
        case ETXTBSY:
        case EBUSY:
            return ioSharingViolation;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            if (writing) {
                return ioDiskFull;
            }
            break;
        default:
            break;
    }
    return ioOtherBase + err;
}

void RaiseIoError(int err, const std::string& path, IoOp op) {
    throw EInOutError(IoErrorCodeFor(err, path, op), path);
}

InputFile::~InputFile() {
    CloseQuietly();
}

void InputFile::Open(const std::string& path) {
    CloseQuietly();
    if (path.empty()) {
        throw EInOutError(ioInvalidFilename);
    }
    int fd;
    do {
        // O_NONBLOCK keeps a FIFO from blocking the open; it has no effect on regular files.
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        RaiseIoError(errno, path, IoOp::Open);
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        const int err = S_ISDIR(st.st_mode) ? EISDIR : errno;
        ::close(fd);
        RaiseIoError(err, path, IoOp::Open);
    }
    const int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) {
        fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    }
    fd_ = fd;
    path_ = path;
}

std::int64_t InputFile::Size() {
    struct stat st {};
    if (fstat(fd_, &st) != 0) {
        RaiseIoError(errno, path_, IoOp::Size);
    }
    return static_cast<std::int64_t>(st.st_size);
}

bool InputFile::SeekToStart() {
    return lseek(fd_, 0, SEEK_SET) == 0;
}

std::int64_t InputFile::Read(void* buffer, std::int64_t count) {
    auto* out = static_cast<unsigned char*>(buffer);
    std::int64_t done = 0;
    while (done < count) {
        const ssize_t got = ::read(fd_, out + done, static_cast<std::size_t>(count - done));
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return -1;
        }
        if (got == 0) {
            break;
        }
        done += got;
    }
    return done;
}

void InputFile::Close() {
    if (fd_ < 0) {
        return;
    }
    const int fd = fd_;
    fd_ = -1;
    // Linux releases the descriptor even when close reports EINTR, so it is never retried.
    if (::close(fd) != 0 && errno != EINTR) {
        RaiseIoError(errno, path_, IoOp::Close);
    }
}

void InputFile::CloseQuietly() noexcept {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

bool WriteAll(int fd, const void* data, std::size_t count) {
    const auto* in = static_cast<const unsigned char*>(data);
    while (count > 0) {
        const ssize_t put = ::write(fd, in, count);
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (put == 0) {
            errno = ENOSPC;
            return false;
        }
        in += put;
        count -= static_cast<std::size_t>(put);
    }
    return true;
}
