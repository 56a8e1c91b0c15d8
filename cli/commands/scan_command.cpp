// velpin-cli scan: one JSON line per movie of a collection. Several threads load movies at once,
// each into a document of its own (FileBytes is per thread), and one writer prints the lines in
// path order.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>

#include "Unit1/presentation/ErrorBoxText.h"
#include "cli/commands/cli_support.h"
#include "cli/commands/commands.h"
#include "cli/commands/movie_input.h"
#include "cli/info/info_output.h"
#include "cli/info/movie_info.h"
#include "cli/json/json_writer.h"
#include "cli/scan/movie_statistics.h"
#include "cli/scan/ordered_results.h"
#include "cli/scan/scan_walk.h"
#include "swfff/errors.h"

namespace {

// How many lines the workers may run ahead of the one being written, per job: enough to keep
// them busy behind a slow movie, few enough that the waiting lines stay small however many files
// there are.
constexpr std::size_t kLinesAheadPerJob = 64;
constexpr auto kProgressInterval = std::chrono::milliseconds(100);

struct ScanResult {
    std::string line;
    bool loaded = false;
    std::int64_t bytes = 0;
};

// What one row says about one file.
struct ScanRow {
    std::string path;
    InputHead head;
    std::optional<std::int32_t> result;  // none when the load raised `error`
    std::string error;
    std::optional<MovieStatistics> movie;  // only for a loaded movie
    std::optional<MovieInfo> info;         // with --info; its strings point into FileBytes
};

template <typename T>
std::optional<std::int64_t> Widened(const std::optional<T>& value) {
    return value ? std::optional<std::int64_t>(*value) : std::nullopt;
}

void WriteScanRow(JsonWriter& json, const ScanRow& row) {
    json.BeginObject();
    json.Key("path");
    json.String(row.path);
    json.Key("size");
    json.IntegerOrNull(row.head.size);
    json.Key("container");
    json.StringOrNull(ContainerSignature(row.head.container));
    json.Key("version");
    json.IntegerOrNull(Widened(row.head.version));
    json.Key("declaredLength");
    json.IntegerOrNull(Widened(row.head.declaredLength));
    json.Key("result");
    json.IntegerOrNull(Widened(row.result));
    json.Key("reason");
    std::optional<std::string_view> reason;
    if (row.result && *row.result != loadOk) {
        reason = LoadResultReason(*row.result);
    }
    json.StringOrNull(reason);
    json.Key("error");
    json.StringOrNull(row.result ? std::nullopt : std::optional<std::string_view>(row.error));
    json.Key("movie");
    if (row.movie) {
        json.BeginObject();
        WriteMovieStatistics(json, *row.movie);
        if (row.info) {
            json.Key("info");
            WriteInfoJson(json, *row.info);
        }
        json.EndObject();
    } else {
        json.Null();
    }
    json.EndObject();
}

// Loads one movie on the calling thread and describes it; a movie that fails is described too.
ScanResult ScanMovie(const std::string& path, bool inflate, bool withInfo) {
    ScopedMovie document;
    ScanRow row;
    row.path = path;
    try {
        row.result = LoadMovieInput(document.movie, path, inflate, &row.head);
    } catch (const ECodecError& codecError) {
        row.error = codecError.what();
    } catch (...) {
        row.error = DescribeCurrentException();
    }
    if (row.result == loadOk) {
        row.movie = ComputeMovieStatistics(document.movie);
        if (withInfo) {
            row.info = ComputeMovieInfo(document.movie);
        }
    }

    ScanResult scanned;
    scanned.loaded = row.movie.has_value();
    scanned.bytes = row.head.size.value_or(0);
    JsonWriter json(scanned.line);
    WriteScanRow(json, row);
    scanned.line.push_back('\n');
    return scanned;
}

// The progress line, rewritten in place; only on a terminal, where nothing reads it as data.
class Progress {
  public:
    explicit Progress(std::size_t total) : total_(total), shown_(isatty(STDERR_FILENO) == 1) {}

    void Show(std::size_t done) {
        const auto now = std::chrono::steady_clock::now();
        if (!shown_ || now - last_ < kProgressInterval) {
            return;
        }
        last_ = now;
        std::fprintf(stderr, "\rscan: %zu of %zu files", done, total_);
        std::fflush(stderr);
    }

    void Clear() {
        if (shown_) {
            std::fputs("\r\x1b[K", stderr);
        }
    }

  private:
    std::size_t total_;
    bool shown_;
    std::chrono::steady_clock::time_point last_{};
};

}  // namespace

int RunScanCommand(const ScanOptions& options) {
    const unsigned jobs =
        options.jobs != 0 ? options.jobs : std::max(1u, std::thread::hardware_concurrency());
    const auto start = std::chrono::steady_clock::now();

    const ScanInputs inputs =
        CollectScanInputs(options.paths, [](const std::string& folder, const std::string& reason) {
            WriteError("velpin-cli scan: cannot read folder " + folder + ": " + reason);
        });
    const std::vector<std::string>& paths = inputs.paths;

    const std::size_t workerCount =
        std::min<std::size_t>(jobs, std::max<std::size_t>(paths.size(), 1));
    OrderedResults<ScanResult> results(paths.size(), workerCount * kLinesAheadPerJob);
    std::vector<std::thread> workers;
    const auto joinWorkers = [&workers] {
        for (std::thread& worker : workers) {
            worker.join();
        }
    };
    try {
        while (workers.size() < workerCount) {
            workers.emplace_back([&]() {
                while (const std::optional<std::size_t> index = results.Take()) {
                    results.Put(*index, ScanMovie(paths[*index], options.inflate, options.info));
                }
            });
        }
    } catch (const std::system_error&) {
        // Fewer threads than asked for only make the scan slower.
        if (workers.empty()) {
            WriteError("velpin-cli scan: cannot start a thread");
            return exitFailure;
        }
    }

    StdoutWriter out;
    Progress progress(paths.size());
    std::int64_t loaded = 0;
    std::int64_t bytes = 0;
    try {
        for (std::size_t i = 0; i < paths.size(); ++i) {
            ScanResult result = results.Next(i, kProgressInterval, [&]() {
                // A movie that takes long lets the lines before it out, so a slow scan still
                // streams.
                out.Flush();
                progress.Show(i);
            });
            loaded += result.loaded ? 1 : 0;
            bytes += result.bytes;
            out.Put(result.line);
            progress.Show(i + 1);
        }
    } catch (...) {
        // The workers finish the movies in hand and stop, so the error is reported, not hung on.
        results.Abandon();
        joinWorkers();
        throw;
    }
    joinWorkers();
    out.Flush();
    progress.Clear();

    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    const auto files = static_cast<std::int64_t>(paths.size());
    std::fprintf(stderr, "scan: %lld %s, %lld loaded, %lld failed, %lld bytes, %.3f seconds\n",
                 static_cast<long long>(files), files == 1 ? "file" : "files",
                 static_cast<long long>(loaded), static_cast<long long>(files - loaded),
                 static_cast<long long>(bytes), seconds.count());
    return loaded == files && inputs.complete ? exitOk : exitFailure;
}
