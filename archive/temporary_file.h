// A file of our own under $TMPDIR, for bytes that must be read where they can be sought in:
// standard input, and a zip or 7z inside another container.
#pragma once

#include <string>

#include "archive/byte_stream.h"

namespace velpin {

// Made empty, and removed again however the reading of it ends. Raises EInOutError when it
// cannot be made or written.
class TemporaryFile {
  public:
    TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile();

    void WriteAllOf(ByteStream& in);
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
    int fd_ = -1;
};

}  // namespace velpin
