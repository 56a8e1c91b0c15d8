#include "archive/zip_foreign_entry.h"

#include <archive.h>
#include <archive_entry.h>

#include <exception>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "archive/archive_source.h"
#include "archive/xz_stream.h"
#include "base/error.h"
#include "swfff/little_endian.h"

namespace velpin {

namespace {

constexpr std::uint16_t kLzmaMethod = 14;

void PutLittle(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

// A local header for the entry, named "x", with its sizes known up front so that libarchive
// reads exactly its stored bytes; sizes a 32-bit field cannot hold go in a zip64 field.
std::vector<std::uint8_t> LocalHeader(const ForeignEntry& entry) {
    constexpr std::uint64_t kZip64 = 0xFFFFFFFF;
    const bool zip64 = entry.size >= kZip64 || entry.storedSize >= kZip64;
    std::vector<std::uint8_t> header{'P', 'K', 3, 4};
    PutLittle(header, 63, 2);  // the version that reads every method
    PutLittle(header, 0, 2);   // no flags: no data descriptor, not encrypted
    PutLittle(header, entry.method, 2);
    PutLittle(header, 0, 4);  // time and date
    PutLittle(header, entry.crc, 4);
    PutLittle(header, zip64 ? kZip64 : entry.storedSize, 4);
    PutLittle(header, zip64 ? kZip64 : entry.size, 4);
    PutLittle(header, 1, 2);
    PutLittle(header, zip64 ? 20 : 0, 2);
    header.push_back('x');
    if (zip64) {
        PutLittle(header, 1, 2);
        PutLittle(header, 16, 2);
        PutLittle(header, entry.size, 8);
        PutLittle(header, entry.storedSize, 8);
    }
    return header;
}

// libarchive takes an LZMA entry's dictionary size on its word, up to 4 GiB; a larger one than
// xz data may ask for is refused before it is given the chance. The stored data starts with two
// bytes of version, two of the properties' size, then the properties, whose last four bytes are
// the dictionary size.
constexpr std::size_t kLzmaPropertiesEnd = 9;

void CheckLzmaDictionary(const std::vector<std::uint8_t>& head) {
    if (head.size() < kLzmaPropertiesEnd) {
        return;
    }
    if (LittleU32(head.data() + 5) > kMaxDecoderBytes) {
        throw EntryError("the entry's LZMA data needs more than " +
                         std::to_string(kMaxDecoderBytes >> 20) + " MiB of memory to decode");
    }
}

class ForeignStream : public ByteStream {
  public:
    ForeignStream(std::unique_ptr<ByteStream> stored, const ForeignEntry& entry)
        : stored_(std::move(stored)),
          method_(entry.method),
          header_(LocalHeader(entry)),
          headerStream_(header_.data(), header_.size()),
          archive_(archive_read_new(), &archive_read_free) {}

    std::size_t Read(std::uint8_t* buffer, std::size_t count) override {
        if (!chained_) {
            ByteStream* stored = stored_.get();
            if (method_ == kLzmaMethod) {
                CheckLzmaDictionary(peeked_.emplace(*stored_, kLzmaPropertiesEnd).Head());
                stored = &*peeked_;
            }
            source_.in = &chained_.emplace(headerStream_, *stored);
            struct archive_entry* header = nullptr;
            if (archive_read_support_format_zip_streamable(archive_.get()) != ARCHIVE_OK ||
                Raise(archive_read_open(archive_.get(), &source_, nullptr, &ReadArchiveBlock,
                                        nullptr)) ||
                Raise(archive_read_next_header(archive_.get(), &header))) {
                Fail();
            }
        }
        const la_ssize_t got = archive_read_data(archive_.get(), buffer, count);
        if (got < 0) {
            Raise(ARCHIVE_FATAL);
            Fail();
        }
        return static_cast<std::size_t>(got);
    }

  private:
    // Raises what the stored bytes' stream raised under libarchive; true for any other failure.
    bool Raise(int status) {
        if (source_.raised) {
            std::rethrow_exception(std::exchange(source_.raised, nullptr));
        }
        return status < ARCHIVE_WARN;
    }

    [[noreturn]] void Fail() {
        const char* text = archive_error_string(archive_.get());
        throw EntryError(text != nullptr ? text : "the entry cannot be decoded");
    }

    std::unique_ptr<ByteStream> stored_;
    std::uint16_t method_;
    std::vector<std::uint8_t> header_;
    MemoryStream headerStream_;
    std::optional<PeekedStream> peeked_;
    std::optional<ChainedStream> chained_;
    ArchiveSource source_;
    std::unique_ptr<struct archive, decltype(&archive_read_free)> archive_;
};

}  // namespace

std::unique_ptr<ByteStream> ForeignEntryStream(std::unique_ptr<ByteStream> stored,
                                               const ForeignEntry& entry) {
    return std::make_unique<ForeignStream>(std::move(stored), entry);
}

}  // namespace velpin
