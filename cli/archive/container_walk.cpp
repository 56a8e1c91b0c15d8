#include "cli/archive/container_walk.h"

#include <archive.h>
#include <archive_entry.h>

#include <array>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>

#include "cli/archive/inflating_stream.h"
#include "cli/archive/warc_reader.h"
#include "cli/archive/zip_reader.h"
#include "cli/codec/container.h"

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

// Raised for a nested entry whose compression libarchive reads but whose content is no archive:
// such an entry is an ordinary one (a gzip-compressed page, say), not a broken container.
struct NotAnArchive {};

// libarchive reads a nested container through these callbacks. Exceptions must not cross the C
// library, so one raised by the stream is kept and raised again once libarchive returns.
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

// One libarchive entry's data.
class ArchiveEntryStream : public ByteStream {
  public:
    ArchiveEntryStream(struct archive* archive, ArchiveSource* source)
        : archive_(archive), source_(source) {}
    std::size_t Read(std::uint8_t* buffer, std::size_t count) override {
        const la_ssize_t got = archive_read_data(archive_, buffer, count);
        if (got >= 0) {
            return static_cast<std::size_t>(got);
        }
        if (source_ != nullptr && source_->raised) {
            std::rethrow_exception(source_->raised);
        }
        if (got == ARCHIVE_FATAL) {
            throw EContainerError(ArchiveMessage(archive_));
        }
        throw EEntryError(ArchiveMessage(archive_));
    }

  private:
    struct archive* archive_;
    ArchiveSource* source_;
};

// The stream of an entry that could not be opened at all.
class FailedStream : public ByteStream {
  public:
    explicit FailedStream(std::string message) : message_(std::move(message)) {}
    std::size_t Read(std::uint8_t*, std::size_t) override { throw EEntryError(message_); }

