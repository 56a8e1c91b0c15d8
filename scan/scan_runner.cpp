#include "scan/scan_runner.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "scan/ordered_results.h"
#include "scan/scan_paths.h"
#include "scan/scan_task.h"

namespace velpin {

namespace {

// How many lines the workers may run ahead of the one being written, per job: enough to keep
// them busy behind a slow movie, few enough that the waiting lines stay small however many files
// there are.
constexpr std::size_t kLinesAheadPerJob = 64;
// How many bytes of entries may wait for the workers, beyond the one entry always let through:
// entries are read faster than they are loaded. It does not grow with --max-size: an entry of
// any size up to the limit passes alone, so the bytes waiting are at most the larger of this
// and one entry held as far as a load can use it, however large the limit.
constexpr std::uint64_t kHeldBytesAhead = 48u << 20;
// How long rows may wait before the listener hears that they could be let out.
constexpr auto kWaitInterval = std::chrono::milliseconds(100);

struct ScanResult {
    ScanLine line;
    std::size_t pathIndex = 0;  // the path the row belongs to, for the progress line
};

// The paths the scan reads, in byte order; false when a list of paths could not be read.
bool CollectPaths(const ScanOptions& options, ScanListener& listener,
                  std::vector<ScanPath>& paths) {
    // Standard input is one input of its own, whatever its name: it is never a folder to walk
    // nor a file already named.
    std::vector<std::string> named;
    bool standardInput = false;
    for (const std::string& path : options.paths) {
        if (path == "-") {
            standardInput = true;
        } else {
            named.push_back(path);
        }
    }
    for (const auto& [lists, separator] :
         {std::pair<const std::vector<std::string>*, char>{&options.filesFrom, '\n'},
          {&options.files0From, '\0'}}) {
        for (const std::string& list : *lists) {
            try {
                const std::vector<std::string> listed = ReadPathList(list, separator);
                named.insert(named.end(), listed.begin(), listed.end());
            } catch (...) {
                listener.ListUnreadable(list, CurrentError());
                return false;
            }
        }
    }
    paths = CollectScanInputs(named);
    if (standardInput) {
        const ScanPath input{options.stdinName, true, true};
        paths.insert(
            std::upper_bound(paths.begin(), paths.end(), input,
                             [](const ScanPath& a, const ScanPath& b) { return a.path < b.path; }),
            input);
    }
    return true;
}

// One thread reads the paths and the containers' entries in order, up to `jobs` threads load the
// movies at once, and the calling thread hands the rows to `take` in order. Nothing when no
// loading thread or no reader could be started.
std::optional<ScanInputCounts> ScanInParallel(const std::vector<ScanPath>& paths,
                                              const ScanOptions& options,
                                              const ScanInputOptions& inputOptions,
                                              const RowWriter& write, unsigned jobs,
                                              ScanListener& listener,
                                              const std::function<bool(const ScanResult&)>& take) {
    OrderedResults<ScanTask, ScanResult> results(jobs * kLinesAheadPerJob, kHeldBytesAhead);
    ScanInputCounts counts;
    std::vector<std::thread> workers;
    std::thread reader;
    const auto joinAll = [&workers, &reader] {
        for (std::thread& worker : workers) {
            worker.join();
        }
        if (reader.joinable()) {
            reader.join();
        }
    };
    // Fewer workers than asked for only make the scan slower; without a worker or the reader
    // there is no scan.
    try {
        while (workers.size() < jobs) {
            workers.emplace_back([&results, &options, &inputOptions, &write] {
                while (std::optional<std::pair<std::size_t, ScanTask>> task = results.Take()) {
                    ReadUnreadEntry(task->second, inputOptions);
                    const std::size_t pathIndex = task->second.pathIndex;
                    const RowParts handOn = [&results, &task, pathIndex](ScanLine part) {
                        return results.PutPart(task->first, ScanResult{std::move(part), pathIndex});
                    };
                    ScanResult result{ScanMovie(task->second, options, write, handOn), pathIndex};
                    task->second.held.reset();
                    results.Put(task->first, std::move(result));
                }
            });
        }
    } catch (const std::system_error&) {
        // The workers started take on the whole scan.
    }
    try {
        if (!workers.empty()) {
            reader = std::thread([&]() {
                counts = ProduceScanTasks(paths, inputOptions, [&](ScanTask task) {
                    const std::uint64_t weight =
                        task.held ? task.held->bytes.size() : task.unreadBytes;
                    // Once the writer gave up, which it reports, the reading stops too.
                    return results.Push(std::move(task), weight);
                });
                results.Close();
            });
        }
    } catch (const std::system_error&) {
        // Reported below, as no scan.
    }
    if (!reader.joinable()) {
        results.Abandon();
        results.Close();
        joinAll();
        return std::nullopt;
    }
    try {
        while (std::optional<ScanResult> result =
                   results.Next(kWaitInterval, [&]() { listener.Waiting(); })) {
            if (!take(*result)) {
                results.Abandon();
                break;
            }
        }
    } catch (...) {
        // The reader and the workers finish what they hold and stop, so the error is reported,
        // not hung on.
        results.Abandon();
        joinAll();
        throw;
    }
    joinAll();
    return counts;
}

}  // namespace

ScanOutcome RunScan(const ScanOptions& options, const RowWriter& write, ScanListener& listener) {
    const unsigned jobs =
        options.jobs != 0 ? options.jobs : std::max(1u, std::thread::hardware_concurrency());
    ScanOutcome outcome;
    ScanTotals& totals = outcome.totals;
    std::vector<ScanPath> paths;
    if (!CollectPaths(options, listener, paths)) {
        outcome.end = ScanEnd::ListUnreadable;
        return outcome;
    }
    totals.files = static_cast<std::int64_t>(paths.size());
    listener.Started(paths.size());

    bool refused = false;
    const auto take = [&](const ScanResult& result) {
        totals.rows += result.line.rows;
        totals.loaded += result.line.loaded;
        totals.unreadable += result.line.unreadable ? 1 : 0;
        totals.bytes += result.line.bytes;
        refused = !listener.Rows(result.line, result.pathIndex);
        return !refused;
    };
    const ScanInputOptions inputOptions{options.inflate, options.maxSize, options.deps,
                                        options.hashes};
    ScanInputCounts counts;
    if (jobs == 1) {
        // One job is one thread, which reads, loads and writes each row in turn: a map step
        // that runs a scan per processor gets what it asked for, with no handing on between
        // threads. The lines before a slow movie are let out as they are with more jobs.
        auto waited = std::chrono::steady_clock::now();
        counts = ProduceScanTasks(paths, inputOptions, [&](ScanTask task) {
            ReadUnreadEntry(task, inputOptions);
            const RowParts handOn = [&take, &task](ScanLine part) {
                return take(ScanResult{std::move(part), task.pathIndex});
            };
            if (!take(ScanResult{ScanMovie(task, options, write, handOn), task.pathIndex})) {
                return false;
            }
            if (const auto now = std::chrono::steady_clock::now(); now - waited >= kWaitInterval) {
                listener.Waiting();
                waited = now;
            }
            return true;
        });
    } else if (const std::optional<ScanInputCounts> parallel =
                   ScanInParallel(paths, options, inputOptions, write, jobs, listener, take)) {
        counts = *parallel;
    } else {
        outcome.end = ScanEnd::NoThread;
        return outcome;
    }
    totals.containers = counts.containers;
    totals.otherEntries = counts.otherEntries;
    if (refused) {
        outcome.end = ScanEnd::RowsRefused;
    }
    return outcome;
}

}  // namespace velpin
