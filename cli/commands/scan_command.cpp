// velpin-cli scan: one JSON line per movie of a collection, loose or inside containers. With more
// than one job, one thread reads the paths and the containers' entries in order, several threads
// load the movies at once, each into a document of its own (FileBytes is per thread), and one
// writer prints the lines in that order; with one job, one thread does all three. Then the
// summary.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "Unit1/presentation/ErrorBoxText.h"
#include "cli/commands/cli_support.h"
#include "cli/commands/commands.h"
#include "cli/commands/scan_input.h"
#include "cli/commands/scan_row.h"
#include "cli/scan/ordered_results.h"
#include "cli/scan/scan_walk.h"

namespace {

// How many lines the workers may run ahead of the one being written, per job: enough to keep
// them busy behind a slow movie, few enough that the waiting lines stay small however many files
// there are.
constexpr std::size_t kLinesAheadPerJob = 64;
// How many bytes of entries may wait for the workers, beyond the one entry always let through:
// entries are read faster than they are loaded, and a window of 4 MiB entries would be too many.
constexpr std::uint64_t kHeldBytesAhead = 48u << 20;
constexpr auto kProgressInterval = std::chrono::milliseconds(100);

struct ScanResult {
    ScanLine line;
    std::size_t pathIndex = 0;  // the path the row belongs to, for the progress line
};

// The progress line, rewritten in place; only on a terminal, where nothing reads it as data.
class Progress {
  public:
    explicit Progress(std::size_t total) : total_(total), shown_(isatty(STDERR_FILENO) == 1) {}

    // `done` files are finished; shown at most once an interval.
    void Advance(std::size_t done) {
        done_ = done;
        Show();
    }

    // Shows the count again, for a wait on a slow movie.
    void Show() {
        const auto now = std::chrono::steady_clock::now();
        if (!shown_ || now - last_ < kProgressInterval) {
            return;
        }
        last_ = now;
        std::fprintf(stderr, "\rscan: %zu of %zu files", done_, total_);
        std::fflush(stderr);
    }

    void Clear() {
        if (shown_) {
            std::fputs("\r\x1b[K", stderr);
        }
    }

