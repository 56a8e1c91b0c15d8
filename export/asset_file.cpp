#include "export/asset_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "codec/digests.h"
#include "swfff/fileio.h"

namespace velpin {

namespace {

constexpr std::size_t kBufferBytes = 256 * 1024;

// Hands `produce` a sink that digests and counts every byte, and passes the bytes on to `write`.
WrittenFile Measure(const std::function<void(const ByteSink&)>& produce,
                    const std::function<void(const std::uint8_t*, std::size_t)>& write) {
    Digester digester({HashAlgorithm::Sha256});
    WrittenFile written;
    produce([&](const std::uint8_t* bytes, std::size_t count) {
        digester.Update(bytes, count);
        written.size += count;
        write(bytes, count);
    });
    written.sha256 = digester.Finish().front().second;
    return written;
}

// A file descriptor closed, and its file removed unless kept, however the write ends.
class NewFile {
  public:
    explicit NewFile(const std::string& path) : path_(path) {
        fd_ = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ < 0) {
            RaiseIoError(errno, path, IoOp::Create);
        }
    }
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;
    ~NewFile() {
        if (fd_ >= 0) {
            close(fd_);
            unlink(path_.c_str());
        }
    }

    void Write(const std::uint8_t* bytes, std::size_t count) {
        if (buffer_.size() + count > kBufferBytes) {
            Flush();
        }
        if (count >= kBufferBytes) {
            Put(bytes, count);
        } else {
            buffer_.insert(buffer_.end(), bytes, bytes + count);
        }
    }
    void Keep() {
        Flush();
        const int fd = fd_;
        fd_ = -1;
        if (close(fd) != 0) {
            const int error = errno;
            unlink(path_.c_str());
            RaiseIoError(error, path_, IoOp::Close);
        }
    }

  private:
    void Flush() {
        Put(buffer_.data(), buffer_.size());
        buffer_.clear();
    }
    void Put(const std::uint8_t* bytes, std::size_t count) {
        if (count > 0 && !WriteAll(fd_, bytes, count)) {
            RaiseIoError(errno, path_, IoOp::Write);
        }
    }

    std::string path_;
    int fd_ = -1;
    std::vector<std::uint8_t> buffer_;
};

}  // namespace

WrittenFile WriteNewFile(const std::string& path,
                         const std::function<void(const ByteSink&)>& produce) {
    NewFile file(path);
    const WrittenFile written = Measure(
        produce,
        [&file](const std::uint8_t* bytes, std::size_t count) { file.Write(bytes, count); });
    file.Keep();
    return written;
}

WrittenFile MeasureFile(const std::function<void(const ByteSink&)>& produce) {
    return Measure(produce, [](const std::uint8_t*, std::size_t) {});
}

}  // namespace velpin
