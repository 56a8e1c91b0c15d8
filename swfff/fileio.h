// The platform layer: every file operation of the movie file unit goes through here (POSIX), and
// every errno becomes an EInOutError code through the one table in fileio.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// What a failed operation was doing; some errno values mean different things for reads and writes.
enum class IoOp { Open, Create, Size, Seek, Read, Write, Sync, Rename, Close };

// The EInOutError code for errno `err` raised by `op` on `path`. The table:
//   ENOENT, parent folder exists                -> 2 "File not found"
//   ENOENT, parent folder missing; ENOTDIR;
//   ENAMETOOLONG; an empty path                  -> 3 "Invalid filename"
//   EMFILE, ENFILE                               -> 4 "Too many open files"
//   EACCES, EPERM, EROFS, EISDIR                 -> 5 "File access denied"
//   ETXTBSY, EBUSY                               -> 32 "I/O error 32"
//   ENOSPC, EDQUOT, EFBIG while creating/writing -> 101 "Disk full"
//   anything else                                -> 1000 + errno, "I/O error <1000 + errno>"
int IoErrorCodeFor(int err, const std::string& path, IoOp op);

[[noreturn]] void RaiseIoError(int err, const std::string& path, IoOp op);

// A movie file opened for reading only: viewing a movie must never need write access to it.
class InputFile {
  public:
    InputFile() = default;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile();

    // Raises EInOutError; a directory is refused with "File access denied".
    void Open(const std::string& path);
    // Raises EInOutError.
    std::int64_t Size();
    bool SeekToStart();
    // Reads until `count` bytes arrived, the file ended or an error occurred. Returns the bytes
    // delivered, or -1 on an error.
    std::int64_t Read(void* buffer, std::int64_t count);
    // Raises EInOutError when the close fails; the file counts as closed either way.
    void Close();
    // Closes without raising, for the ways out where another result is already decided.
    void CloseQuietly() noexcept;
    bool IsOpen() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
    std::string path_;
};

// Writes all `count` bytes to `fd`, retrying interrupted and partial writes. Returns false and
// leaves errno set when fewer bytes could be written.
bool WriteAll(int fd, const void* data, std::size_t count);
