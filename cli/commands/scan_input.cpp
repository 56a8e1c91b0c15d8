#include "cli/commands/scan_input.h"

#include <algorithm>

#include "Unit1/presentation/ErrorBoxText.h"
#include "cli/archive/container_walk.h"
#include "cli/commands/movie_input.h"
#include "swfff/fileio.h"

HeldMovie HoldMovie(ByteStream& in, bool inflate, const std::vector<HashAlgorithm>& hashes) {
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
        [inflate](const std::uint8_t* start, std::size_t count) {
            return MovieHoldLimit(start, count, inflate);
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
        task.held = HoldMovie(*task.unread, options.inflate, options.hashes);
    } catch (const EEntryError& error) {
        task.failure = error.what();
    }
    task.unread.reset();
}

namespace {

// Hands each movie entry on as soon as it has been read, so that the entries of one container are
// loaded in parallel while the next ones are read.
class EntryProducer : public ContainerVisitor {
  public:
    EntryProducer(const ScanInputOptions& options, const std::function<void(ScanTask)>& push,
                  const ScanTask& base)
        : options_(options), push_(push), base_(base) {}

    void Listed(const std::vector<std::string>&, EntryOrigin origin) override { origin_ = origin; }

    void Movie(const std::vector<std::string>& entry, ByteStream& bytes) override {
        ScanTask task = base_;
        task.entry = entry;
        task.origin = origin_;
        try {
            task.held = HoldMovie(bytes, options_.inflate, options_.hashes);
        } catch (const EEntryError& error) {
            task.failure = error.what();
        }
        push_(std::move(task));
    }

    // Left for the loading threads to read: for a zip entry that is inflating it, which a
    // container's one reader could not keep up with.
    void OwnedMovie(const std::vector<std::string>& entry, std::unique_ptr<ByteStream> bytes,
                    std::uint64_t heldBytes) override {
        ScanTask task = base_;
        task.entry = entry;
        task.origin = origin_;
        task.unread = std::move(bytes);
        task.unreadBytes = heldBytes;
        push_(std::move(task));
    }

    void Failure(const std::vector<std::string>& entry, const std::string& message) override {
        ScanTask task = base_;
        task.entry = entry;
        task.failure = message;
        push_(std::move(task));
    }

  private:
    const ScanInputOptions& options_;
    const std::function<void(ScanTask)>& push_;
    const ScanTask& base_;
    EntryOrigin origin_ = EntryOrigin::ArchiveFile;
};

// Takes the names of a container.
class NameCollector : public ContainerVisitor {
  public:
    explicit NameCollector(ContainerNames& names) : names_(names) {}
    void Listed(const std::vector<std::string>& entry, EntryOrigin origin) override {
        names_.Add(entry, origin);
    }
    void Movie(const std::vector<std::string>&, ByteStream&) override {}  // never called
    void Failure(const std::vector<std::string>&, const std::string&) override {}

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

// Whether a file named by the user holds a container: by its first bytes, whatever its name.
// Only as much as the file's size promises is read, so a FIFO or a device is never waited on; a
// file that cannot be read is left to the movie load, which reports it as for any movie.
bool HoldsContainer(const std::string& path) {
    try {
        InputFile file;
        file.Open(path);
        std::vector<std::uint8_t> head(kRecogniseBytes);
        const std::int64_t got =
            file.Read(head.data(),
                      std::min<std::int64_t>(file.Size(), static_cast<std::int64_t>(head.size())));
        head.resize(got < 0 ? 0 : static_cast<std::size_t>(got));
        return !StartsMovie(head.data(), head.size()) &&
               RecogniseContainer(head.data(), head.size()) != ContainerKind::None;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace

ScanInputCounts ProduceScanTasks(const std::vector<ScanPath>& paths,
                                 const ScanInputOptions& options,
                                 const std::function<void(ScanTask)>& push) {
    ScanInputCounts counts;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        ScanTask task;
        task.pathIndex = i;
        task.path = &paths[i].path;
        const bool container =
            paths[i].named ? HoldsContainer(paths[i].path) : HasContainerSuffix(paths[i].path);
        if (!container) {
            push(std::move(task));
            continue;
        }
        ++counts.containers;
        if (options.deps) {
            task.names = CollectNames(paths[i].path);
        }
        EntryProducer producer(options, push, task);
        try {
            counts.otherEntries += WalkContainerFile(paths[i].path, producer);
        } catch (const std::exception&) {
            producer.Failure({}, DescribeCurrentException());
        }
    }
    return counts;
}
