#include "archive/libarchive_reader.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <optional>
#include <utility>
#include <vector>

#include "archive/archive_source.h"
#include "archive/inflating_stream.h"
#include "archive/read_only_file.h"
#include "archive/seven_zip_check.h"
#include "archive/xz_stream.h"

namespace velpin {

namespace {

bool StartsWithBytes(const std::vector<std::uint8_t>& head, std::string_view magic) {
    return head.size() >= magic.size() && std::memcmp(head.data(), magic.data(), magic.size()) == 0;
}

// libarchive tells a deflated zip entry that zlib could not finish by zlib's bare return code.
std::string ZipInflateWords(const std::string& text) {
    static const std::string kPrefix = "ZIP decompression failed (";
    if (text.compare(0, kPrefix.size(), kPrefix) != 0) {
        return text;
    }
    switch (std::atoi(text.c_str() + kPrefix.size())) {
        case Z_BUF_ERROR:
            return "the zip entry's compressed data ends early: the archive is cut";
        case Z_DATA_ERROR:
            return "the zip entry's compressed data is corrupt";
        case Z_MEM_ERROR:
            return "out of memory inflating the zip entry";
        default:
            return text;
    }
}

std::string ArchiveMessage(struct archive* archive) {
    const char* text = archive_error_string(archive);
    return text != nullptr ? ZipInflateWords(text) : "the archive cannot be read";
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
        // A zip entry whose data does not decode is fatal to libarchive, but its reading as a
        // stream goes on at the next header all the same: whether it can is for the next header
        // to tell.
        if (got == ARCHIVE_FATAL &&
            (archive_format(archive_) & ARCHIVE_FORMAT_BASE_MASK) != ARCHIVE_FORMAT_ZIP) {
            throw ContainerError(ArchiveMessage(archive_));
        }
        throw EntryError(ArchiveMessage(archive_));
    }