  private:
    std::size_t total_;
    std::size_t done_ = 0;
    bool shown_;
    std::chrono::steady_clock::time_point last_{};
};

// One thread reads the paths and the containers' entries in order, `jobs` threads load the movies
// at once, and the calling thread hands the rows to `take` in order. Nothing when no loading
// thread or no reader could be started.
std::optional<ScanInputCounts> ScanInParallel(const std::vector<ScanPath>& paths,
                                              const ScanOptions& options,
                                              const ScanInputOptions& inputOptions, unsigned jobs,
                                              StdoutWriter& out, Progress& progress,
                                              const std::function<void(const ScanResult&)>& take) {
    OrderedResults<ScanTask, ScanResult> results(jobs * kLinesAheadPerJob, kHeldBytesAhead);
    struct Abandoned {};
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
    try {
        while (workers.size() < jobs) {
            workers.emplace_back([&results, &options, &inputOptions] {
                while (std::optional<std::pair<std::size_t, ScanTask>> task = results.Take()) {
                    ReadUnreadEntry(task->second, inputOptions);
                    ScanResult result{ScanMovie(task->second, options), task->second.pathIndex};
                    task->second.held.reset();
                    results.Put(task->first, std::move(result));
                }
            });
        }
        reader = std::thread([&]() {
            try {
                counts = ProduceScanTasks(paths, inputOptions, [&](ScanTask task) {
                    const std::uint64_t weight =
                        task.held ? task.held->bytes.size() : task.unreadBytes;
                    if (!results.Push(std::move(task), weight)) {
                        throw Abandoned{};
                    }
                });
            } catch (const Abandoned&) {
                // The writer gave up; it reports why.
            }
            results.Close();
        });
    } catch (const std::system_error&) {
        // Fewer workers than asked for only make the scan slower; without a worker or the
        // reader there is no scan.
        if (workers.empty() || !reader.joinable()) {
            results.Abandon();
            results.Close();
            joinAll();
            return std::nullopt;
        }
    }
    try {
        while (std::optional<ScanResult> result = results.Next(kProgressInterval, [&]() {
            // A movie that takes long lets the lines before it out, so a slow scan still
            // streams.
            out.Flush();
            progress.Show();
        })) {
            take(*result);
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

int RunScanCommand(const ScanOptions& options) {
    const unsigned jobs =
        options.jobs != 0 ? options.jobs : std::max(1u, std::thread::hardware_concurrency());
    const auto start = std::chrono::steady_clock::now();

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
            } catch (const std::exception&) {
                WriteErrorLine(list,
                               "cannot read the list of paths: " + DescribeCurrentException());
                return exitUnreadable;
            }
        }
    }
    // A folder that could not be read is an input that could not be read, as a file is.
    std::int64_t unreadable = 0;
    ScanInputs inputs = CollectScanInputs(
        named, [&unreadable](const std::string& folder, const std::string& reason) {
            WriteErrorLine(folder, "cannot read the folder: " + reason);
            ++unreadable;
        });
    if (standardInput) {
        const ScanPath input{options.stdinName, true, true};
        inputs.paths.insert(
            std::upper_bound(inputs.paths.begin(), inputs.paths.end(), input,
                             [](const ScanPath& a, const ScanPath& b) { return a.path < b.path; }),
            input);
    }
    const std::vector<ScanPath>& paths = inputs.paths;

    StdoutWriter out;
    Progress progress(paths.size());
    ScanInputCounts counts;
    std::int64_t rows = 0;
    std::int64_t loaded = 0;
    std::int64_t bytes = 0;
    const auto take = [&](const ScanResult& result) {
        rows += result.line.rows;
        loaded += result.line.loaded;
        unreadable += result.line.unreadable ? 1 : 0;
        bytes += result.line.bytes;
        out.Put(result.line.text);
        progress.Advance(result.pathIndex);
    };
    const ScanInputOptions inputOptions{options.inflate, options.deps, options.hashes};
    if (jobs == 1) {
        // One job is one thread, which reads, loads and writes each row in turn: a map step
        // that runs a scan per processor gets what it asked for, with no handing on between
        // threads. The lines before a slow movie are let out as they are with more jobs.
        auto flushed = std::chrono::steady_clock::now();
        counts = ProduceScanTasks(paths, inputOptions, [&](ScanTask task) {
            ReadUnreadEntry(task, inputOptions);
            take(ScanResult{ScanMovie(task, options), task.pathIndex});
            if (const auto now = std::chrono::steady_clock::now();
                now - flushed >= kProgressInterval) {
                out.Flush();
                flushed = now;
            }
        });
    } else if (const std::optional<ScanInputCounts> parallel =
                   ScanInParallel(paths, options, inputOptions, jobs, out, progress, take)) {
        counts = *parallel;
    } else {
        WriteErrorLine("cannot start a thread");
        return exitFailure;
    }
    out.Flush();
    progress.Clear();

    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    const auto files = static_cast<std::int64_t>(paths.size());
    std::fprintf(stderr,
                 "scan: %lld %s, %lld loaded, %lld failed, %lld bytes, %lld %s, %lld other %s, "
                 "%lld unreadable, %.3f seconds\n",
                 static_cast<long long>(files), files == 1 ? "file" : "files",
                 static_cast<long long>(loaded), static_cast<long long>(rows - loaded),
                 static_cast<long long>(bytes), static_cast<long long>(counts.containers),
                 counts.containers == 1 ? "container" : "containers",
                 static_cast<long long>(counts.otherEntries),
                 counts.otherEntries == 1 ? "entry" : "entries", static_cast<long long>(unreadable),
                 seconds.count());
    if (unreadable > 0) {
        return exitUnreadable;
    }
    return loaded == rows ? exitOk : exitFailure;
}
