#include "cli/archive/container_walk.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <utility>

#include "cli/archive/decode_budget.h"
#include "cli/archive/inflating_stream.h"
#include "cli/archive/seven_zip_check.h"
#include "cli/archive/warc_reader.h"
#include "cli/archive/zip_reader.h"
#include "cli/codec/container.h"
#include "swfff/little_endian.h"

namespace {

constexpr std::size_t kArchiveBlockBytes = 64 * 1024;
// A gzip member's header and the first deflate block give far more than a WARC version line.
constexpr std::size_t kGzipLookBytes = 64;

bool EndsWithNoCase(std::string_view name, std::string_view suffix) {
    if (name.size() < suffix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < suffix.size(); ++i) {
        char c = name[name.size() - suffix.size() + i];
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        if (c != suffix[i]) {
            return false;
        }
    }
    return true;
}

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
    } catch (const EEntryError&) {
        // Only the look is cut short: `head` ends inside the stream, or it is not gzip at all.
    }
    start.resize(got);
    return start;
}

// Counts every byte read through it as stored by the container `budget` is for: a container
// whose size is not known beforehand.
class MeasuredStream : public ByteStream {
  public:
    MeasuredStream(ByteStream& inner, DecodeBudget& budget) : inner_(inner), budget_(budget) {}
    std::size_t Read(std::uint8_t* buffer, std::size_t count) override {
        const std::size_t got = inner_.Read(buffer, count);
        budget_.AddStored(got);
        return got;
    }

  private:
    ByteStream& inner_;
    DecodeBudget& budget_;
};

// Counts whether the walk's own input failed, so that a broken inner container is told apart
// from the outer one breaking under it.
class WatchedStream : public ByteStream {
  public:
    explicit WatchedStream(ByteStream& inner) : inner_(inner) {}
    std::size_t Read(std::uint8_t* buffer, std::size_t count) override {
        try {
            return inner_.Read(buffer, count);
        } catch (const EContainerError&) {
            failed_ = true;
            throw;
        }
    }
    bool Failed() const { return failed_; }

  private:
    ByteStream& inner_;
    bool failed_ = false;
};

constexpr std::string_view kZipSignature = "PK\x03\x04";

// The signature of a stream it owns, looked at without losing it: the stream can then be handed
// on whole, to be read on wherever it goes.
class OwnedPeek : public ByteStream {
  public:
    explicit OwnedPeek(std::unique_ptr<ByteStream> bytes)
        : inner_(std::move(bytes)), peeked_(*inner_, kMovieSignatureBytes) {}
    const std::vector<std::uint8_t>& Head() const { return peeked_.Head(); }
    std::size_t Read(std::uint8_t* buffer, std::size_t count) override {
        return peeked_.Read(buffer, count);
    }

  private:
    static constexpr std::size_t kMovieSignatureBytes = 3;
    std::unique_ptr<ByteStream> inner_;
    PeekedStream peeked_;
};

// Raised for a nested entry whose compression is read but whose content is no archive: such an
// entry is an ordinary one (a gzip-compressed page, say), not a broken container.
struct NotAnArchive {};

// libarchive reads a container through these callbacks. Exceptions must not cross the C library,
// so one raised by the stream is kept and raised again once libarchive returns.
struct ArchiveSource {
    ByteStream* in = nullptr;
    std::vector<std::uint8_t> block = std::vector<std::uint8_t>(kArchiveBlockBytes);
    std::exception_ptr raised;
};

la_ssize_t ReadArchiveBlock(struct archive* archive, void* client, const void** buffer) {
    auto* source = static_cast<ArchiveSource*>(client);
    try {
        const std::size_t got = source->in->Read(source->block.data(), source->block.size());
        *buffer = source->block.data();
        return static_cast<la_ssize_t>(got);
    } catch (...) {
        source->raised = std::current_exception();
        archive_set_error(archive, EIO, "the container's own input failed");
        return ARCHIVE_FATAL;
    }
}

std::string ArchiveMessage(struct archive* archive) {
    const char* text = archive_error_string(archive);
    return text != nullptr ? text : "the archive cannot be read";
}

