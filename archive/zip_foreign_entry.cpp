#include "archive/zip_foreign_entry.h"

#include <archive.h>
#include <archive_entry.h>

#include <array>
#include <cerrno>
#include <exception>
#include <string>
#include <vector>

#include "archive/xz_stream.h"
#include "base/error.h"
#include "swfff/little_endian.h"

namespace velpin {

namespace {

constexpr std::uint16_t kLzmaMethod = 14;
constexpr std::size_t kBlockBytes = 64 * 1024;

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
void CheckLzmaDictionary(const std::uint8_t* stored, std::size_t count) {
    constexpr std::size_t kPropertiesEnd = 9;
    if (count < kPropertiesEnd) {
        return;
    }
    const std::uint32_t dictionary = LittleU32(stored + 5);
    if (dictionary > kMaxDecoderBytes) {
        throw EntryError("the entry's LZMA data needs more than " +
                         std::to_string(kMaxDecoderBytes >> 20) + " MiB of memory to decode");
    }
}

class ForeignStream : public ByteStream {
  public:
    ForeignStream(std::unique_ptr<ByteStream> stored, const ForeignEntry& entry)
        : stored_(std::move(stored)),
          entry_(entry),
          header_(LocalHeader(entry)),
          archive_(archive_read_new(), &archive_read_free) {}

    std::size_t Read(std::uint8_t* buffer, std::size_t count) override {
        if (!started_) {
            started_ = true;
            struct archive_entry* header = nullptr;
            if (archive_read_support_format_zip_streamable(archive_.get()) != ARCHIVE_OK ||
                Raise(archive_read_open(archive_.get(), this, nullptr, &Supply, nullptr)) ||
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
        if (raised_) {
            std::rethrow_exception(std::exchange(raised_, nullptr));
        }
        return status < ARCHIVE_WARN;
    }

    [[noreturn]] void Fail() {
        const char* text = archive_error_string(archive_.get());
        throw EntryError(text != nullptr ? text : "the entry cannot be decoded");
    }

    // Exceptions must not cross the C library: one raised by the stored bytes' stream is kept, to
    // be raised again once libarchive returns.
    static la_ssize_t Supply(struct archive* archive, void* client, const void** buffer) {
        auto* self = static_cast<ForeignStream*>(client);
        if (!self->headerGiven_) {
            self->headerGiven_ = true;
            *buffer = self->header_.data();
            return static_cast<la_ssize_t>(self->header_.size());
        }
        try {
            self->block_.resize(kBlockBytes);
            const bool first = !std::exchange(self->storedBegun_, true);
            const std::size_t got =
                first ? ReadFully(*self->stored_, self->block_.data(), self->block_.size())
                      : self->stored_->Read(self->block_.data(), self->block_.size());
            if (first && self->entry_.method == kLzmaMethod) {
                CheckLzmaDictionary(self->block_.data(), got);
            }
            *buffer = self->block_.data();
            return static_cast<la_ssize_t>(got);
        } catch (...) {
            self->raised_ = std::current_exception();
            archive_set_error(archive, EIO, "the entry's stored bytes could not be read");
            return ARCHIVE_FATAL;
        }
    }

    std::unique_ptr<ByteStream> stored_;
    ForeignEntry entry_;
    std::vector<std::uint8_t> header_;
    std::vector<std::uint8_t> block_;
    std::unique_ptr<struct archive, decltype(&archive_read_free)> archive_;
    std::exception_ptr raised_;
    bool started_ = false;
    bool headerGiven_ = false;
    bool storedBegun_ = false;
};

}  // namespace

std::unique_ptr<ByteStream> ForeignEntryStream(std::unique_ptr<ByteStream> stored,
                                               const ForeignEntry& entry) {
    return std::make_unique<ForeignStream>(std::move(stored), entry);
}

}  // namespace velpin
