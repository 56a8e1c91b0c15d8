#include "archive/zip_reader.h"

#include <isa-l/crc.h>
#include <sys/stat.h>
#include <zip.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include "archive/inflating_stream.h"
#include "archive/read_only_file.h"
#include "archive/xz_stream.h"
#include "archive/zip_foreign_entry.h"
#include "base/utf8.h"
#include "codec/inflater.h"
#include "swfff/fileio.h"
#include "swfff/little_endian.h"

namespace velpin {

namespace {

constexpr std::size_t kReadBytes = 64 * 1024;

// Leaves the bytes it makes unset, for a read to fill at once.
template <typename T>
struct UnsetAllocator : std::allocator<T> {
    template <typename U>
    struct rebind {
        using other = UnsetAllocator<U>;
    };
    UnsetAllocator() = default;
    template <typename U>
    explicit UnsetAllocator(const UnsetAllocator<U>&) noexcept {}
    template <typename U, typename... Args>
    void construct(U* at, Args&&... args) {
        ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
    }
    template <typename U>
    void construct(U* at) noexcept {
        ::new (static_cast<void*>(at)) U;
    }
};
using StoredBytes = std::vector<std::uint8_t, UnsetAllocator<std::uint8_t>>;

struct ZipCloser {
    void operator()(zip_t* zip) const { zip_discard(zip); }
};
struct ZipFileCloser {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};
using ZipFile = std::unique_ptr<zip_file_t, ZipFileCloser>;

std::string Plural(std::uint64_t count) {
    return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

// An entry's stored bytes as libzip reads them from the file. A read that fails is the file's
// failure, as for any file read, and not the entry's.
class StoredStream : public ByteStream {
  public:
    StoredStream(ZipFile file, const std::string& path) : file_(std::move(file)), path_(path) {}
    std::size_t Read(std::uint8_t* buffer, std::size_t count) override {
        const zip_int64_t got = zip_fread(file_.get(), buffer, count);
        if (got < 0) {
            zip_error_t* error = zip_file_get_error(file_.get());
            const int code = zip_error_code_zip(error);
            if (code == ZIP_ER_READ || code == ZIP_ER_SEEK) {
                RaiseIoError(zip_error_code_system(error), path_,
                             code == ZIP_ER_READ ? IoOp::Read : IoOp::Seek);
            }
            throw EntryError(zip_file_strerror(file_.get()));
        }
        return static_cast<std::size_t>(got);
    }

  private:
    ZipFile file_;
    const std::string& path_;
};

struct EntryFacts {
    zip_int32_t method = ZIP_CM_STORE;
    std::uint64_t size = 0;
    std::uint32_t crc = 0;
};

// An entry's data from its stored bytes, checked against what the central directory says of it.
class EntryStream : public ByteStream {
  public:
    EntryStream(StoredBytes stored, std::unique_ptr<ByteStream> source, const EntryFacts& facts)
        : stored_(std::move(stored)), source_(std::move(source)), facts_(facts) {
        if (!source_) {
            source_ = std::make_unique<MemoryStream>(stored_.data(), stored_.size());
        }
        if (facts.method == ZIP_CM_DEFLATE) {
            inflated_.emplace(*source_, Deflation::Raw, true);
        } else if (facts.method == ZIP_CM_XZ) {
            xz_.emplace(*source_, true);
        }
    }

    std::size_t Read(std::uint8_t* buffer, std::size_t count) override {
        if (!whole_ && count >= kWholeReadBytes) {
            DecodeWhole();
        }
        if (whole_) {
            const std::size_t served =
                static_cast<std::size_t>(std::min<std::uint64_t>(count, facts_.size - produced_));
            std::memcpy(buffer, whole_.get() + produced_, served);
            produced_ += served;
            return served;
        }
        std::size_t got = 0;
        if (xz_) {
            got = xz_->Read(buffer, count);
        } else if (!inflated_) {
            got = source_->Read(buffer, count);
        } else if (!streaming_ && !stored_.empty() && count > 0 && count < kWholeReadBytes &&
                   InflateHead(stored_.data(), stored_.size(), buffer, count)) {
            // A look at the signature, on the thread that walks the zip: the streaming decoder
            // is left to whoever reads the entry through.
            streaming_ = true;
            looked_ = count;
            got = count;
        } else {
            streaming_ = true;
            SkipLooked();
            got = inflated_->Read(buffer, count);
        }
        if (got == 0 && count > 0) {
            if (produced_ != facts_.size) {
                throw EntryError("the entry holds " + Plural(produced_) +
                                 ", but the zip gives its size as " + std::to_string(facts_.size));
            }
            if (crc_ != facts_.crc) {
                throw EntryError(kCrcMismatch);
            }
            return 0;
        }
        produced_ += got;
        if (produced_ > facts_.size) {
            // Said at once, so that an entry that lies about its size costs no more than it said.
            throw EntryError("the entry holds more than the " + Plural(facts_.size) +
                             " the zip gives as its size");
        }
        crc_ = crc32_gzip_refl(crc_, buffer, got);
        return got;
    }

  private:
    // Reads this large are taken to come from the thread that reads the entry through; smaller
    // ones may be a look at its signature.
    static constexpr std::size_t kWholeReadBytes = 4096;

    // An entry held as stored, of a size known and bounded, is decoded whole the first time it is
    // read in earnest: a quarter faster than streaming. What a look has already delivered is
    // skipped; an entry that does not decode whole to its size goes on streaming, which says
    // what is wrong with it.
    void DecodeWhole() {
        if (wholeTried_ || !inflated_ || stored_.empty() || facts_.size > kMaxWholeInflateBytes) {
            return;
        }
        wholeTried_ = true;
        // Not zeroed: the decoder writes every byte that is served.
        std::unique_ptr<std::uint8_t[]> whole(new std::uint8_t[facts_.size]);
        std::size_t used = 0;
        if (!InflateWhole(DeflateWrapper::Raw, stored_.data(), stored_.size(), whole.get(),
                          facts_.size, used)) {
            return;
        }
        if (crc32_gzip_refl(0, whole.get(), facts_.size) != facts_.crc) {
            throw EntryError(kCrcMismatch);
        }
        whole_ = std::move(whole);
    }

    // The streaming decoder starts from the first byte: what a look delivered is decoded again
    // and dropped.
    void SkipLooked() {
        std::uint8_t dropped[256];
        while (looked_ > 0) {
            const std::size_t got = inflated_->Read(dropped, std::min(looked_, sizeof dropped));
            if (got == 0) {
                break;
            }
            looked_ -= got;
        }
        looked_ = 0;
    }

    static constexpr const char* kCrcMismatch = "the entry's data does not match its CRC-32";

    StoredBytes stored_;
    std::unique_ptr<ByteStream> source_;
    bool wholeTried_ = false;
    bool streaming_ = false;  // a look or the streaming decoder has begun
    std::size_t looked_ = 0;  // bytes a look delivered that the streaming decoder has not

    std::unique_ptr<std::uint8_t[]> whole_;
    std::optional<InflatingStream> inflated_;
    std::optional<XzStream> xz_;
    EntryFacts facts_;
    std::uint64_t produced_ = 0;
    std::uint32_t crc_ = 0;
};

// Folders hold nothing of their own, and links are never followed into.
bool IsRegularFile(zip_t* zip, zip_uint64_t index, const char* name) {
    const std::size_t length = std::char_traits<char>::length(name);
    if (length > 0 && name[length - 1] == '/') {
        return false;
    }
    zip_uint8_t system = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(zip, index, 0, &system, &attributes) == 0 &&
        system == ZIP_OPSYS_UNIX) {
        const mode_t type = (attributes >> 16) & S_IFMT;
        return type == 0 || type == S_IFREG;
    }
    return true;
}

// The time an entry was last modified: the UTC time of its extended timestamp field ("UT"), in
// the central directory or else in the local header, or its DOS time as written.
std::optional<StoredTime> EntryModified(zip_t* zip, const zip_stat_t& stat) {
    constexpr zip_uint16_t kExtendedTimestamp = 0x5455;
    constexpr std::uint8_t kModifiedFlag = 0x01;
    for (const zip_flags_t where : {ZIP_FL_CENTRAL, ZIP_FL_LOCAL}) {
        zip_uint16_t length = 0;
        const zip_uint8_t* field =
            zip_file_extra_field_get_by_id(zip, stat.index, kExtendedTimestamp, 0, &length, where);
        // The flags tell which times follow; the modification time, when there, comes first.
        if (field != nullptr && length >= 5 && (field[0] & kModifiedFlag) != 0) {
            const std::uint32_t seconds = field[1] | (field[2] << 8) | (field[3] << 16) |
                                          (static_cast<std::uint32_t>(field[4]) << 24);
            return UtcTime(seconds);
        }
    }
    if ((stat.valid & ZIP_STAT_MTIME) == 0) {
        return std::nullopt;
    }
    return DosTimeOf(stat.mtime);
}

std::unique_ptr<ByteStream> OpenEntry(zip_t* zip, const zip_stat_t& stat, const std::string& path,
                                      std::optional<std::uint64_t>& heldBytes) {
    if (stat.encryption_method != ZIP_EM_NONE) {
        throw EntryError("the entry is encrypted");
    }
    // bzip2 is decoded by libzip, in a few megabytes; the others are decoded here.
    const bool decodedByLibzip = stat.comp_method == ZIP_CM_BZIP2;
    ZipFile file(zip_fopen_index(zip, stat.index, decodedByLibzip ? 0 : ZIP_FL_COMPRESSED));
    if (!file) {
        throw EntryError(zip_strerror(zip));
    }
    auto stored = std::make_unique<StoredStream>(std::move(file), path);
    if (stat.comp_method != ZIP_CM_STORE && stat.comp_method != ZIP_CM_DEFLATE &&
        stat.comp_method != ZIP_CM_BZIP2 && stat.comp_method != ZIP_CM_XZ) {
        const ForeignEntry foreign{static_cast<std::uint16_t>(stat.comp_method), stat.comp_size,
                                   stat.size, stat.crc};
        return std::make_unique<EntryStream>(StoredBytes{},
                                             ForeignEntryStream(std::move(stored), foreign),
                                             EntryFacts{ZIP_CM_STORE, stat.size, stat.crc});
    }
    const EntryFacts facts{stat.comp_method, stat.size, stat.crc};
    // Only deflate is decoded fast enough, and in little enough memory, to be worth handing to
    // other threads; any other entry is read on the walk's.
    if (stat.comp_size > kMaxHeldStoredBytes ||
        (stat.comp_method != ZIP_CM_STORE && stat.comp_method != ZIP_CM_DEFLATE)) {
        return std::make_unique<EntryStream>(StoredBytes{}, std::move(stored), facts);
    }
    // libzip delivers no more stored bytes than the central directory gives, so the buffer is
    // made that size at once, left unset for the read to fill: an entry costs one allocation the
    // size of its stored bytes. What the file holds decides how many of them there are.
    StoredBytes bytes(static_cast<std::size_t>(stat.comp_size));
    std::size_t held = 0;
    for (;;) {
        if (held == bytes.size()) {
            // Full as promised: a byte more means the promise was short, and only then it grows.
            std::uint8_t more = 0;
            if (stored->Read(&more, 1) == 0) {
                break;
            }
            bytes.resize(held + kReadBytes);
            bytes[held++] = more;
        }
        const std::size_t got = stored->Read(bytes.data() + held, bytes.size() - held);
        if (got == 0) {
            break;
        }
        held += got;
    }
    bytes.resize(held);
    heldBytes = bytes.capacity();
    return std::make_unique<EntryStream>(std::move(bytes), nullptr, facts);
}

// A zip's bytes where they can be read at any offset: in its file, or held in memory.
class ZipBytes {
  public:
    ZipBytes(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
    ZipBytes(const std::uint8_t* data, std::size_t size) : held_(true), data_(data), size_(size) {}
    std::uint64_t Size() const { return size_; }
    // Whether all `count` bytes from `offset` were read.
    bool ReadAt(std::uint64_t offset, void* into, std::size_t count) const {
        if (!held_) {
            return pread(fd_, into, count, static_cast<off_t>(offset)) ==
                   static_cast<ssize_t>(count);
        }
        if (offset > size_ || count > size_ - offset) {
            return false;
        }
        // An empty read may come with no buffer at all, which memcpy must not be given.
        if (count > 0) {
            std::memcpy(into, data_ + offset, count);
        }
        return true;
    }

  private:
    bool held_ = false;
    int fd_ = -1;
    const std::uint8_t* data_ = nullptr;
    std::uint64_t size_;
};

// What the end of the central directory (or its zip64 form) says of the directory.
struct DirectoryEnd {
    std::uint64_t entries = 0;
    std::uint64_t bytes = 0;
    std::uint64_t offset = 0;
    // What it would take held as libzip holds it.
    std::uint64_t HeldBytes() const {
        return entries > kMaxDirectoryBytes ? entries : bytes + entries * kDirectoryBytesPerEntry;
    }
};

constexpr std::size_t kCentralBytes = 46;

std::optional<DirectoryEnd> ReadDirectoryEnd(const ZipBytes& zip) {
    constexpr std::uint64_t kEndBytes = 22;
    std::vector<std::uint8_t> tail(std::min<std::uint64_t>(zip.Size(), kEndBytes + 0xFFFF));
    if (!zip.ReadAt(zip.Size() - tail.size(), tail.data(), tail.size())) {
        return std::nullopt;
    }
    for (std::size_t at = tail.size() - std::min<std::size_t>(tail.size(), kEndBytes) + 1;
         at-- > 0;) {
        if (std::memcmp(tail.data() + at, "PK\x05\x06", 4) != 0) {
            continue;
        }
        DirectoryEnd end{LittleU16(tail.data() + at + 10), LittleU32(tail.data() + at + 12),
                         LittleU32(tail.data() + at + 16)};
        std::uint8_t zip64[56];
        if ((end.entries == 0xFFFF || end.bytes == 0xFFFFFFFF || end.offset == 0xFFFFFFFF) &&
            at >= 20 && std::memcmp(tail.data() + at - 20, "PK\x06\x07", 4) == 0 &&
            zip.ReadAt(LittleU64(tail.data() + at - 20 + 8), zip64, sizeof zip64) &&
            std::memcmp(zip64, "PK\x06\x06", 4) == 0) {
            end = {LittleU64(zip64 + 32), LittleU64(zip64 + 40), LittleU64(zip64 + 48)};
        }
        return end;
    }
    return std::nullopt;
}

// Calls `record` with each record of the central directory that `end` places, and its name,
// while it returns true.
template <typename Visit>
void ForEachDirectoryRecord(const ZipBytes& zip, const DirectoryEnd& end, Visit record) {
    if (end.offset > zip.Size() || end.bytes > zip.Size() - end.offset) {
        return;
    }
    std::vector<std::uint8_t> directory(static_cast<std::size_t>(end.bytes));
    if (!zip.ReadAt(end.offset, directory.data(), directory.size())) {
        return;
    }
    for (std::size_t at = 0; at + kCentralBytes <= directory.size() &&
                             std::memcmp(directory.data() + at, "PK\x01\x02", 4) == 0;) {
        const std::uint8_t* fields = directory.data() + at;
        const std::size_t nameBytes = LittleU16(fields + 28);
        if (at + kCentralBytes + nameBytes > directory.size() ||
            !record(fields, std::string_view(reinterpret_cast<const char*>(fields + kCentralBytes),
                                             nameBytes))) {
            return;
        }
        at += kCentralBytes + nameBytes + LittleU16(fields + 30) + LittleU16(fields + 32);
    }
}

// The first entry whose own header disagrees with the central directory on its name or its
// compression method, said in words; empty when none does. A reader from the start of the zip,
// as of one on standard input, would give what the entries' own headers say.
std::string FirstDisagreement(const ZipBytes& zip, const DirectoryEnd& end) {
    constexpr std::size_t kLocalBytes = 30;
    std::vector<std::uint8_t> local;
    std::string disagreement;
    ForEachDirectoryRecord(zip, end, [&](const std::uint8_t* fields, std::string_view name) {
        const std::uint64_t offset = LittleU32(fields + 42);
        // A zip64 offset is in the extra field; such an entry is not compared.
        if (offset == 0xFFFFFFFF) {
            return true;
        }
        local.resize(kLocalBytes + name.size());
        const bool read = zip.ReadAt(offset, local.data(), local.size());
        if (!read || std::memcmp(local.data(), "PK\x03\x04", 4) != 0 ||
            LittleU16(local.data() + 8) != LittleU16(fields + 10) ||
            LittleU16(local.data() + 26) != name.size() ||
            std::memcmp(local.data() + kLocalBytes, name.data(), name.size()) != 0) {
            disagreement = "the zip's own header of the entry " + std::string(name) +
                           " disagrees with its central directory, which the rows follow";
            return false;
        }
        return true;
    });
    return disagreement;
}

// libzip refuses a whole zip, as inconsistent, for one name that is not the UTF-8 its flag says:
// which is said instead, since nothing else in the directory need be wrong.
bool HasFalseUtf8Name(const ZipBytes& zip, const DirectoryEnd& end) {
    constexpr std::uint16_t kUtf8Flag = 0x800;
    bool found = false;
    ForEachDirectoryRecord(zip, end, [&](const std::uint8_t* fields, std::string_view name) {
        found = (LittleU16(fields + 8) & kUtf8Flag) != 0 && !IsWellFormedUtf8(name);
        return !found;
    });
    return found;
}

// Reads the zip whose bytes `bytes` gives (when they could be reached) and that `open` opens
// with libzip, named `name` in the messages of a failed read.
template <typename Open>
ZipReading ReadZip(const std::optional<ZipBytes>& bytes, Open open, const std::string& name,
                   const ZipEntryVisitor& visit, std::string& unopened, std::string& disagreement) {
    bool falseUtf8Name = false;
    if (bytes) {
        const std::optional<DirectoryEnd> end = ReadDirectoryEnd(*bytes);
        // libzip holds the whole directory, and a few hundred bytes for every entry.
        if (end && end->HeldBytes() > kMaxDirectoryBytes) {
            return ZipReading::DirectoryTooLarge;
        }
        if (end) {
            disagreement = FirstDisagreement(*bytes, *end);
            falseUtf8Name = HasFalseUtf8Name(*bytes, *end);
        }
    }
    zip_error_t why;
    zip_error_init(&why);
    const std::unique_ptr<zip_t, ZipCloser> zip(open(why));
    if (!zip) {
        unopened = zip_error_code_zip(&why) == ZIP_ER_INCONS && falseUtf8Name
                       ? "an entry's name is not the UTF-8 its flag says it is"
                       : zip_error_strerror(&why);
        zip_error_fini(&why);
        return ZipReading::Unopened;
    }
    zip_error_fini(&why);
    const zip_int64_t count = zip_get_num_entries(zip.get(), 0);
    std::vector<zip_stat_t> stats(static_cast<std::size_t>(std::max<zip_int64_t>(count, 0)));
    for (zip_uint64_t i = 0; i < stats.size(); ++i) {
        zip_stat_t& stat = stats[i];
        const zip_uint64_t needed = ZIP_STAT_NAME | ZIP_STAT_INDEX | ZIP_STAT_SIZE |
                                    ZIP_STAT_COMP_SIZE | ZIP_STAT_CRC | ZIP_STAT_COMP_METHOD |
                                    ZIP_STAT_ENCRYPTION_METHOD;
        if (zip_stat_index(zip.get(), i, ZIP_FL_ENC_GUESS, &stat) != 0 ||
            (stat.valid & needed) != needed) {
            return ZipReading::LeftToOthers;
        }
    }
    for (const zip_stat_t& stat : stats) {
        if (!IsRegularFile(zip.get(), stat.index, stat.name)) {
            continue;
        }
        std::optional<std::uint64_t> heldBytes;
        std::unique_ptr<ByteStream> entry;
        try {
            entry = OpenEntry(zip.get(), stat, name, heldBytes);
        } catch (const Error& failure) {
            if (!IsEntryError(failure)) {
                throw;
            }
            entry = std::make_unique<FailedStream>(failure.what());
            heldBytes = 0;
        }
        if (!visit(stat.name, std::move(entry), heldBytes, stat.size,
                   EntryModified(zip.get(), stat))) {
            break;
        }
    }
    return ZipReading::Read;
}

}  // namespace

ZipReading ReadZipFile(const std::string& path, const ZipEntryVisitor& visit, std::string& unopened,
                       std::string& disagreement) {
    const ReadOnlyFile file(path);
    struct stat info {};
    std::optional<ZipBytes> bytes;
    if (file.Descriptor() >= 0 && fstat(file.Descriptor(), &info) == 0) {
        bytes.emplace(file.Descriptor(), static_cast<std::uint64_t>(info.st_size));
    }
    return ReadZip(
        bytes,
        [&path](zip_error_t& why) {
            int error = 0;
            zip_t* const zip = zip_open(path.c_str(), ZIP_RDONLY, &error);
            zip_error_set(&why, error, 0);
            return zip;
        },
        path, visit, unopened, disagreement);
}

ZipReading ReadHeldZip(const std::uint8_t* data, std::size_t size, const ZipEntryVisitor& visit,
                       std::string& unopened, std::string& disagreement) {
    static const std::string kName = "a zip inside another container";
    return ReadZip(
        ZipBytes(data, size),
        [data, size](zip_error_t& why) -> zip_t* {
            zip_source_t* const source = zip_source_buffer_create(data, size, 0, &why);
            if (source == nullptr) {
                return nullptr;
            }
            zip_t* const zip = zip_open_from_source(source, ZIP_RDONLY, &why);
            if (zip == nullptr) {
                zip_source_free(source);
            }
            return zip;
        },
        kName, visit, unopened, disagreement);
}

}  // namespace velpin
