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

namespace {

// Hands each movie entry on as soon as it has been read, so that the entries of one container are
// loaded in parallel while the next ones are read.
class EntryProducer : public ContainerVisitor {
  public:
    EntryProducer(const ScanInputOptions& options, const std::function<void(ScanTask)>& push,
                  const ScanTask& base)
        : options_(options), push_(push), base_(base) {}

    void Movie(const std::vector<std::string>& entry, ByteStream& bytes) override {
        ScanTask task = base_;
        task.entry = entry;
        try {
            task.held = HoldMovie(bytes, options_.inflate, options_.hashes);
        } catch (const EEntryError& error) {
            task.failure = error.what();
        }
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
};

}  // namespace

ScanInputCounts ProduceScanTasks(const std::vector<ScanPath>& paths,
                                 const ScanInputOptions& options,
                                 const std::function<void(ScanTask)>& push) {
    ScanInputCounts counts;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        ScanTask task;
        task.pathIndex = i;
        task.path = &paths[i].path;
        const bool container = paths[i].named
                                   ? RecogniseContainerFile(paths[i].path) != ContainerKind::None
                                   : HasContainerSuffix(paths[i].path);
        if (!container) {
            push(std::move(task));
            continue;
        }
        ++counts.containers;
        EntryProducer producer(options, push, task);
        try {
            counts.otherEntries += WalkContainerFile(paths[i].path, producer);
        } catch (const std::exception&) {
            producer.Failure({}, DescribeCurrentException());
        }
    }
    return counts;
}