// What an archive decodes, charged to its budget: what a zip or 7z entry inflates to, and what a
// compression filter around a tar gives.
class ArchiveCharges {
  public:
    ArchiveCharges(struct archive* archive, DecodeBudget& budget, bool filtered)
        : archive_(archive), budget_(budget), filtered_(filtered) {}

    // `read` bytes of an entry's data were read.
    void EntryRead(std::size_t read) {
        if (filtered_) {
            const std::int64_t position = archive_filter_bytes(archive_, 0);
            if (position > position_) {
                budget_.Charge(static_cast<std::uint64_t>(position - position_));
                position_ = position;
            }
        } else if (DecodesEntries()) {
            budget_.Charge(read);
        }
    }

    // A 7z entry is charged its declared size before it is read or passed over: libarchive
    // decodes a solid block up to each entry it reaches.
    void EntryStarts(struct archive_entry* header) {
        if (Format() == ARCHIVE_FORMAT_7ZIP && archive_entry_size_is_set(header) != 0) {
            budget_.Charge(
                static_cast<std::uint64_t>(std::max<la_int64_t>(archive_entry_size(header), 0)));
        }
    }

    // Whether libarchive would have to decode what is left of the entry to pass over it, so that
    // it had better be read here, where every byte is charged: a zip entry whose size only its
    // data descriptor tells, or any entry under a compression filter.
    bool SkipDecodes(struct archive_entry* header) const {
        return filtered_ ||
               (Format() == ARCHIVE_FORMAT_ZIP && archive_entry_size_is_set(header) == 0);
    }

  private:
    int Format() const { return archive_format(archive_) & ARCHIVE_FORMAT_BASE_MASK; }
    bool DecodesEntries() const { return Format() == ARCHIVE_FORMAT_ZIP; }

    struct archive* archive_;
    DecodeBudget& budget_;
    bool filtered_;
    std::int64_t position_ = 0;
};

// One libarchive entry's data.
class ArchiveEntryStream : public ByteStream {
  public:
    ArchiveEntryStream(struct archive* archive, ArchiveSource& source, ArchiveCharges& charges)
        : archive_(archive), source_(source), charges_(charges) {}
    std::size_t Read(std::uint8_t* buffer, std::size_t count) override {
        const la_ssize_t got = archive_read_data(archive_, buffer, count);
        if (source_.raised) {
            std::rethrow_exception(std::exchange(source_.raised, nullptr));
        }
        if (got >= 0) {
            charges_.EntryRead(static_cast<std::size_t>(got));
            return static_cast<std::size_t>(got);
        }
        if (got == ARCHIVE_FATAL) {
            throw EContainerError(ArchiveMessage(archive_));
        }
        throw EEntryError(ArchiveMessage(archive_));
    }

  private:
    struct archive* archive_;
    ArchiveSource& source_;
    ArchiveCharges& charges_;
};

// The entry's name as UTF-8 text, whatever the locale the scan runs in.
std::string EntryName(struct archive_entry* header) {
    const char* name = archive_entry_pathname_utf8(header);
    if (name == nullptr) {
        name = archive_entry_pathname(header);
    }
    return name != nullptr ? name : "";
}

// The compression filter whose signature `head` starts with; gzip is decoded here instead.
int FilterOf(const std::vector<std::uint8_t>& head) {
    if (StartsWith(head.data(), head.size(), "BZh")) {
        return ARCHIVE_FILTER_BZIP2;
    }
    if (StartsWith(head.data(), head.size(),
                   "\xFD"
                   "7zXZ")) {
        return ARCHIVE_FILTER_XZ;
    }
    if (StartsWith(head.data(), head.size(), "\x28\xB5\x2F\xFD")) {
        return ARCHIVE_FILTER_ZSTD;
    }
    return ARCHIVE_FILTER_NONE;
}

