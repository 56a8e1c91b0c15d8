#include "archive/container_walk.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <optional>
#include <utility>

#include "archive/decode_budget.h"
#include "archive/libarchive_reader.h"
#include "archive/temporary_file.h"
#include "archive/warc_reader.h"
#include "archive/zip_reader.h"
#include "base/ascii.h"
#include "swfff/errors.h"

namespace velpin {

namespace {

// What is read of a file to tell whether it starts with a zip entry.
constexpr std::size_t kZipHeadBytes = 4;
// A zip inside another container is held in memory up to this size, and copied to a temporary
// file when larger: a file costs some tens of microseconds, which only many small zips feel.
constexpr std::size_t kMaxHeldZipBytes = 1 << 20;
// The first block read of such a zip; each read after it doubles what is held.
constexpr std::size_t kZipBlockBytes = 64 * 1024;

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
        } catch (const Error& error) {
            failed_ = failed_ || !IsEntryError(error);
            throw;
        }
    }
    bool Failed() const { return failed_; }

  private:
    ByteStream& inner_;
    bool failed_ = false;
};

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

class Walker {
  public:
    Walker(ContainerVisitor& visitor, bool namesOnly) : visitor_(visitor), namesOnly_(namesOnly) {}

    // Walks the outermost container of `stored` bytes, or when that is not known of as many as
    // are read, with `baseBudget` (see DecodeBudget), reporting instead of raising what breaks
    // it.
    void WalkOutermost(ByteStream& in, ContainerKind kind, const std::string* path,
                       std::optional<std::uint64_t> stored, std::uint64_t baseBudget) {
        if (kind == ContainerKind::None) {
            visitor_.Failure({}, ContainerError("not a container: no zip, 7z, tar or WARC data"));
            return;
        }
        DecodeBudget budget(stored.value_or(0), baseBudget);
        MeasuredStream measured(in, budget);
        budget_ = &budget;
        try {
            // Only a nested container can turn out to be no archive once decompressed.
            Walk(stored ? in : measured, kind, 1, path);
        } catch (const Error& error) {
            if (error.Subject() != ErrorSubject::Container && !IsEntryError(error)) {
                throw;
            }
            visitor_.Failure(names_, error);
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

    // The walk of a nested container charges its own budget, and those around it, until it ends
    // however it ends; its entries' names go with it, but for a failure that leaves it, which
    // names the entry it was raised in until it is reported.
    class NestedScope {
      public:
        NestedScope(Walker& walker, DecodeBudget& budget)
            : walker_(walker),
              outer_(walker.budget_),
              depth_(walker.names_.size()),
              raised_(std::uncaught_exceptions()) {
            walker_.budget_ = &budget;
        }
        NestedScope(const NestedScope&) = delete;
        NestedScope& operator=(const NestedScope&) = delete;
        ~NestedScope() {
            walker_.budget_ = outer_;
            if (std::uncaught_exceptions() == raised_) {
                walker_.names_.resize(depth_);
            }
        }

      private:
        Walker& walker_;
        DecodeBudget* outer_;
        std::size_t depth_;
        int raised_;
    };

    // Walks one container at `level` (1 for the outermost). `path` is the file when the container
    // is one, so that libarchive can seek in it. False when it turned out to be no archive.
    bool Walk(ByteStream& in, ContainerKind kind, int level, const std::string* path) {
        if (path == nullptr && kind == ContainerKind::Archive) {
            PeekedStream peeked(in, kZipHeadBytes);
            if (StartsZipEntry(peeked.Head().data(), peeked.Head().size())) {
                return WalkZipStream(peeked, level);
            }
            return WalkRest(peeked, kind, level, nullptr, ZipReading::LeftToOthers, "");
        }
        std::string unopened;
        const ZipReading reading = path != nullptr && kind == ContainerKind::Archive
                                       ? WalkZipFile(*path, level, unopened)
                                       : ZipReading::LeftToOthers;
        return WalkRest(in, kind, level, path, reading, unopened);
    }

    // A zip that is not a file of its own is read as one on disk is, through its central
    // directory, from memory or, when larger than kMaxHeldZipBytes, from a temporary copy:
    // libarchive's reading of one as a stream cuts a name at a NUL, and knows nothing of the
    // entries the directory holds but their own headers do not. Without a temporary file, a large
    // one is read as a stream all the same.
    bool WalkZipStream(ByteStream& in, int level) {
        std::vector<std::uint8_t> held;
        for (std::size_t got = 1; got > 0 && held.size() <= kMaxHeldZipBytes;) {
            const std::size_t at = held.size();
            held.resize(std::min(std::max(2 * at, kZipBlockBytes), kMaxHeldZipBytes + 1));
            got = in.Read(held.data() + at, held.size() - at);
            held.resize(at + got);
        }
        MemoryStream heldStream(held.data(), held.size());
        std::string unopened;
        if (held.size() <= kMaxHeldZipBytes) {
            const ZipReading reading =
                WalkZip(level, [&](const ZipEntryVisitor& visit, std::string& disagreement) {
                    return ReadHeldZip(held.data(), held.size(), visit, unopened, disagreement);
                });
            return WalkRest(heldStream, ContainerKind::Archive, level, nullptr, reading, unopened);
        }
        std::optional<TemporaryFile> spooled;
        try {
            spooled.emplace();
        } catch (const EInOutError&) {
            ChainedStream rest(heldStream, in);
            return WalkRest(rest, ContainerKind::Archive, level, nullptr, ZipReading::LeftToOthers,
                            "");
        }
        spooled->WriteAllOf(heldStream);
        held = {};
        spooled->WriteAllOf(in);
        FileStream copy(spooled->Path());
        return Walk(copy, ContainerKind::Archive, level, &spooled->Path());
    }

    // Walks what reading the container as a zip through libzip (`reading`) left to be done.
    bool WalkRest(ByteStream& in, ContainerKind kind, int level, const std::string* path,
                  ZipReading reading, const std::string& unopened) {
        if (reading == ZipReading::Read) {
            return true;
        }
        if (reading == ZipReading::DirectoryTooLarge) {
            // Entry after entry, in no more memory for a million entries than for one.
            return WalkArchive(in, kind, level, nullptr);
        }
        if (!unopened.empty()) {
            // Its entries can still be read one after another, but the zip is damaged all the
            // same, which its rows say, also when they end early.
            const Error damaged =
                ContainerError("the zip's central directory cannot be read (" + unopened +
                               "): its entries were read from their own "
                               "headers");
            bool read = false;
            try {
                read = WalkArchive(in, kind, level, path);
            } catch (const Error& error) {
                if (error.Subject() == ErrorSubject::Container) {
                    visitor_.Failure(names_, damaged);
                }
                throw;
            }
            visitor_.Failure(names_, damaged);
            return read;
        }
        if (kind == ContainerKind::Warc) {
            WalkWarc(in, level);
            return true;
        }
        return WalkArchive(in, kind, level, path);
    }

    void WalkWarc(ByteStream& in, int level) {
        const std::size_t depth = names_.size();
        ReadWarcRecords(
            in,
            [&](const std::string& name, const WarcRecordInfo& record, ByteStream& payload) {
                // The entries of a container the record carries lie in it too.
                const WarcRecordInfo* const around = std::exchange(record_, &record);
                try {
                    Entry(name, payload, level, EntryOrigin::WarcRecord, {std::nullopt, record});
                } catch (...) {
                    record_ = around;
                    throw;
                }
                record_ = around;
                return !visitor_.Stopped();
            },
            [&](const std::string& name, const std::string& message) {
                // The record's own name is given, whatever was being read when it broke.
                names_.resize(depth);
                NamedFailure(name, ContainerError(message));
            },
            budget_, others_,
            [&](const std::string& name) {
                NamePush pushed(names_, name);
                visitor_.Listed(names_, EntryOrigin::WarcRecord);
            },
            [&](const std::string& name, const WarcRecordInfo& record) {
                names_.resize(depth);
                NamePush pushed(names_, name);
                visitor_.RecordEnded(names_, {std::nullopt, record});
                return !visitor_.Stopped();
            });
    }

    // Where an entry of an archive came from: its time, and the WARC record it lies in, if any.
    EntryProvenance ArchiveProvenance(std::optional<StoredTime> modified) const {
        return {modified,
                record_ != nullptr ? std::optional<WarcRecordInfo>(*record_) : std::nullopt};
    }

    void NamedFailure(const std::string& name, const Error& error) {
        const std::size_t depth = names_.size();
        if (!name.empty()) {
            names_.push_back(name);
        }
        visitor_.Failure(names_, error);
        names_.resize(depth);
    }

    void Entry(const std::string& name, ByteStream& bytes, int level, EntryOrigin origin,
               const EntryProvenance& provenance) {
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
            visitor_.Movie(names_, provenance, peeked);
        } else if (kind != ContainerKind::None && level >= kMaxContainerLevels) {
            visitor_.Failure(names_, ContainerError(NestedTooDeepText()));
        } else if (kind != ContainerKind::None) {
            WalkNested(peeked, kind, level + 1);
        } else if (HasMovieSuffix(name)) {
            visitor_.Movie(names_, provenance, peeked);
        } else {
            ++others_;
        }
    }

    // A zip file that libzip reads, unless it does not start with an entry: libzip finds a zip by
    // its end, and one with other bytes before its entries is left to libarchive, which looks for
    // what comes before them.
    ZipReading WalkZipFile(const std::string& path, int level, std::string& unopened) {
        std::vector<std::uint8_t> zipHead(kZipHeadBytes);
        {
            FileStream file(path);
            zipHead.resize(ReadFully(file, zipHead.data(), zipHead.size()));
        }
        if (!StartsZipEntry(zipHead.data(), zipHead.size())) {
            return ZipReading::LeftToOthers;
        }
        return WalkZip(level, [&](const ZipEntryVisitor& visit, std::string& disagreement) {
            return ReadZipFile(path, visit, unopened, disagreement);
        });
    }

    // A zip that libzip reads, through `read`: a movie entry held as stored goes to the visitor to
    // be read where it likes; any other entry is looked at here, as an entry of any archive is.
    template <typename Read>
    ZipReading WalkZip(int level, Read read) {
        std::string disagreement;
        const ZipReading reading = read(
            [&](const std::string& name, std::unique_ptr<ByteStream> bytes,
                std::optional<std::uint64_t> heldBytes, std::uint64_t size,
                std::optional<StoredTime> modified) {
                const EntryProvenance provenance = ArchiveProvenance(modified);
                // A listing for names only need not look into an entry that cannot hold others.
                if (heldBytes && !(namesOnly_ && !HasContainerSuffix(name))) {
                    auto peeked = std::make_unique<OwnedPeek>(std::move(bytes));
                    if (StartsMovie(peeked->Head().data(), peeked->Head().size())) {
                        NamePush pushed(names_, name);
                        visitor_.Listed(names_, EntryOrigin::ArchiveFile);
                        if (!namesOnly_) {
                            // Read on another thread, perhaps after this walk and its budget:
                            // charged here, in the walk's order, with all its stream can decode, so
                            // that every --jobs stops at the same entry, as the walk of a zip as a
                            // stream does.
                            budget_->Charge(size);
                            visitor_.OwnedMovie(names_, provenance, std::move(peeked), *heldBytes);
                        }
                        return !visitor_.Stopped();
                    }
                    bytes = std::move(peeked);
                }
                ChargedStream charged(*bytes, budget_);
                Entry(name, charged, level, EntryOrigin::ArchiveFile, provenance);
                return !visitor_.Stopped();
            },
            disagreement);
        if (reading == ZipReading::Read && !disagreement.empty()) {
            visitor_.Failure(names_, ContainerError(disagreement));
        }
        return reading;
    }

    void WalkNested(ByteStream& bytes, ContainerKind kind, int level) {
        DecodeBudget budget(budget_);
        // The nested container's size is what has been read of it so far.
        MeasuredStream measured(bytes, budget);
        WatchedStream watched(measured);
        NestedScope scope(*this, budget);
        try {
            if (!Walk(watched, kind, level, nullptr)) {
                ++others_;
            }
        } catch (const BudgetError& error) {
            if (error.Budget() != &budget) {
                throw;
            }
            visitor_.Failure(names_, error);
        } catch (const Error& error) {
            // The container around it breaking under it ends that one's walk, not only this one's.
            const bool own = IsEntryError(error) ||
                             (error.Subject() == ErrorSubject::Container && !watched.Failed());
            if (!own) {
                throw;
            }
            visitor_.Failure(names_, error);
        }
    }

    // False when the bytes decompress to something else than an archive.
    bool WalkArchive(ByteStream& in, ContainerKind kind, int level, const std::string* path) {
        ArchiveReader archive(in, kind, level, path, *budget_);
        // Damaged blocks one after another are one damage, told once.
        bool damaged = false;
        for (;;) {
            const ArchiveReader::Step step = archive.Next();
            if (step == ArchiveReader::Step::End) {
                return true;
            }
            if (step == ArchiveReader::Step::NotAnArchive) {
                return false;
            }
            if (step == ArchiveReader::Step::DamagedHeader) {
                if (!std::exchange(damaged, true)) {
                    visitor_.Failure(names_, ContainerError(archive.Damage()));
                }
                continue;
            }
            damaged = false;
            const std::string name = archive.SingleMovie() && archive.Name().empty()
                                         ? SingleMovieName()
                                         : archive.Name();
            if (step == ArchiveReader::Step::DamagedEntry) {
                DamagedEntry(name, archive.Damage(), ArchiveProvenance(archive.Modified()));
            } else if (const std::string link = archive.Link(); !link.empty()) {
                // A link named as a movie is said to be one, as a zip or 7z of the same folder
                // would hold the movie itself.
                DamagedEntry(name, link, ArchiveProvenance(archive.Modified()));
            } else if (archive.Regular()) {
                {
                    NamePush pushed(names_, name);
                    archive.ChargeStart();
                }
                Entry(name, archive.Data(), level, EntryOrigin::ArchiveFile,
                      ArchiveProvenance(archive.Modified()));
                NamePush pushed(names_, name);
                archive.Finish();
            }
            if (visitor_.Stopped()) {
                return true;
            }
        }
    }

    // A movie compressed whole without a name of its own is named as the entry that holds it
    // is, without the compression's suffix; outermost, where standard input has no name, by
    // nothing, so that a file and its bytes piped in give the same rows.
    std::string SingleMovieName() const {
        if (names_.empty()) {
            return "";
        }
        std::string name = names_.back().substr(names_.back().find_last_of('/') + 1);
        for (const std::string_view suffix : {".gz", ".xz", ".bz2", ".zst"}) {
            if (name.size() > suffix.size() &&
                AsciiLowered(name.substr(name.size() - suffix.size())) == suffix) {
                return name.substr(0, name.size() - suffix.size());
            }
        }
        return name;
    }

    // An entry whose header is damaged, in an archive that goes on after it.
    void DamagedEntry(const std::string& name, const std::string& damage,
                      const EntryProvenance& provenance) {
        if (!HasMovieSuffix(name)) {
            ++others_;
            return;
        }
        NamePush pushed(names_, name);
        visitor_.Listed(names_, EntryOrigin::ArchiveFile);
        if (!namesOnly_) {
            FailedStream failed(damage);
            visitor_.Movie(names_, provenance, failed);
        }
    }

    ContainerVisitor& visitor_;
    const bool namesOnly_;
    std::vector<std::string> names_;
    std::int64_t others_ = 0;
    DecodeBudget* budget_ = nullptr;
    const WarcRecordInfo* record_ = nullptr;  // the WARC record being read, innermost
};

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

std::string NestedTooDeepText() {
    return "nested deeper than " + std::to_string(kMaxContainerLevels) + " containers";
}

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

}  // namespace velpin
