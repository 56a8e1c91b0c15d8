// A file descriptor opened for reading alone and closed however the reading ends, for the looks
// at a container's bytes that need pread.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <string>

namespace velpin {

class ReadOnlyFile {
  public:
    // `extraFlags` as open(2) takes them, beside O_RDONLY and O_CLOEXEC.
    explicit ReadOnlyFile(const std::string& path, int extraFlags = 0)
        : fd_(open(path.c_str(), O_RDONLY | O_CLOEXEC | extraFlags)) {}
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;
    ~ReadOnlyFile() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    // Negative when the file could not be opened.
    int Descriptor() const { return fd_; }

  private:
    int fd_;
};

}  // namespace velpin
