#include "archive/temporary_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "swfff/errors.h"
#include "swfff/fileio.h"

namespace velpin {

TemporaryFile::TemporaryFile() {
    const char* folder = std::getenv("TMPDIR");
    path_ =
        std::string(folder != nullptr && *folder != '\0' ? folder : "/tmp") + "/velpin-scan-XXXXXX";
    fd_ = mkstemp(path_.data());
    if (fd_ < 0) {
        RaiseIoError(errno, path_, IoOp::Create);
    }
}

TemporaryFile::~TemporaryFile() {
    close(fd_);
    unlink(path_.c_str());
}

void TemporaryFile::WriteAllOf(ByteStream& in) {
    std::vector<std::uint8_t> block(1 << 20);
    while (const std::size_t got = in.Read(block.data(), block.size())) {
        if (!WriteAll(fd_, block.data(), got)) {
            RaiseIoError(errno, path_, IoOp::Write);
        }
    }
}

}  // namespace velpin
