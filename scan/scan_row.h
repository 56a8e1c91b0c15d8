// One row of a scan: what it says about one file or entry, as plain data; and the scan of one
// task, which loads its movie and hands each row to a writer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <functional>

#include "analysis/dependencies.h"
#include "analysis/movie_info.h"
#include "analysis/movie_statistics.h"
#include "codec/digests.h"
#include "export/collection_export.h"
#include "input/movie_input.h"
#include "scan/scan_options.h"
#include "scan/scan_task.h"

namespace velpin {

struct ScanRow {
    std::string path;
    std::optional<std::vector<std::string>> entry;  // a container's entry: its names
    std::vector<std::int64_t> embedded;             // the items it lies in, outermost first
    EntryProvenance provenance;  // an embedded movie's is the one of the movie around it
    std::optional<std::optional<HashValues>> hashes;  // with --hash; none inside if unreadable
    InputHead head;
    std::optional<std::int32_t> result;      // none when the load raised `error`
    std::int64_t maxSize = kDefaultMaxSize;  // the limit the load ran under
    std::string error;
    bool lenient = false;
    std::optional<MovieFaults> faults;     // with --lenient, for a movie read as far as it goes
    std::optional<MovieStatistics> movie;  // only for a loaded movie, or one read leniently
    std::optional<MovieInfo> info;         // with --info; its strings point into FileBytes
    std::optional<std::optional<Dependencies>> dependencies;  // with --deps; none if not loaded
    // With --export: where the movie's assets went, none if not loaded; `exportError` says why
    // they could not be written.
    std::optional<std::optional<MovieExport>> exported;
    std::string exportError;
};

// Writes a row, a line of its own, at the end of `out`. It is called while the row's movie is
// loaded, since its info points into FileBytes.
using RowWriter = std::function<void(const ScanRow& row, std::string& out)>;

// The rows of one file or entry as the writer takes them: its own, and with --nested those of the
// movies inside it; the lines, newlines included, and what the summary counts.
struct ScanLine {
    std::string text;
    std::int64_t rows = 0;
    std::int64_t loaded = 0;
    bool unreadable = false;  // the input could not be read at all: worth scanning again
    std::int64_t bytes = 0;   // the file's or entry's
};

// Takes rows of a file or entry that are ready before the last of them, in order, so that
// --nested hands on the rows of many movies inside one as they come; false when the scan stops
// and wants no more.
using RowParts = std::function<bool(ScanLine part)>;

// Loads the task's movie (a file, or an entry's held bytes) on the calling thread and describes
// it; a movie that fails is described too, and so is a container or entry that could not be
// read. Each row goes through `write` before the document goes. With --nested, the movies inside
// it follow, each loaded once the one around it is gone, to kMaxContainerLevels (a movie one level
// deeper gets a row that says so, unloaded); they are handed on to `handOn` in parts once they
// pass a part's size, and the rest returned. What they inflate to, and a row's work for each,
// counts against a budget of the movie's own, as decoding does against a container's (see
// DecodeBudget): the movie where it runs out gets a row that says so, and none follow.
ScanLine ScanMovie(const ScanTask& task, const ScanOptions& options, const RowWriter& write,
                   const RowParts& handOn);

}  // namespace velpin
