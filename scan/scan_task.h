// What scan reads, in the order its rows come: the paths given (on the command line or in lists),
// the files a folder walk finds, and inside each container its movie entries, read one after
// another and held as far as a load can use them, so that loading them can go on in parallel.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "analysis/container_names.h"
#include "archive/container_walk.h"
#include "base/error.h"
#include "codec/digests.h"
#include "input/held_entry.h"
#include "input/movie_input.h"
#include "scan/scan_paths.h"

namespace velpin {

// A movie's held bytes, and its digests when it did not fit and so was digested while it was
// read; a movie that fit is digested from `bytes` by whoever takes it on.
struct HeldMovie : HeldEntry {
    std::optional<HashValues> hashes;
};

// One row's work: a loose movie file, a movie entry of a container, or a container that could not
// be read (`failure`).
struct ScanTask {
    std::size_t pathIndex = 0;
    const std::string* path = nullptr;
    std::optional<std::vector<std::string>> entry;  // a container's entry: its names
    std::optional<HeldMovie> held;                  // the entry's bytes, when they could be read
    // An entry still to be read, by the thread that loads it, and the memory it holds till then.
    std::shared_ptr<ByteStream> unread;
    std::uint64_t unreadBytes = 0;
    // Why the entry or container cannot be read: its content, or the input could not be read at
    // all (an unreadable Error).
    std::optional<Error> failure;
    EntryOrigin origin = EntryOrigin::ArchiveFile;  // what the entry is to its container
    // The file's, or the entry's as its container stores it; for a container that could not be
    // read, the file's.
    EntryProvenance provenance;
    std::shared_ptr<const ContainerNames> names;  // with --deps, for a container's entries
};

struct ScanInputOptions {
    bool inflate = false;
    std::int64_t maxSize = kDefaultMaxSize;  // each entry is held as far as a load of it can use
    bool deps = false;  // every container is read once for its names before its entries
    std::vector<HashAlgorithm> hashes;
};

struct ScanInputCounts {
    std::int64_t containers = 0;
    std::int64_t otherEntries = 0;
};

// Holds what a load of the movie in `in` can use, with `hashes` over every byte: the one way a
// loose file and a container's entry are read for a scan.
HeldMovie HoldMovie(ByteStream& in, bool inflate, std::int64_t maxSize,
                    const std::vector<HashAlgorithm>& hashes);

// Reads the task's unread entry, if it has one, into `held` or `failure`.
void ReadUnreadEntry(ScanTask& task, const ScanInputOptions& options);

// Takes a task, and says whether the scan goes on: false stops it after the task in hand.
using TaskSink = std::function<bool(ScanTask)>;

// Hands every row's task to `push`, in order: the paths in the order given, and the entries of a
// container in the container's order. Standard input, and a file named whose size is 0 (a pipe,
// a FIFO, a device, a file of /proc), is read once, as it comes, as one movie or one container; a
// 7z, which must be read by seeking, is first copied to a temporary file. Runs on one thread;
// `push` may wait, and what it raises ends the run.
ScanInputCounts ProduceScanTasks(const std::vector<ScanPath>& paths,
                                 const ScanInputOptions& options, const TaskSink& push);

}  // namespace velpin
