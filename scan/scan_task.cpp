#include "scan/scan_task.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "archive/container_walk.h"
#include "archive/temporary_file.h"
#include "base/error.h"
#include "input/movie_input.h"
#include "swfff/errors.h"
#include "swfff/fileio.h"

namespace velpin {

HeldMovie HoldMovie(ByteStream& in, bool inflate, std::int64_t maxSize,
                    const std::vector<HashAlgorithm>& hashes) {
    // Made only for an entry that does not fit: most entries are digested by the worker that
    // loads them, off the reading thread.
    std::optional<Digester> digester;
    EntryDigest digest;
    if (!hashes.empty()) {
        digest = [&digester, &hashes](const std::uint8_t* bytes, std::size_t count) {
            if (!digester) {
                digester.emplace(hashes);
            }
            digester->Update(bytes, count);
        };
    }
    HeldMovie held;
    static_cast<HeldEntry&>(held) = HoldEntry(
        in,
        [inflate, maxSize](const std::uint8_t* start, std::size_t count) {
            return MovieHoldLimit(start, count, inflate, maxSize);
        },
        digest);
    if (digester) {
        held.hashes = digester->Finish();
    }
    return held;
}

void ReadUnreadEntry(ScanTask& task, const ScanInputOptions& options) {
    if (!task.unread) {
        return;
    }
    try {
        task.held = HoldMovie(*task.unread, options.inflate, options.maxSize, options.hashes);
    } catch (const Error& error) {
        if (!IsEntryError(error)) {
            throw;
        }
        task.failure = error;
    }
    task.unread.reset();
}

namespace {

// Hands each movie entry on as soon as it has been read, so that the entries of one container are
// loaded in parallel while the next ones are read.
class EntryProducer : public ContainerVisitor {
  public:
    EntryProducer(const ScanInputOptions& options, const TaskSink& push, const ScanTask& base)
        : options_(options), push_(push), base_(base) {}

    void Listed(const std::vector<std::string>&, EntryOrigin origin) override { origin_ = origin; }

    void Movie(const std::vector<std::string>& entry, const EntryProvenance& provenance,
               ByteStream& bytes) override {
        ScanTask task = base_;
        task.entry = entry;
        task.origin = origin_;
        task.provenance = provenance;
        try {
            task.held = HoldMovie(bytes, options_.inflate, options_.maxSize, options_.hashes);
        } catch (const Error& error) {
            if (!IsEntryError(error)) {
                throw;
            }
            task.failure = error;
        }
        // A WARC record's row says where the record lies, which is known once it has been read
        // through: its row waits for that, holding no more than its movie.
        if (task.provenance.warc && task.origin == EntryOrigin::WarcRecord) {
            Finish();
            waiting_.emplace(std::move(task));
            return;
        }
        Push(std::move(task));
    }

    void RecordEnded(const std::vector<std::string>& entry,
                     const EntryProvenance& provenance) override {
        if (waiting_ && waiting_->entry == entry) {
            waiting_->provenance.warc = provenance.warc;
            Finish();
        }
    }

    // Left for the loading threads to read: for a zip entry that is inflating it, which a
    // container's one reader could not keep up with.
    void OwnedMovie(const std::vector<std::string>& entry, const EntryProvenance& provenance,
                    std::unique_ptr<ByteStream> bytes, std::uint64_t heldBytes) override {
        ScanTask task = base_;
        task.entry = entry;
        task.origin = origin_;
        task.provenance = provenance;
        task.unread = std::move(bytes);
        task.unreadBytes = heldBytes;
        Push(std::move(task));
    }

    void Failure(const std::vector<std::string>& entry, const Error& error) override {
        ScanTask task = base_;
        // A failure of the outermost container is about the file itself, as a loose file's is.
        if (!entry.empty()) {
            task.entry = entry;
        }
        task.failure = error;
        // The time is the container file's only where the row is of the file itself.
        if (!entry.empty()) {
            task.provenance = {};
        }
        Push(std::move(task));
    }

    // Whether the scan stopped taking tasks: the walk stops too.
    bool Stopped() const override { return stopped_; }

    // Hands on the row still waiting for its record's end, as far as it is known.
    void Finish() {
        if (waiting_) {
            ScanTask task = std::move(*waiting_);
            waiting_.reset();
            PushNow(std::move(task));
        }
    }

  private:
    // Every task after the one waiting, in the container's order.
    void Push(ScanTask task) {
        Finish();
        PushNow(std::move(task));
    }
    void PushNow(ScanTask task) {
        if (!stopped_) {
            stopped_ = !push_(std::move(task));
        }
    }

    const ScanInputOptions& options_;
    const TaskSink& push_;
    const ScanTask& base_;
    EntryOrigin origin_ = EntryOrigin::ArchiveFile;
    std::optional<ScanTask> waiting_;
    bool stopped_ = false;
};

// Takes the names of a container.
class NameCollector : public ContainerVisitor {
  public:
    explicit NameCollector(ContainerNames& names) : names_(names) {}
    void Listed(const std::vector<std::string>& entry, EntryOrigin origin) override {
        names_.Add(entry, origin);
    }
    void Movie(const std::vector<std::string>&, const EntryProvenance&, ByteStream&) override {
    }  // never called
    void Failure(const std::vector<std::string>&, const Error&) override {}