// A 7z must be read where it can seek: in its file, or for one inside another container in a
// temporary file, already unlinked, that the budget of the container around it bounds.
class SpooledFile {
  public:
    explicit SpooledFile(ByteStream& in) : file_(std::tmpfile()) {
        if (file_ == nullptr) {
            throw EContainerError(std::string("cannot make a temporary file for a 7z archive: ") +
                                  std::strerror(errno));
        }
        std::vector<std::uint8_t> block(kArchiveBlockBytes);
        for (;;) {
            const std::size_t got = in.Read(block.data(), block.size());
            if (got == 0) {
                break;
            }
            if (std::fwrite(block.data(), 1, got, file_) != got) {
                throw EContainerError(
                    std::string("cannot write the temporary file for a 7z archive: ") +
                    std::strerror(errno));
            }
        }
        if (std::fflush(file_) != 0) {
            throw EContainerError(
                std::string("cannot write the temporary file for a 7z archive: ") +
                std::strerror(errno));
        }
    }
    SpooledFile(const SpooledFile&) = delete;
    SpooledFile& operator=(const SpooledFile&) = delete;
    ~SpooledFile() { std::fclose(file_); }
    int Descriptor() const { return fileno(file_); }

  private:
    std::FILE* file_;
};

void CheckSevenZipFile(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return;  // libarchive meets the same failure and reports it
    }
    try {
        CheckSevenZipHeader(fd);
    } catch (...) {
        close(fd);
        throw;
    }
    close(fd);
}

// Names come out of libarchive in the thread's locale; it is UTF-8 while a walk runs, so that no
// name is lost to a "C" locale, and only in the walking thread.
class Utf8Names {
  public:
    Utf8Names() {
        static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
        if (utf8 != nullptr) {
            previous_ = uselocale(utf8);
        }
    }
    Utf8Names(const Utf8Names&) = delete;
    Utf8Names& operator=(const Utf8Names&) = delete;
    ~Utf8Names() {
        if (previous_ != nullptr) {
            uselocale(previous_);
        }
    }

  private:
    locale_t previous_ = nullptr;
};

class Walker {
  public:
    Walker(ContainerVisitor& visitor, bool namesOnly) : visitor_(visitor), namesOnly_(namesOnly) {}

    // Walks one container at `level` (1 for the outermost). `path` is the file when the container
    // is one, so that libarchive can seek in it.
    void Walk(ByteStream& in, ContainerKind kind, int level, const std::string* path) {
        if (path != nullptr && kind == ContainerKind::Archive && WalkZipFile(*path, level)) {
            return;
        }
        if (kind == ContainerKind::Warc) {
            const std::size_t depth = names_.size();
            ReadWarcRecords(
                in,
                [&](const std::string& name, ByteStream& payload) {
                    Entry(name, payload, level, EntryOrigin::WarcRecord);
                },
                [&](const std::string& name, const std::string& message) {
                    // The record's own name is given, whatever was being read when it broke.
                    names_.resize(depth);
                    NamedFailure(name, message);
                },
                budget_, others_,
                [&](const std::string& name) {
                    NamePush pushed(names_, name);
                    visitor_.Listed(names_, EntryOrigin::WarcRecord);
                });
        } else {
            WalkArchive(in, kind, level, path);
        }
    }

    // Walks the outermost container of `stored` bytes, or when that is not known of as many as
    // are read, with `baseBudget` (see DecodeBudget), reporting instead of raising what breaks
    // it.
    void WalkOutermost(ByteStream& in, ContainerKind kind, const std::string* path,
                       std::optional<std::uint64_t> stored, std::uint64_t baseBudget) {
        if (kind == ContainerKind::None) {
            visitor_.Failure({}, "not a container: no zip, 7z, tar or WARC data");
            return;
        }
        DecodeBudget budget(stored.value_or(0), baseBudget);
        MeasuredStream measured(in, budget);
        budget_ = &budget;
        try {
            Walk(stored ? in : measured, kind, 1, path);
        } catch (const EContainerError& error) {
            visitor_.Failure(names_, error.what());
        } catch (const EEntryError& error) {
            visitor_.Failure(names_, error.what());
        } catch (const NotAnArchive&) {
            visitor_.Failure({}, "not a container: the compressed data holds no archive");
        }
        names_.clear();
        budget_ = nullptr;
    }

    std::int64_t Others() const { return others_; }

