#include "archive/recognise.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "archive/inflating_stream.h"
#include "archive/read_only_file.h"
#include "archive/warc_reader.h"
#include "base/ascii.h"
#include "codec/signature.h"
#include "swfff/little_endian.h"

namespace velpin {

namespace {

// A gzip member's header and the first deflate block give far more than a WARC version line.
constexpr std::size_t kGzipLookBytes = 64;
constexpr std::string_view kSevenZipSignature = "7z\xBC\xAF\x27\x1C";
constexpr std::string_view kZipEntrySignature = "PK\x03\x04";

bool StartsWith(const std::uint8_t* head, std::size_t count, std::string_view magic,
                std::size_t at = 0) {
    return count >= at + magic.size() && std::memcmp(head + at, magic.data(), magic.size()) == 0;
}

// The first bytes a gzip stream stands for, without reading more of it than `head` holds.
std::vector<std::uint8_t> GzipStart(const std::uint8_t* head, std::size_t count) {
    MemoryStream raw(head, count);
    InflatingStream inflated(raw, Deflation::Gzip, true);
    std::vector<std::uint8_t> start(kGzipLookBytes);
    std::size_t got = 0;
    try {
        got = ReadFully(inflated, start.data(), start.size());
    } catch (const Error& error) {
        // Only the look is cut short: `head` ends inside the stream, or it is not gzip at all.
        if (!IsEntryError(error)) {
            throw;
        }
    }
    start.resize(got);
    return start;
}

bool EndsZip(const std::uint8_t* tail, std::size_t count) {
    // The end of central directory record: 22 bytes and a comment of up to 65,535 bytes, which
    // ends the file. Searched from the end, as zip readers do.
    constexpr std::size_t kRecordBytes = 22;
    for (std::size_t at = count >= kRecordBytes ? count - kRecordBytes + 1 : 0; at-- > 0;) {
        if (std::memcmp(tail + at, "PK\x05\x06", 4) == 0) {
            const std::size_t comment = LittleU16(tail + at + 20);
            if (at + kRecordBytes + comment == count) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace

bool StartsMovie(const std::uint8_t* head, std::size_t count) {
    return SignatureOf(head, count) != Signature::None;
}

bool StartsSevenZip(const std::uint8_t* head, std::size_t count) {
    return StartsWith(head, count, kSevenZipSignature);
}

bool StartsZipEntry(const std::uint8_t* head, std::size_t count) {
    return StartsWith(head, count, kZipEntrySignature);
}

ContainerKind RecogniseContainer(const std::uint8_t* head, std::size_t count) {
    if (StartsZipEntry(head, count) || StartsWith(head, count, "PK\x05\x06") ||
        StartsSevenZip(head, count) || StartsWith(head, count, "ustar", 257)) {
        return ContainerKind::Archive;
    }
    if (StartsWarcRecord(head, count)) {
        return ContainerKind::Warc;
    }
    if (StartsGzip(head, count)) {
        const std::vector<std::uint8_t> start = GzipStart(head, count);
        return StartsWarcRecord(start.data(), start.size()) ? ContainerKind::Warc
                                                            : ContainerKind::CompressedArchive;
    }
    if (StartsWith(head, count, "BZh") ||
        StartsWith(head, count,
                   "\xFD"
                   "7zXZ") ||
        StartsWith(head, count, "\x28\xB5\x2F\xFD")) {
        return ContainerKind::CompressedArchive;
    }
    return ContainerKind::None;
}

bool HasContainerSuffix(std::string_view name) {
    static constexpr std::array<std::string_view, 11> kSuffixes{
        ".zip",    ".7z",      ".tar",  ".tgz",     ".tar.gz", ".tar.bz2",
        ".tar.xz", ".tar.zst", ".warc", ".warc.gz", ".wacz"};
    for (const std::string_view suffix : kSuffixes) {
        if (EndsWithIgnoringAsciiCase(name, suffix)) {
            return true;
        }
    }
    return false;
}

bool HasMovieSuffix(std::string_view name) {
    return EndsWithIgnoringAsciiCase(name, ".swf");
}

ContainerKind RecogniseContainerFile(const std::string& path) {
    const ReadOnlyFile file(path, O_NONBLOCK);
    const int fd = file.Descriptor();
    if (fd < 0) {
        return ContainerKind::None;
    }
    ContainerKind kind = ContainerKind::None;
    struct stat info {};
    // Only a regular file is looked at, so that a FIFO or a device is never waited on.
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        const auto size = static_cast<std::uint64_t>(info.st_size);
        std::vector<std::uint8_t> bytes(std::min<std::uint64_t>(size, kRecogniseBytes));
        const ssize_t got = pread(fd, bytes.data(), bytes.size(), 0);
        bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        if (!StartsMovie(bytes.data(), bytes.size())) {
            kind = RecogniseContainer(bytes.data(), bytes.size());
            if (kind == ContainerKind::None) {
                // A zip after something else: a self-extractor, or a zip appended to a file.
                constexpr std::uint64_t kTailBytes = 22 + 65535;
                bytes.resize(std::min(size, kTailBytes));
                const ssize_t tail =
                    pread(fd, bytes.data(), bytes.size(), static_cast<off_t>(size - bytes.size()));
                if (tail == static_cast<ssize_t>(bytes.size()) &&
                    EndsZip(bytes.data(), bytes.size())) {
                    kind = ContainerKind::Archive;
                }
            }
        }
    }
    return kind;
}

}  // namespace velpin
