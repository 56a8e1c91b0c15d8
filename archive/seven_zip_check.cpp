#include "archive/seven_zip_check.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "archive/byte_stream.h"
#include "swfff/little_endian.h"

namespace velpin {

namespace {

constexpr std::uint64_t kSignatureHeaderBytes = 32;
// A header larger than this is refused before it is read; real archives of a million files have
// headers of a few tens of megabytes.
constexpr std::uint64_t kMaxHeaderBytes = 128u << 20;
// How much a compressed header may inflate: as a container's budget, per packed byte.
constexpr std::uint64_t kMaxHeaderRatio = 1000;
constexpr std::uint64_t kHeaderSlackBytes = 1u << 20;

enum Property : std::uint8_t {
    kEnd = 0x00,
    kHeader = 0x01,
    kArchiveProperties = 0x02,
    kAdditionalStreamsInfo = 0x03,
    kMainStreamsInfo = 0x04,
    kFilesInfo = 0x05,
    kPackInfo = 0x06,
    kUnpackInfo = 0x07,
    kSubStreamsInfo = 0x08,
    kSize = 0x09,
    kCrc = 0x0A,
    kFolder = 0x0B,
    kCodersUnpackSize = 0x0C,
    kNumUnpackStream = 0x0D,
    kEncodedHeader = 0x17,
};

[[noreturn]] void Refuse(const std::string& why) {
    throw ContainerError("damaged 7z archive: " + why);
}

class HeaderReader {
  public:
    HeaderReader(const std::vector<std::uint8_t>& bytes, std::uint64_t fileBytes)
        : bytes_(bytes), fileBytes_(fileBytes) {}

    void Check() {
        const std::uint8_t kind = Byte();
        if (kind == kEncodedHeader) {
            Streams(true);
        } else if (kind == kHeader) {
            Header();
        } else {
            Refuse("its header starts with property " + std::to_string(kind));
        }
    }

  private:
    std::uint8_t Byte() {
        if (at_ >= bytes_.size()) {
            Refuse("its header is cut off");
        }
        return bytes_[at_++];
    }

    std::uint64_t Number() {
        const std::uint8_t first = Byte();
        int extra = 0;
        while (extra < 8 && (first & (0x80 >> extra)) != 0) {
            ++extra;
        }
        std::uint64_t value = 0;
        for (int i = 0; i < extra; ++i) {
            value |= std::uint64_t{Byte()} << (8 * i);
        }
        if (extra < 8) {
            value |= std::uint64_t{first & ((0x80u >> extra) - 1u)} << (8 * extra);
        }
        return value;
    }

    std::uint64_t Left() const { return bytes_.size() - at_; }

    // A count of things the header goes on to describe, each in at least one byte (or one bit,
    // for `bits`).
    std::uint64_t Count(const char* what, bool bits = false) {
        const std::uint64_t count = Number();
        if (count > (bits ? 8 * Left() + 8 : Left() + 1)) {
            Refuse("its header declares " + std::to_string(count) + " " + what + " in " +
                   std::to_string(Left()) + " bytes");
        }
        return count;
    }

    void Skip(std::uint64_t count) {
        if (count > Left()) {
            Refuse("its header is cut off");
        }
        at_ += static_cast<std::size_t>(count);
    }

    void Digests(std::uint64_t count) {
        std::uint64_t defined = count;
        if (Byte() == 0) {
            defined = 0;
            for (std::uint64_t i = 0; i < count; i += 8) {
                const std::uint8_t bits = Byte();
                for (int b = 0; b < 8 && i + b < count; ++b) {
                    defined += (bits >> (7 - b)) & 1u;
                }
            }
        }
        Skip(4 * defined);
    }

    void Header() {
        for (std::uint8_t property = Byte(); property != kEnd; property = Byte()) {
            switch (property) {
                case kArchiveProperties:
                    while (Byte() != kEnd) {
                        Skip(Number());
                    }
                    break;
                case kAdditionalStreamsInfo:
                case kMainStreamsInfo:
                    Streams(false);
                    break;
                case kFilesInfo:
                    Count("files");
                    while (Byte() != kEnd) {
                        Skip(Number());
                    }
                    break;
                default:
                    Refuse("its header holds property " + std::to_string(property));
            }
        }
    }