  private:
    // Holds one more name while a block runs, however it ends: a failure raised inside names the
    // entry it was raised in until it is reported.
    class NamePush {
      public:
        NamePush(std::vector<std::string>& names, const std::string& name)
            : names_(names), depth_(names.size()), raised_(std::uncaught_exceptions()) {
            names_.push_back(name);
        }
        NamePush(const NamePush&) = delete;
        NamePush& operator=(const NamePush&) = delete;
        ~NamePush() {
            if (std::uncaught_exceptions() == raised_) {
                names_.resize(depth_);
            }
        }

      private:
        std::vector<std::string>& names_;
        std::size_t depth_;
        int raised_;
    };

    void NamedFailure(const std::string& name, const std::string& message) {
        const std::size_t depth = names_.size();
        if (!name.empty()) {
            names_.push_back(name);
        }
        visitor_.Failure(names_, message);
        names_.resize(depth);
    }

    void Entry(const std::string& name, ByteStream& bytes, int level, EntryOrigin origin) {
        NamePush pushed(names_, name);
        visitor_.Listed(names_, origin);
        if (namesOnly_ && !HasContainerSuffix(name)) {
            return;
        }
        PeekedStream peeked(bytes, kRecogniseBytes);
        const std::vector<std::uint8_t>& head = peeked.Head();
        const ContainerKind kind = peeked.HeadFailed()
                                       ? ContainerKind::None
                                       : RecogniseContainer(head.data(), head.size());
        if (StartsMovie(head.data(), head.size()) ||
            (kind == ContainerKind::CompressedArchive && HasMovieSuffix(name))) {
            // A movie entry compressed as a whole is still the movie entry its name says: its
            // load tells it is no movie as it stands.
            visitor_.Movie(names_, peeked);
        } else if (kind != ContainerKind::None && level >= kMaxContainerLevels) {
            visitor_.Failure(names_, "nested deeper than " + std::to_string(kMaxContainerLevels) +
                                         " containers");
        } else if (kind != ContainerKind::None) {
            WalkNested(peeked, kind, level + 1);
        } else if (HasMovieSuffix(name)) {
            visitor_.Movie(names_, peeked);
        } else {
            ++others_;
        }
    }

    // A zip that libzip reads: a movie entry held as stored goes to the visitor to be read where
    // it likes; any other entry is looked at here, as an entry of any archive is.
    bool WalkZipFile(const std::string& path, int level) {
        std::vector<std::uint8_t> zipHead(kZipSignature.size());
        {
            FileStream file(path);
            zipHead.resize(ReadFully(file, zipHead.data(), zipHead.size()));
        }
        // libzip finds a zip by its end; one that does not start with an entry is left to
        // libarchive, which looks for what comes before the entries.
        if (!StartsWith(zipHead.data(), zipHead.size(), kZipSignature)) {
            return false;
        }
        return ReadZipFile(path, [&](const std::string& name, std::unique_ptr<ByteStream> bytes,
                                     std::optional<std::uint64_t> heldBytes, std::uint64_t size) {
            // A listing for names only need not look into an entry that cannot hold others.
            if (heldBytes && !(namesOnly_ && !HasContainerSuffix(name))) {
                auto peeked = std::make_unique<OwnedPeek>(std::move(bytes));
                if (StartsMovie(peeked->Head().data(), peeked->Head().size())) {
                    NamePush pushed(names_, name);
                    visitor_.Listed(names_, EntryOrigin::ArchiveFile);
                    if (!namesOnly_) {
                        // Read on another thread, perhaps after this walk and its budget: charged
                        // here, in the walk's order, with all its stream can decode, so that every
                        // --jobs stops at the same entry, as the walk of a zip as a stream does.
                        budget_->Charge(size);
                        visitor_.OwnedMovie(names_, std::move(peeked), *heldBytes);
                    }
                    return;
                }
                bytes = std::move(peeked);
            }
            ChargedStream charged(*bytes, budget_);
            Entry(name, charged, level, EntryOrigin::ArchiveFile);
        });
    }