  private:
    std::string message_;
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
            others_ += ReadWarcRecords(
                in,
                [&](const std::string& name, ByteStream& payload) {
                    Entry(name, payload, level, EntryOrigin::WarcRecord);
                },
                [&](const std::string& name) {
                    names_.push_back(name);
                    visitor_.Listed(names_, EntryOrigin::WarcRecord);
                    names_.pop_back();
                });
        } else {
            WalkArchive(in, kind, level, path);
        }
    }

    // Walks the outermost container, reporting instead of raising what breaks it.
    void WalkOutermost(ByteStream& in, ContainerKind kind, const std::string* path) {
        if (kind == ContainerKind::None) {
            visitor_.Failure({}, "not a container: no zip, 7z, tar or WARC data");
            return;
        }
        try {
            Walk(in, kind, 1, path);
        } catch (const EContainerError& error) {
            visitor_.Failure(names_, error.what());
        } catch (const EEntryError& error) {
            visitor_.Failure(names_, error.what());
        } catch (const NotAnArchive&) {
            visitor_.Failure({}, "not a container: the compressed data holds no archive");
        }
        names_.clear();
    }

    std::int64_t Others() const { return others_; }

  private:
    void Entry(const std::string& name, ByteStream& bytes, int level, EntryOrigin origin) {
        const std::size_t depth = names_.size();
        names_.push_back(name);
        visitor_.Listed(names_, origin);
        if (namesOnly_ && !HasContainerSuffix(name)) {
            names_.resize(depth);
            return;
        }
        PeekedStream peeked(bytes, kRecogniseBytes);
        const std::vector<std::uint8_t>& head = peeked.Head();
        const ContainerKind kind = peeked.HeadFailed()
                                       ? ContainerKind::None
                                       : RecogniseContainer(head.data(), head.size());
        if (StartsMovie(head.data(), head.size())) {
            visitor_.Movie(names_, peeked);
        } else if (kind != ContainerKind::None && level < kMaxContainerLevels) {
            WalkNested(peeked, kind, level + 1);
        } else if (HasMovieSuffix(name)) {
            visitor_.Movie(names_, peeked);
        } else {
            ++others_;
        }
        names_.resize(depth);
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
                                     std::optional<std::uint64_t> heldBytes) {
            if (!heldBytes || (namesOnly_ && !HasContainerSuffix(name))) {
                Entry(name, *bytes, level, EntryOrigin::ArchiveFile);
                return;
            }
            auto peeked = std::make_unique<OwnedPeek>(std::move(bytes));
            if (StartsMovie(peeked->Head().data(), peeked->Head().size())) {
                names_.push_back(name);
                visitor_.Listed(names_, EntryOrigin::ArchiveFile);
                if (!namesOnly_) {
                    visitor_.OwnedMovie(names_, std::move(peeked), *heldBytes);
                }
                names_.pop_back();
            } else {
                Entry(name, *peeked, level, EntryOrigin::ArchiveFile);
            }
        });
    }

    void WalkNested(ByteStream& bytes, ContainerKind kind, int level) {
        WatchedStream watched(bytes);
        const std::size_t depth = names_.size();
        try {
            Walk(watched, kind, level, nullptr);
        } catch (const EContainerError& error) {
            if (watched.Failed()) {
                throw;
            }
            visitor_.Failure(names_, error.what());
        } catch (const EEntryError& error) {
            visitor_.Failure(names_, error.what());
        } catch (const NotAnArchive&) {
            ++others_;
        }
        names_.resize(depth);
    }

    void WalkArchive(ByteStream& in, ContainerKind kind, int level, const std::string* path) {
        std::unique_ptr<struct archive, decltype(&archive_read_free)> owned(archive_read_new(),
                                                                            &archive_read_free);
        struct archive* archive = owned.get();
        if (archive == nullptr) {
            throw std::bad_alloc();
        }
        archive_read_support_filter_all(archive);
        archive_read_support_format_zip(archive);
        archive_read_support_format_7zip(archive);
        archive_read_support_format_tar(archive);
        ArchiveSource source;
        source.in = &in;
        const int opened =
            path != nullptr
                ? archive_read_open_filename(archive, path->c_str(), kArchiveBlockBytes)
                : archive_read_open(archive, &source, nullptr, ReadArchiveBlock, nullptr);
        CheckArchive(archive, source, opened, kind, level, true);
        for (bool first = true;; first = false) {
            struct archive_entry* header = nullptr;
            const int status = archive_read_next_header(archive, &header);
            if (status == ARCHIVE_EOF) {
                return;
            }
            CheckArchive(archive, source, status, kind, level, first);
            const char* pathname = archive_entry_pathname(header);
            const std::string name = pathname != nullptr ? pathname : "";
            if (status < ARCHIVE_WARN) {
                // The entry's header is damaged but the archive goes on after it.
                if (HasMovieSuffix(name)) {
                    names_.push_back(name);
                    visitor_.Listed(names_, EntryOrigin::ArchiveFile);
                    if (!namesOnly_) {
                        FailedStream failed(ArchiveMessage(archive));
                        visitor_.Movie(names_, failed);
                    }
                    names_.pop_back();
                } else {
                    ++others_;
                }
                continue;
            }
            if (archive_entry_filetype(header) != AE_IFREG) {
                continue;  // folders and links hold no bytes of their own
            }
            ArchiveEntryStream entry(archive, path != nullptr ? nullptr : &source);
            Entry(name, entry, level, EntryOrigin::ArchiveFile);
        }
    }

    static void CheckArchive(struct archive* archive, const ArchiveSource& source, int status,
                             ContainerKind kind, int level, bool first) {
        if (source.raised) {
            std::rethrow_exception(source.raised);
        }
        if (status != ARCHIVE_FATAL) {
            return;
        }
        if (first && level > 1 && kind == ContainerKind::CompressedArchive &&
            archive_format(archive) == 0) {
            // No format bid for the data: it decompresses, but to something else than an archive.
            throw NotAnArchive{};
        }
        throw EContainerError(ArchiveMessage(archive));
    }

    ContainerVisitor& visitor_;
    const bool namesOnly_;
    std::vector<std::string> names_;
    std::int64_t others_ = 0;
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

namespace {

std::int64_t WalkFile(const std::string& path, ContainerVisitor& visitor, bool namesOnly) {
    FileStream file(path);
    PeekedStream peeked(file, kRecogniseBytes);
    const ContainerKind kind = RecogniseContainer(peeked.Head().data(), peeked.Head().size());
    Walker walker(visitor, namesOnly);
    // libarchive opens the file again itself, so that it can seek in it (7z needs that, and a
    // zip is read from its central directory).
    walker.WalkOutermost(peeked, kind, kind == ContainerKind::Warc ? nullptr : &path);
    return walker.Others();
}

}  // namespace

std::int64_t WalkContainerFile(const std::string& path, ContainerVisitor& visitor) {
    return WalkFile(path, visitor, false);
}

void ListContainerFile(const std::string& path, ContainerVisitor& visitor) {
    WalkFile(path, visitor, true);
}

std::int64_t WalkContainerStream(ByteStream& in, ContainerVisitor& visitor) {
    PeekedStream peeked(in, kRecogniseBytes);
    Walker walker(visitor, false);
    walker.WalkOutermost(peeked, RecogniseContainer(peeked.Head().data(), peeked.Head().size()),
                         nullptr);
    return walker.Others();
}
