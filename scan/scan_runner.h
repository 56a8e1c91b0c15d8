// A whole scan: the paths given (on the command line, in lists, folders walked, standard input),
// read in order, their movies loaded on one thread or several, and their rows handed on in order.
// With more than one job, one thread reads the paths and the containers' entries, several threads
// load the movies at once, each into a document of its own (FileBytes is per thread), and the
// calling thread takes the rows; with one job, the calling thread does all three.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/error.h"
#include "scan/scan_options.h"
#include "scan/scan_row.h"

namespace velpin {

// What the summary counts.
struct ScanTotals {
    std::int64_t files = 0;  // the paths scanned, standard input included
    std::int64_t rows = 0;
    std::int64_t loaded = 0;
    std::int64_t bytes = 0;
    std::int64_t containers = 0;
    std::int64_t otherEntries = 0;  // entries of containers that are neither movies nor containers
    std::int64_t unreadable = 0;    // folders and inputs that could not be read at all
};

// What the front end does with what a scan meets, on the calling thread.
class ScanListener {
  public:
    virtual ~ScanListener() = default;
    // A list of paths could not be read: the scan stops before it starts.
    virtual void ListUnreadable(const std::string& list, const Error& error) = 0;
    // The scan knows how many paths it has.
    virtual void Started(std::size_t paths) = 0;
    // The rows of one file or entry, in order; `pathIndex` is the path they belong to. False when
    // they could not be let out: the scan then stops, since no later row could be either.
    virtual bool Rows(const ScanLine& rows, std::size_t pathIndex) = 0;
    // Called now and then while rows wait on a slow movie: the rows taken so far may be let out.
    virtual void Waiting() = 0;
};

enum class ScanEnd {
    Finished,
    ListUnreadable,  // a list of paths could not be read, and nothing was scanned
    NoThread,        // no thread could be started to load the movies with
    RowsRefused,     // the listener could not let the rows out, and the scan stopped early
};

struct ScanOutcome {
    ScanEnd end = ScanEnd::Finished;
    ScanTotals totals;
};

// Runs the scan `options` asks for, writing each row through `write` on the thread that loaded
// its movie.
ScanOutcome RunScan(const ScanOptions& options, const RowWriter& write, ScanListener& listener);

}  // namespace velpin
