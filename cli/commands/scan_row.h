// One row of `velpin-cli scan`: what it says about one file or entry, and the JSON line it is
// written as. The scan itself only moves tasks and lines between its threads.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/commands/commands.h"
#include "cli/commands/movie_input.h"
#include "cli/commands/scan_input.h"
#include "cli/deps/dependencies.h"
#include "cli/hash/digests.h"
#include "cli/info/movie_info.h"
#include "cli/json/json_writer.h"
#include "cli/scan/movie_statistics.h"

struct ScanRow {
    std::string path;
    std::optional<std::vector<std::string>> entry;    // a container's entry: its names
    std::vector<std::int64_t> embedded;               // the items it lies in, outermost first
    std::optional<std::optional<HashValues>> hashes;  // with --hash; none inside if unreadable
    InputHead head;
    std::optional<std::int32_t> result;  // none when the load raised `error`
    std::string error;
    bool lenient = false;
    std::optional<MovieFaults> faults;     // with --lenient, for a movie read as far as it goes
    std::optional<MovieStatistics> movie;  // only for a loaded movie, or one read leniently
    std::optional<MovieInfo> info;         // with --info; its strings point into FileBytes
    std::optional<std::optional<Dependencies>> dependencies;  // with --deps; none if not loaded
};

void WriteScanRow(JsonWriter& json, const ScanRow& row);

// The rows of one file or entry as the writer takes them: its own, and with --nested those of the
// movies inside it; the lines, newlines included, and what the summary counts.
struct ScanLine {
    std::string text;
    std::int64_t rows = 0;
    std::int64_t loaded = 0;
    bool unreadable = false;  // the input could not be read at all: worth scanning again
    std::int64_t bytes = 0;   // the file's or entry's
};

// Loads the task's movie (a file, or an entry's held bytes) on the calling thread and describes
// it; a movie that fails is described too, and so is a container or entry that could not be
// read. The row is written before the document goes, since its info points into FileBytes. With
// --nested, the movies inside it follow, each loaded once the one around it is gone.
ScanLine ScanMovie(const ScanTask& task, const ScanOptions& options);