    void WalkNested(ByteStream& bytes, ContainerKind kind, int level) {
        DecodeBudget* const outer = budget_;
        DecodeBudget budget(outer);
        // The nested container's size is what has been read of it so far.
        MeasuredStream measured(bytes, budget);
        WatchedStream watched(measured);
        const std::size_t depth = names_.size();
        budget_ = &budget;
        try {
            Walk(watched, kind, level, nullptr);
        } catch (const EBudgetError& error) {
            budget_ = outer;
            if (error.Budget() != &budget) {
                throw;
            }
            visitor_.Failure(names_, error.what());
        } catch (const EContainerError& error) {
            budget_ = outer;
            if (watched.Failed()) {
                throw;
            }
            visitor_.Failure(names_, error.what());
        } catch (const EEntryError& error) {
            visitor_.Failure(names_, error.what());
        } catch (const NotAnArchive&) {
            ++others_;
        }
        budget_ = outer;
        names_.resize(depth);
    }

    void WalkArchive(ByteStream& in, ContainerKind kind, int level, const std::string* path) {
        PeekedStream peeked(in, kRecogniseBytes);
        const std::vector<std::uint8_t>& head = peeked.Head();
        // Compression around an archive is undone once and no more: gzip here, where every byte
        // it gives is charged, the others by libarchive's filter for exactly that compression.
        // libarchive's own recognition would stack filters as long as their output looks
        // compressed, which a gzip file that decompresses to itself turns into a runaway.
        std::optional<InflatingStream> inflated;
        std::optional<ChargedStream> charged;
        ByteStream* source = &peeked;
        int filter = ARCHIVE_FILTER_NONE;
        if (kind == ContainerKind::CompressedArchive) {
            if (StartsGzip(head.data(), head.size())) {
                inflated.emplace(peeked, Deflation::Gzip, level > 1);
                source = &charged.emplace(*inflated, budget_);
                path = nullptr;
            } else {
                filter = FilterOf(head);
                path = nullptr;
            }
        }
        std::optional<SpooledFile> spooled;
        if (path == nullptr && StartsWith(head.data(), head.size(), "7z\xBC\xAF\x27\x1C")) {
            spooled.emplace(peeked);
        }

        std::unique_ptr<struct archive, decltype(&archive_read_free)> owned(archive_read_new(),
                                                                            &archive_read_free);
        struct archive* archive = owned.get();
        if (archive == nullptr) {
            throw std::bad_alloc();
        }
        if (filter != ARCHIVE_FILTER_NONE) {
            archive_read_append_filter(archive, filter);
        }
        archive_read_support_format_zip(archive);
        archive_read_support_format_7zip(archive);
        archive_read_support_format_tar(archive);
        // Zip names without the UTF-8 flag are in code page 437, as the format has them.
        archive_read_set_format_option(archive, "zip", "hdrcharset", "CP437");
        ArchiveSource source_;
        source_.in = source;
        int opened = ARCHIVE_OK;
        if (spooled) {
            CheckSevenZipHeader(spooled->Descriptor());
            opened = archive_read_open_fd(archive, spooled->Descriptor(), kArchiveBlockBytes);
        } else if (path != nullptr) {
            if (StartsWith(head.data(), head.size(), "7z\xBC\xAF\x27\x1C")) {
                CheckSevenZipFile(*path);
            }
            opened = archive_read_open_filename(archive, path->c_str(), kArchiveBlockBytes);
        } else {
            opened = archive_read_open(archive, &source_, nullptr, ReadArchiveBlock, nullptr);
        }
        CheckArchive(archive, source_, opened, kind, level, true);
        ArchiveCharges charges(archive, *budget_, filter != ARCHIVE_FILTER_NONE);
        std::string drained;  // the damage met in the last entry read to its end here
        for (bool first = true;; first = false) {
            struct archive_entry* header = nullptr;
            const int status = archive_read_next_header(archive, &header);
            if (status == ARCHIVE_EOF) {
                return;
            }
            CheckArchive(archive, source_, status, kind, level, first, drained);
            const std::string name = EntryName(header);
            if (status < ARCHIVE_WARN) {
                // The entry's header is damaged but the archive goes on after it.
                if (HasMovieSuffix(name)) {
                    NamePush pushed(names_, name);
                    visitor_.Listed(names_, EntryOrigin::ArchiveFile);
                    if (!namesOnly_) {
                        FailedStream failed(ArchiveMessage(archive));
                        visitor_.Movie(names_, failed);
                    }
                } else {
                    ++others_;
                }
                continue;
            }
            if (archive_entry_filetype(header) != AE_IFREG) {
                continue;  // folders and links hold no bytes of their own
            }
            {
                NamePush pushed(names_, name);
                charges.EntryStarts(header);
            }
            ArchiveEntryStream entry(archive, source_, charges);
            Entry(name, entry, level, EntryOrigin::ArchiveFile);
            if (charges.SkipDecodes(header)) {
                NamePush pushed(names_, name);
                drained = DrainEntry(entry);
            }
        }
    }