    void Streams(bool encodedHeader) {
        std::uint64_t packStreams = 0;
        std::uint64_t packBytes = 0;
        std::vector<std::uint64_t> outStreams;  // per folder
        std::uint64_t unpackBytes = 0;
        for (std::uint8_t property = Byte(); property != kEnd; property = Byte()) {
            if (property == kPackInfo) {
                const std::uint64_t position = Number();
                packStreams = Count("packed streams");
                for (std::uint8_t inner = Byte(); inner != kEnd; inner = Byte()) {
                    if (inner == kSize) {
                        for (std::uint64_t i = 0; i < packStreams; ++i) {
                            const std::uint64_t size = Number();
                            packBytes += size;
                            if (size > fileBytes_ || packBytes > fileBytes_ ||
                                position > fileBytes_) {
                                Refuse(
                                    "its header declares packed streams larger than the "
                                    "file");
                            }
                        }
                    } else if (inner == kCrc) {
                        Digests(packStreams);
                    } else {
                        Refuse("its pack information holds property " + std::to_string(inner));
                    }
                }
            } else if (property == kUnpackInfo) {
                if (Byte() != kFolder) {
                    Refuse("its unpack information has no folders");
                }
                const std::uint64_t folders = Count("folders");
                if (Byte() != 0) {
                    Refuse("its folders are stored outside the header");
                }
                for (std::uint64_t i = 0; i < folders; ++i) {
                    outStreams.push_back(Folder());
                }
                if (Byte() != kCodersUnpackSize) {
                    Refuse("its folders have no unpacked sizes");
                }
                for (const std::uint64_t streams : outStreams) {
                    for (std::uint64_t i = 0; i < streams; ++i) {
                        const std::uint64_t size = Number();
                        unpackBytes =
                            size > kMaxHeaderBytes * kMaxHeaderRatio ? size : unpackBytes + size;
                    }
                }
                for (std::uint8_t inner = Byte(); inner != kEnd; inner = Byte()) {
                    if (inner != kCrc) {
                        Refuse("its unpack information holds property " + std::to_string(inner));
                    }
                    Digests(folders);
                }
            } else if (property == kSubStreamsInfo) {
                SubStreams(outStreams.size());
            } else {
                Refuse("its streams information holds property " + std::to_string(property));
            }
        }
        if (encodedHeader && unpackBytes > std::min(kMaxHeaderBytes, packBytes * kMaxHeaderRatio +
                                                                         kHeaderSlackBytes)) {
            Refuse("its compressed header declares " + std::to_string(unpackBytes) +
                   " bytes from " + std::to_string(packBytes));
        }
    }

    // Returns the folder's output streams.
    std::uint64_t Folder() {
        const std::uint64_t coders = Count("coders");
        std::uint64_t inStreams = 0;
        std::uint64_t outStreams = 0;
        for (std::uint64_t i = 0; i < coders; ++i) {
            const std::uint8_t flags = Byte();
            Skip(flags & 0x0Fu);
            if ((flags & 0x10u) != 0) {
                inStreams += Count("coder input streams");
                outStreams += Count("coder output streams");
            } else {
                ++inStreams;
                ++outStreams;
            }
            if ((flags & 0x20u) != 0) {
                Skip(Number());
            }
            if (inStreams > Left() + 64 || outStreams > Left() + 64) {
                Refuse("its header declares more coder streams than it holds");
            }
        }
        if (outStreams == 0) {
            Refuse("a folder has no output stream");
        }
        const std::uint64_t bindPairs = outStreams - 1;
        for (std::uint64_t i = 0; i < bindPairs; ++i) {
            Number();
            Number();
        }
        if (inStreams < bindPairs) {
            Refuse("a folder binds more streams than it has");
        }
        const std::uint64_t packed = inStreams - bindPairs;
        if (packed > 1) {
            for (std::uint64_t i = 0; i < packed; ++i) {
                Number();
            }
        }
        return outStreams;
    }

    void SubStreams(std::size_t folders) {
        std::vector<std::uint64_t> streams(folders, 1);
        std::uint8_t property = Byte();
        std::uint64_t total = folders;
        if (property == kNumUnpackStream) {
            total = 0;
            for (std::uint64_t& count : streams) {
                // Every stream but the first of a folder has its size written.
                count = Count("unpacked streams");
                total += count;
                if (total > Left() + folders) {
                    Refuse("its header declares more unpacked streams than it holds");
                }
            }
            property = Byte();
        }
        if (property == kSize) {
            for (const std::uint64_t count : streams) {
                for (std::uint64_t i = 1; i < count; ++i) {
                    Number();
                }
            }
            property = Byte();
        }
        for (; property != kEnd; property = Byte()) {
            if (property != kCrc) {
                Refuse("its substreams information holds property " + std::to_string(property));
            }
            Digests(total);
        }
    }

    const std::vector<std::uint8_t>& bytes_;
    std::uint64_t fileBytes_;
    std::size_t at_ = 0;
};

}  // namespace

void CheckSevenZipHeader(int fd) {
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        return;  // libarchive meets the same failure and reports it
    }
    const auto fileBytes = static_cast<std::uint64_t>(info.st_size);
    std::uint8_t start[kSignatureHeaderBytes];
    if (pread(fd, start, sizeof start, 0) != static_cast<ssize_t>(sizeof start)) {
        return;
    }
    const std::uint64_t offset = LittleU64(start + 12);
    const std::uint64_t size = LittleU64(start + 20);
    if (size == 0) {
        return;  // an empty archive, or one libarchive finds the header of by other means
    }
    if (offset > fileBytes || size > fileBytes - std::min(offset, fileBytes) ||
        kSignatureHeaderBytes + offset + size > fileBytes) {
        Refuse("its header lies beyond the end of the file");
    }
    if (size > kMaxHeaderBytes) {
        Refuse("its header is larger than " + std::to_string(kMaxHeaderBytes) + " bytes");
    }
    std::vector<std::uint8_t> header(static_cast<std::size_t>(size));
    if (pread(fd, header.data(), header.size(),
              static_cast<off_t>(kSignatureHeaderBytes + offset)) !=
        static_cast<ssize_t>(header.size())) {
        return;
    }
    HeaderReader(header, fileBytes).Check();
}

}  // namespace velpin