  private:
    struct archive* archive_;
    ArchiveSource& source_;
    ArchiveCharges& charges_;
};

// The entry's name as UTF-8 text, whatever the locale the scan runs in. A name that is not in the
// encoding its archive gives (invalid UTF-8 under a zip's UTF-8 flag, a lone surrogate in a 7z)
// libarchive gives no byte of: it is told by U+FFFD and the entry's place, `index` from 1, so
// that no two such entries share a name.
std::string EntryName(struct archive_entry* header, std::uint64_t index) {
    const char* name = archive_entry_pathname_utf8(header);
    if (name == nullptr) {
        name = archive_entry_pathname(header);
    }
    if (name == nullptr) {
        return "\xEF\xBF\xBD (entry " + std::to_string(index) + ", whose name cannot be decoded)";
    }
    return name;
}

// The compression filter whose signature `head` starts with; gzip and xz are decoded here instead.
// zstd's decoder refuses a window above kMaxDecoderBytes by default, and bzip2's takes 4 MB at
// most.
int FilterOf(const std::vector<std::uint8_t>& head) {
    if (StartsWithBytes(head, "BZh")) {
        return ARCHIVE_FILTER_BZIP2;
    }
    if (StartsWithBytes(head, "\x28\xB5\x2F\xFD")) {
        return ARCHIVE_FILTER_ZSTD;
    }
    return ARCHIVE_FILTER_NONE;
}

constexpr std::size_t kMovieSignatureBytes = 3;

// The name a gzip member's header gives what it holds (FNAME, in ISO 8859-1), or "".
std::string GzipName(const std::vector<std::uint8_t>& head) {
    constexpr std::uint8_t kExtra = 0x04;
    constexpr std::uint8_t kName = 0x08;
    std::size_t at = 10;
    if (head.size() < at || (head[3] & kName) == 0) {
        return "";
    }
    if ((head[3] & kExtra) != 0) {
        if (head.size() < at + 2) {
            return "";
        }
        at += 2 + (head[at] | (head[at + 1] << 8));
    }
    std::string name;
    for (; at < head.size() && head[at] != 0; ++at) {
        if (head[at] < 0x80) {
            name += static_cast<char>(head[at]);
        } else {
            name += static_cast<char>(0xC0 | (head[at] >> 6));
            name += static_cast<char>(0x80 | (head[at] & 0x3F));
        }
    }
    return at < head.size() ? name : "";
}

// A 7z must be read where it can seek: in its file, or for one inside another container in a
// temporary file, already unlinked, that the budget of the container around it bounds.
class SpooledFile {
  public:
    explicit SpooledFile(ByteStream& in) : file_(std::tmpfile()) {
        if (file_ == nullptr) {
            throw ContainerError(std::string("cannot make a temporary file for a 7z archive: ") +
                                 std::strerror(errno));
        }
        std::vector<std::uint8_t> block(kArchiveBlockBytes);
        for (;;) {
            const std::size_t got = in.Read(block.data(), block.size());
            if (got == 0) {
                break;
            }
            if (std::fwrite(block.data(), 1, got, file_) != got) {
                throw ContainerError(
                    std::string("cannot write the temporary file for a 7z archive: ") +
                    std::strerror(errno));
            }
        }
        if (std::fflush(file_) != 0) {
            throw ContainerError(std::string("cannot write the temporary file for a 7z archive: ") +
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
    const ReadOnlyFile file(path);
    // One that cannot be opened is left to libarchive, which meets the same failure and reports
    // it.
    if (file.Descriptor() >= 0) {
        CheckSevenZipHeader(file.Descriptor());
    }
}

}  // namespace

struct ArchiveReader::State {
    State(ByteStream& in, ContainerKind kind, int level, const std::string* path,
          DecodeBudget& budget);

    // Raises what libarchive's `status` says, or what the stream raised under it. Before the
    // first entry of a nested, compressed archive, no format bid for the data at all: it is then
    // no archive, and false says so.
    bool Check(int status, bool first) {
        if (source.raised) {
            std::rethrow_exception(std::exchange(source.raised, nullptr));
        }
        if (status != ARCHIVE_FATAL) {
            return true;
        }
        if (first && level > 1 && kind == ContainerKind::CompressedArchive &&
            archive_format(archive.get()) == 0) {
            return false;
        }
        throw ContainerError(archive_error_string(archive.get()) == nullptr && !drained.empty()
                                 ? drained
                                 : ArchiveMessage(archive.get()));
    }

    ContainerKind kind;
    int level;
    PeekedStream peeked;
    // Compression around an archive is undone once and no more: gzip and xz here, where every
    // byte they give is charged and xz's memory is bounded, the others by libarchive's filter for
    // exactly that compression.
    // libarchive's own recognition would stack filters as long as their output looks compressed,
    // which a gzip file that decompresses to itself turns into a runaway.
    std::optional<InflatingStream> inflated;
    std::optional<XzStream> xz;
    std::optional<ChargedStream> charged;
    std::optional<SpooledFile> spooled;
    std::unique_ptr<struct archive, decltype(&archive_read_free)> archive;
    ArchiveSource source;
    int opened = ARCHIVE_OK;
    bool first = true;
    std::optional<ArchiveCharges> charges;
    std::optional<ArchiveEntryStream> data;
    struct archive_entry* header = nullptr;
    int headerStatus = ARCHIVE_OK;
    std::string name;
    std::optional<PeekedStream> decoded;
    bool singleMovie = false;
    std::string singleName;     // a gzip's own name for what it holds
    std::uint64_t entries = 0;  // headers read, damaged or not
    std::string drained;        // the damage met in the last entry read to its end here
};

ArchiveReader::State::State(ByteStream& in, ContainerKind kind, int level, const std::string* path,
                            DecodeBudget& budget)
    : kind(kind),
      level(level),
      peeked(in, kRecogniseBytes),
      archive(archive_read_new(), &archive_read_free) {
    const std::vector<std::uint8_t>& head = peeked.Head();
    ByteStream* bytes = &peeked;
    int filter = ARCHIVE_FILTER_NONE;
    if (kind == ContainerKind::CompressedArchive) {
        path = nullptr;
        if (StartsGzip(head.data(), head.size())) {
            inflated.emplace(peeked, Deflation::Gzip, level > 1);
            bytes = &charged.emplace(*inflated, &budget);
            singleName = GzipName(head);
        } else if (StartsXz(head.data(), head.size())) {
            xz.emplace(peeked, level > 1);
            bytes = &charged.emplace(*xz, &budget);
        } else {
            filter = FilterOf(head);
        }
    }
    if (charged) {
        // A movie compressed on its own (movie.swf.gz) is a container of that one movie.
        decoded.emplace(*charged, kMovieSignatureBytes);
        bytes = &*decoded;
        singleMovie = StartsMovie(decoded->Head().data(), decoded->Head().size());
        if (singleMovie) {
            return;
        }
    }
    const bool sevenZip = StartsSevenZip(head.data(), head.size());
    if (path == nullptr && sevenZip) {
        spooled.emplace(peeked);
    }
    if (archive == nullptr) {
        throw std::bad_alloc();
    }
    struct archive* const reader = archive.get();
    if (filter != ARCHIVE_FILTER_NONE) {
        archive_read_append_filter(reader, filter);
    }
    archive_read_support_format_zip(reader);
    archive_read_support_format_7zip(reader);
    archive_read_support_format_tar(reader);
    // Zip names without the UTF-8 flag are in code page 437, as the format has them.
    archive_read_set_format_option(reader, "zip", "hdrcharset", "CP437");
    source.in = bytes;
    if (spooled) {
        CheckSevenZipHeader(spooled->Descriptor());
        opened = archive_read_open_fd(reader, spooled->Descriptor(), kArchiveBlockBytes);
    } else if (path != nullptr) {
        if (sevenZip) {
            CheckSevenZipFile(*path);
        }
        opened = archive_read_open_filename(reader, path->c_str(), kArchiveBlockBytes);
    } else {
        opened = archive_read_open(reader, &source, nullptr, ReadArchiveBlock, nullptr);
    }
    charges.emplace(reader, budget, filter != ARCHIVE_FILTER_NONE);
}

ArchiveReader::ArchiveReader(ByteStream& in, ContainerKind kind, int level, const std::string* path,
                             DecodeBudget& budget)
    : state_(std::make_unique<State>(in, kind, level, path, budget)) {}

ArchiveReader::~ArchiveReader() = default;

ArchiveReader::Step ArchiveReader::Next() {
    State& s = *state_;
    s.data.reset();
    if (s.singleMovie) {
        if (s.entries++ == 0) {
            s.name = s.singleName;
            return Step::Entry;
        }
        Drain(*s.decoded);
        return Step::End;
    }
    const bool first = std::exchange(s.first, false);
    if (first && !s.Check(s.opened, true)) {
        return Step::NotAnArchive;
    }
    s.headerStatus = archive_read_next_header(s.archive.get(), &s.header);
    if (s.headerStatus == ARCHIVE_EOF) {
        // An archive ends before its compression does: what is left is decompressed, so that
        // damage after the last entry (a CRC-32 that does not match) is told, and charged.
        if (s.decoded) {
            Drain(*s.decoded);
        }
        return Step::End;
    }
    if (!s.Check(s.headerStatus, first)) {
        return Step::NotAnArchive;
    }
    if (s.headerStatus == ARCHIVE_RETRY) {
        return Step::DamagedHeader;
    }
    s.name = EntryName(s.header, ++s.entries);
    return s.headerStatus < ARCHIVE_WARN ? Step::DamagedEntry : Step::Entry;
}

const std::string& ArchiveReader::Name() const {
    return state_->name;
}

bool ArchiveReader::Regular() const {
    return state_->singleMovie || archive_entry_filetype(state_->header) == AE_IFREG;
}

bool ArchiveReader::SingleMovie() const {
    return state_->singleMovie;
}

std::string ArchiveReader::Damage() const {
    if (state_->headerStatus == ARCHIVE_RETRY) {
        return ArchiveMessage(state_->archive.get()) + ": the header at byte " +
               std::to_string(archive_read_header_position(state_->archive.get())) +
               " cannot be read, and what follows it up to the next one is passed over";
    }
    return ArchiveMessage(state_->archive.get());
}

std::optional<StoredTime> ArchiveReader::Modified() const {
    struct archive_entry* const header = state_->header;
    if (state_->singleMovie || archive_entry_mtime_is_set(header) == 0) {
        return std::nullopt;
    }
    const std::time_t seconds = archive_entry_mtime(header);
    if ((archive_format(state_->archive.get()) & ARCHIVE_FORMAT_BASE_MASK) == ARCHIVE_FORMAT_ZIP) {
        return DosTimeOf(seconds);
    }
    return UtcTime(seconds);
}

std::string ArchiveReader::Link() const {
    struct archive_entry* header = state_->header;
    if (state_->singleMovie) {
        return "";
    }
    if (const char* target = archive_entry_hardlink_utf8(header)) {
        return std::string("a hard link to ") + target + ", whose bytes are read under that name";
    }
    if (const char* target = archive_entry_symlink_utf8(header)) {
        return std::string("a symbolic link to ") + target + ", which is not followed";
    }
    return "";
}

void ArchiveReader::ChargeStart() {
    if (!state_->singleMovie) {
        state_->charges->EntryStarts(state_->header);
    }
}

ByteStream& ArchiveReader::Data() {
    State& s = *state_;
    if (s.singleMovie) {
        return *s.decoded;
    }
    if (!s.data) {
        s.data.emplace(s.archive.get(), s.source, *s.charges);
    }
    return *s.data;
}

void ArchiveReader::Finish() {
    State& s = *state_;
    if (s.singleMovie || !s.charges->SkipDecodes(s.header)) {
        return;
    }
    s.drained.clear();
    try {
        Drain(Data());
    } catch (const Error& error) {
        // Met (and reported) by whoever read the entry, or met again by libarchive at the next
        // header, which may then not say what it was.
        if (!IsEntryError(error)) {
            throw;
        }
        s.drained = error.what();
    }
}

Utf8Names::Utf8Names() {
    static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    if (utf8 != nullptr) {
        previous_ = uselocale(utf8);
    }
}

Utf8Names::~Utf8Names() {
    if (previous_ != nullptr) {
        uselocale(previous_);
    }
}

}  // namespace velpin