    // Reads what is left of an entry, so that decoding it is charged. Damage in it has been met
    // (and reported) by whoever read it, or is met by libarchive again at the next header, which
    // may then not say what it was: so it is returned.
    static std::string DrainEntry(ByteStream& entry) {
        try {
            Drain(entry);
        } catch (const EEntryError& error) {
            return error.what();
        }
        return "";
    }

    static void CheckArchive(struct archive* archive, ArchiveSource& source, int status,
                             ContainerKind kind, int level, bool first,
                             const std::string& drained = "") {
        if (source.raised) {
            std::rethrow_exception(std::exchange(source.raised, nullptr));
        }
        if (status != ARCHIVE_FATAL) {
            return;
        }
        if (first && level > 1 && kind == ContainerKind::CompressedArchive &&
            archive_format(archive) == 0) {
            // No format bid for the data: it decompresses, but to something else than an archive.
            throw NotAnArchive{};
        }
        throw EContainerError(archive_error_string(archive) == nullptr && !drained.empty()
                                  ? drained
                                  : ArchiveMessage(archive));
    }

    ContainerVisitor& visitor_;
    const bool namesOnly_;
    std::vector<std::string> names_;
    std::int64_t others_ = 0;
    DecodeBudget* budget_ = nullptr;
};

}  // namespace

bool StartsMovie(const std::uint8_t* head, std::size_t count) {
    return ContainerOf(head, count) != Container::None;
}

ContainerKind RecogniseContainer(const std::uint8_t* head, std::size_t count) {
    if (StartsWith(head, count, "PK\x03\x04") || StartsWith(head, count, "PK\x05\x06") ||
        StartsWith(head, count, "7z\xBC\xAF\x27\x1C") || StartsWith(head, count, "ustar", 257)) {
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
        if (EndsWithNoCase(name, suffix)) {
            return true;
        }
    }
    return false;
}

bool HasMovieSuffix(std::string_view name) {
    return EndsWithNoCase(name, ".swf");
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

ContainerKind RecogniseContainerFile(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
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
    close(fd);
    return kind;
}

namespace {

std::int64_t WalkFile(const std::string& path, ContainerVisitor& visitor, bool namesOnly,
                      std::uint64_t baseBudget) {
    FileStream file(path);
    const ContainerKind kind = RecogniseContainerFile(path);
    Utf8Names utf8;
    Walker walker(visitor, namesOnly);
    // libarchive opens the file again itself, so that it can seek in it (7z needs that, and a
    // zip is read from its central directory).
    walker.WalkOutermost(file, kind, kind == ContainerKind::Warc ? nullptr : &path,
                         static_cast<std::uint64_t>(std::max<std::int64_t>(file.Size(), 0)),
                         baseBudget);
    return walker.Others();
}

}  // namespace

std::int64_t WalkContainerFile(const std::string& path, ContainerVisitor& visitor,
                               std::uint64_t baseBudget) {
    return WalkFile(path, visitor, false, baseBudget);
}

void ListContainerFile(const std::string& path, ContainerVisitor& visitor) {
    WalkFile(path, visitor, true, DecodeBudget::kBaseBytes);
}

std::int64_t WalkContainerStream(ByteStream& in, ContainerVisitor& visitor,
                                 std::optional<std::uint64_t> stored, std::uint64_t baseBudget) {
    PeekedStream peeked(in, kRecogniseBytes);
    Utf8Names utf8;
    Walker walker(visitor, false);
    walker.WalkOutermost(peeked, RecogniseContainer(peeked.Head().data(), peeked.Head().size()),
                         nullptr, stored, baseBudget);
    return walker.Others();
}
