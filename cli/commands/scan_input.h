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

#include "cli/archive/container_walk.h"
#include "cli/archive/held_entry.h"
#include "cli/deps/container_names.h"
#include "cli/hash/digests.h"
#include "cli/scan/scan_walk.h"

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
    std::optional<std::string> failure;  // why the entry or container is unreadable
    // The failure is the input's, not its content's: it could not be opened or read at all.
    bool unreadable = false;
    EntryOrigin origin = EntryOrigin::ArchiveFile;  // what the entry is to its container
    std::shared_ptr<const ContainerNames> names;    // with --deps, for a container's entries
};

struct ScanInputOptions {
    bool inflate = false;
    bool deps = false;  // every container is read once for its names before its entries
    std::vector<HashAlgorithm> hashes;
};

struct ScanInputCounts {
    std::int64_t containers = 0;
    std::int64_t otherEntries = 0;
};

// Holds what a load of the movie in `in` can use, with `hashes` over every byte: the one way a
// loose file and a container's entry are read for a scan.
HeldMovie HoldMovie(ByteStream& in, bool inflate, const std::vector<HashAlgorithm>& hashes);

// Reads the task's unread entry, if it has one, into `held` or `failure`.
void ReadUnreadEntry(ScanTask& task, const ScanInputOptions& options);

// Hands every row's task to `push`, in order: the paths in the order given, and the entries of a
// container in the container's order. Standard input is read as one movie or one container; a
// 7z, which must be read by seeking, is first copied to a temporary file. Runs on one thread;
// `push` may wait, and what it raises ends the run.
ScanInputCounts ProduceScanTasks(const std::vector<ScanPath>& paths,
                                 const ScanInputOptions& options,
                                 const std::function<void(ScanTask)>& push);