  private:
    ContainerNames& names_;
};

std::shared_ptr<const ContainerNames> CollectNames(const std::string& path) {
    auto names = std::make_shared<ContainerNames>();
    NameCollector collector(*names);
    try {
        ListContainerFile(path, collector);
    } catch (const std::exception&) {
        // The walk of the entries that follows meets the same fault and reports it.
    }
    names->Seal();
    return names;
}

// Standard input, read as it comes; a failed read is the input's failure, as a file's is.
class StandardInputStream : public ByteStream {
  public:
    explicit StandardInputStream(std::string name) : name_(std::move(name)) {}
    std::size_t Read(std::uint8_t* buffer, std::size_t count) override {
        for (;;) {
            const ssize_t got = read(STDIN_FILENO, buffer, count);
            if (got >= 0) {
                return static_cast<std::size_t>(got);
            }
            if (errno != EINTR) {
                RaiseIoError(errno, name_, IoOp::Read);
            }
        }
    }

  private:
    std::string name_;
};

// A Windows executable, which may be a self-extracting zip: only its end can tell.
bool StartsExecutable(const std::vector<std::uint8_t>& head) {
    return head.size() >= 2 && head[0] == 'M' && head[1] == 'Z';
}

// Whether the file the user named at `path` tells nothing of its length by its size, as a pipe, a
// FIFO, a device or a file of /proc does: it is then read once, as it comes.
bool IsStreamedFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode) && info.st_size == 0;
}

// Standard input, or a file read as it comes, as one movie, or as one container walked as it
// streams in. Returns whether the scan goes on.
bool ProduceStream(ScanTask task, const ScanInputOptions& options, const TaskSink& push,
                   ScanInputCounts& counts, bool standardInput) {
    task.provenance.modified =
        standardInput ? DescriptorModified(STDIN_FILENO) : FileModified(*task.path);
    EntryProducer producer(options, push, task);
    bool container = false;
    try {
        std::unique_ptr<ByteStream> in;
        if (standardInput) {
            in = std::make_unique<StandardInputStream>(*task.path);
        } else {
            in = std::make_unique<FileStream>(*task.path);
        }
        PeekedStream peeked(*in, kRecogniseBytes);
        const std::vector<std::uint8_t>& head = peeked.Head();
        const bool movie = StartsMovie(head.data(), head.size());
        container = !movie && RecogniseContainer(head.data(), head.size()) != ContainerKind::None;
        // A 7z is read where it can seek, and a zip through its central directory as it is by
        // path, which a self-extracting one needs to be found at all: they are read from a copy.
        // So is any container with --deps, which reads it twice, for its names and its movies.
        std::optional<TemporaryFile> spooled;
        if (!movie && ((container && options.deps) || StartsSevenZip(head.data(), head.size()) ||
                       StartsZipEntry(head.data(), head.size()) || StartsExecutable(head))) {
            spooled.emplace();
            spooled->WriteAllOf(peeked);
            container = RecogniseContainerFile(spooled->Path()) != ContainerKind::None;
        }
        if (!container) {
            if (spooled) {
                FileStream copy(spooled->Path());
                task.held = HoldMovie(copy, options.inflate, options.maxSize, options.hashes);
            } else {
                task.held = HoldMovie(peeked, options.inflate, options.maxSize, options.hashes);
            }
        } else {
            ++counts.containers;
            if (spooled) {
                if (options.deps) {
                    task.names = CollectNames(spooled->Path());
                }
                counts.otherEntries += WalkContainerFile(spooled->Path(), producer);
            } else {
                // Its size is known only once it has been read: the budget grows as it is.
                counts.otherEntries += WalkContainerStream(peeked, producer, std::nullopt);
            }
        }
    } catch (...) {
        task.failure = CurrentError();
    }
    if (!container) {
        return push(std::move(task));
    }
    if (task.failure) {
        producer.Failure({}, *task.failure);
    }
    producer.Finish();
    return !producer.Stopped();
}

}  // namespace

ScanInputCounts ProduceScanTasks(const std::vector<ScanPath>& paths,
                                 const ScanInputOptions& options, const TaskSink& push) {
    ScanInputCounts counts;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        ScanTask task;
        task.pathIndex = i;
        task.path = &paths[i].path;
        if (paths[i].unlisted) {
            // Its row stands for what it held, as an unreadable file's does.
            task.failure = Error(ErrorClass::Unreadable, ErrorSubject::Input,
                                 "cannot read the folder: " + *paths[i].unlisted);
            if (!push(std::move(task))) {
                break;
            }
            continue;
        }
        if (paths[i].standardInput || (paths[i].named && IsStreamedFile(paths[i].path))) {
            if (!ProduceStream(std::move(task), options, push, counts, paths[i].standardInput)) {
                break;
            }
            continue;
        }
        const bool container = paths[i].named
                                   ? RecogniseContainerFile(paths[i].path) != ContainerKind::None
                                   : HasContainerSuffix(paths[i].path);
        if (!container) {
            task.provenance.modified = FileModified(paths[i].path);
            if (!push(std::move(task))) {
                break;
            }
            continue;
        }
        ++counts.containers;
        task.provenance.modified = FileModified(paths[i].path);
        if (options.deps) {
            task.names = CollectNames(paths[i].path);
        }
        EntryProducer producer(options, push, task);
        try {
            counts.otherEntries += WalkContainerFile(paths[i].path, producer);
        } catch (...) {
            producer.Failure({}, CurrentError());
        }
        producer.Finish();
        if (producer.Stopped()) {
            break;
        }
    }
    return counts;
}

}  // namespace velpin
