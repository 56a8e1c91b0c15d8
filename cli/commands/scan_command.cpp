// velpin-cli scan: one JSON line per movie of a collection, loose or inside containers. One thread
// reads the paths and the containers' entries in order, several threads load the movies at once,
// each into a document of its own (FileBytes is per thread), and one writer prints the lines in
// that order.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>

#include "Unit1/presentation/ErrorBoxText.h"
#include "cli/archive/byte_stream.h"
#include "cli/commands/cli_support.h"
#include "cli/commands/commands.h"
#include "cli/commands/movie_input.h"
#include "cli/commands/scan_input.h"
#include "cli/deps/dependencies.h"
#include "cli/info/embedded_movies.h"
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
// How many bytes of entries may wait for the workers, beyond the one entry always let through:
// entries are read faster than they are loaded, and a window of 4 MiB entries would be too many.
constexpr std::uint64_t kHeldBytesAhead = 48u << 20;
constexpr auto kProgressInterval = std::chrono::milliseconds(100);
// How deep --nested follows movies inside movies.
constexpr std::size_t kMaxEmbeddedLevels = 3;

// The rows of one file or entry: its own, and with --nested those of the movies inside it.
struct ScanResult {
    std::string line;
    std::int64_t rows = 0;
    std::int64_t loaded = 0;
    std::int64_t bytes = 0;
    std::size_t pathIndex = 0;  // the path the row belongs to, for the progress line
};

// What one row says about one file or entry.
struct ScanRow {
    std::string path;
    std::optional<std::vector<std::string>> entry;    // a container's entry: its names
    std::vector<std::int64_t> embedded;               // the items it lies in, outermost first
    std::optional<std::optional<HashValues>> hashes;  // with --hash; none inside if unreadable
    InputHead head;
    std::optional<std::int32_t> result;  // none when the load raised `error`
    std::string error;
    std::optional<MovieStatistics> movie;  // only for a loaded movie
    std::optional<MovieInfo> info;         // with --info; its strings point into FileBytes
    std::optional<std::optional<Dependencies>> dependencies;  // with --deps; none if not loaded
};

void WriteStrings(JsonWriter& json, const std::vector<std::string>& strings) {
    json.BeginArray();
    for (const std::string& text : strings) {
        json.String(text);
    }
    json.EndArray();
}

template <typename T>
std::optional<std::int64_t> Widened(const std::optional<T>& value) {
    return value ? std::optional<std::int64_t>(*value) : std::nullopt;
}

void WriteScanRow(JsonWriter& json, const ScanRow& row) {
    json.BeginObject();
    json.Key("path");
    json.String(row.path);
    json.Key("entry");
    if (row.entry) {
        WriteStrings(json, *row.entry);
    } else {
        json.Null();
    }
    json.Key("embedded");
    if (!row.embedded.empty()) {
        json.BeginArray();
        for (const std::int64_t index : row.embedded) {
            json.Integer(index);
        }
        json.EndArray();
    } else {
        json.Null();
    }
    json.Key("size");
    json.IntegerOrNull(row.head.size);
    if (row.hashes) {
        json.Key("hashes");
        if (*row.hashes) {
            json.BeginObject();
            for (const auto& [algorithm, hex] : **row.hashes) {
                json.Key(HashName(algorithm));
                json.String(hex);
            }
            json.EndObject();
        } else {
            json.Null();
        }
    }
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
    if (row.dependencies) {
        json.Key("dependencies");
        if (*row.dependencies) {
            json.BeginObject();
            json.Key("present");
            WriteStrings(json, (*row.dependencies)->present);
            json.Key("missing");
            WriteStrings(json, (*row.dependencies)->missing);
            json.Key("external");
            WriteStrings(json, (*row.dependencies)->external);
            json.EndObject();
        } else {
            json.Null();
        }
    }
    json.EndObject();
}

// A loose file to be digested is read once, as an entry is, and loaded from the bytes held: the
// load gives what it gives for the file itself.
HeldEntry HoldFile(const std::string& path, const ScanOptions& options) {
    FileStream file(path);
    return HoldMovie(file, options.inflate, options.hashes);
}

// Where the references of a task's movie, and of the movies inside it, are looked up.
struct Surroundings {
    MovieLocation location;
    const PresentNames* names = nullptr;
};

Surroundings SurroundingsOf(const ScanTask& task) {
    static const FilesOnDisk kDisk;
    if (!task.names || !task.entry) {
        return {{MoviePlace::LooseFile, *task.path}, &kDisk};
    }
    return {task.names->LocationOf(*task.entry, task.origin),
            &task.names->NamesAround(*task.entry, task.origin)};
}

// Fills in what a row says of a movie once loaded (or not) into `document`, and appends the row.
void DescribeLoad(CInputScript& movie, ScanRow& row, const ScanOptions& options,
                  const Surroundings& around, ScanResult& scanned) {
    if (row.result == loadOk) {
        row.movie = ComputeMovieStatistics(movie);
        if (options.info || options.deps) {
            row.info = ComputeMovieInfo(movie);
        }
    }
    if (options.deps) {
        row.dependencies.emplace();
        if (row.info) {
            *row.dependencies =
                PlaceReferences(around.location, row.info->files, row.info->urls, *around.names);
        }
        if (!options.info) {
            row.info.reset();
        }
    }
    ++scanned.rows;
    scanned.loaded += row.movie ? 1 : 0;
    JsonWriter json(scanned.line);
    WriteScanRow(json, row);
    scanned.line.push_back('\n');
}

// The movies inside the one loaded at `chain`'s end, copied out of FileBytes, which the next load
// reuses: offsets into one copy of the whole file, so that however the items overlap, the copy
// costs no more than the file.
struct EmbeddedCopies {
    std::vector<std::uint8_t> file;
    std::vector<std::pair<std::int64_t, ByteSpan>> movies;  // index, and offset and size in `file`
};

EmbeddedCopies CopyEmbeddedMovies(const CInputScript& movie) {
    EmbeddedCopies copies;
    const std::vector<EmbeddedMovie> found = FindEmbeddedMovies(movie);
    if (found.empty()) {
        return copies;
    }
    copies.file.assign(FileBytes, FileBytes + FileBytesLength);
    for (const EmbeddedMovie& embedded : found) {
        copies.movies.push_back(
            {embedded.index,
             {copies.file.data() + (embedded.data.bytes - FileBytes), embedded.data.size}});
    }
    return copies;
}

void ScanEmbedded(const ScanTask& task, const ScanOptions& options, const Surroundings& around,
                  std::vector<std::int64_t>& chain, const EmbeddedCopies& inside,
                  ScanResult& scanned) {
    for (const auto& [index, data] : inside.movies) {
        chain.push_back(index);
        EmbeddedCopies deeper;
        {
            ScopedMovie document;
            ScanRow row;
            row.path = *task.path;
            row.entry = task.entry;
            row.embedded = chain;
            try {
                row.result = LoadMovieBytesInput(document.movie, *task.path, data.bytes, data.size,
                                                 data.size, options.inflate, &row.head);
            } catch (const ECodecError& codecError) {
                row.error = codecError.what();
            } catch (...) {
                row.error = DescribeCurrentException();
            }
            if (!options.hashes.empty()) {
                row.hashes = DigestBytes(options.hashes, data.bytes, data.size);
            }
            DescribeLoad(document.movie, row, options, around, scanned);
            if (row.result == loadOk && chain.size() < kMaxEmbeddedLevels) {
                deeper = CopyEmbeddedMovies(document.movie);
            }
        }
        ScanEmbedded(task, options, around, chain, deeper, scanned);
        chain.pop_back();
    }
}

// Loads one movie (a file, or an entry's held bytes) on the calling thread and describes it; a
// movie that fails is described too, and so is a container or entry that could not be read.
ScanResult ScanMovie(const ScanTask& task, const ScanOptions& options) {
    ScanResult scanned;
    scanned.pathIndex = task.pathIndex;
    const Surroundings around = SurroundingsOf(task);
    EmbeddedCopies inside;
    {
        ScopedMovie document;
        ScanRow row;
        row.path = *task.path;
        row.entry = task.entry;
        std::optional<HeldEntry> fileHeld;
        // The bytes the load works from, if any: the entry's, or the file's once read.
        const std::optional<HeldEntry>& held = *(task.held ? &task.held : &fileHeld);
        if (task.failure) {
            row.error = *task.failure;
        } else {
            try {
                if (!task.held && !options.hashes.empty()) {
                    fileHeld = HoldFile(*task.path, options);
                }
                row.result =
                    held ? LoadMovieBytesInput(document.movie, *task.path, held->bytes.data(),
                                               held->bytes.size(), held->size, options.inflate,
                                               &row.head)
                         : LoadMovieInput(document.movie, *task.path, options.inflate, &row.head);
            } catch (const ECodecError& codecError) {
                row.error = codecError.what();
            } catch (...) {
                row.error = DescribeCurrentException();
            }
        }
        if (!options.hashes.empty()) {
            row.hashes = !held ? std::nullopt
                         : held->hashes
                             ? held->hashes
                             : DigestBytes(options.hashes, held->bytes.data(), held->bytes.size());
        }
        scanned.bytes = row.head.size.value_or(0);
        DescribeLoad(document.movie, row, options, around, scanned);
        if (options.nested && row.result == loadOk) {
            inside = CopyEmbeddedMovies(document.movie);
        }
    }
    std::vector<std::int64_t> chain;
    ScanEmbedded(task, options, around, chain, inside, scanned);
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

    std::vector<std::string> named = options.paths;
    for (const auto& [lists, separator] :
         {std::pair<const std::vector<std::string>*, char>{&options.filesFrom, '\n'},
          {&options.files0From, '\0'}}) {
        for (const std::string& list : *lists) {
            try {
                const std::vector<std::string> listed = ReadPathList(list, separator);
                named.insert(named.end(), listed.begin(), listed.end());
            } catch (const std::exception&) {
                WriteError("velpin-cli scan: cannot read the list " + list + ": " +
                           DescribeCurrentException());
                return exitFailure;
            }
        }
    }
    const ScanInputs inputs =
        CollectScanInputs(named, [](const std::string& folder, const std::string& reason) {
            WriteError("velpin-cli scan: cannot read folder " + folder + ": " + reason);
        });
    const std::vector<ScanPath>& paths = inputs.paths;

    // With one job the reader loads each movie itself, so that --jobs 1 is one thread of work;
    // with more, the reader's thread comes on top of the jobs: it mostly waits for the disk or
    // inflates a container's entries while the jobs load them.
    const bool readerLoads = jobs == 1;
    const std::size_t workerCount = readerLoads ? 0 : jobs;
    OrderedResults<ScanTask, ScanResult> results(std::max<std::size_t>(jobs, 1) * kLinesAheadPerJob,
                                                 kHeldBytesAhead);
    struct Abandoned {};
    ScanInputCounts counts;
    const ScanInputOptions inputOptions{options.inflate, options.deps, options.hashes};
    const auto work = [&results, &options] {
        std::optional<std::pair<std::size_t, ScanTask>> task = results.Take();
        if (!task) {
            return false;
        }
        ScanResult result = ScanMovie(task->second, options);
        task->second.held.reset();
        results.Put(task->first, std::move(result));
        return true;
    };
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
        while (workers.size() < workerCount) {
            workers.emplace_back([&work] {
                while (work()) {
                }
            });
        }
        reader = std::thread([&]() {
            try {
                counts = ProduceScanTasks(paths, inputOptions, [&](ScanTask task) {
                    const std::uint64_t weight = task.held ? task.held->bytes.size() : 0;
                    // Pushed and at once taken back when the reader loads: the one thread
                    // takes everything it pushes, so no Take waits.
                    if (!results.Push(std::move(task), weight) || (readerLoads && !work())) {
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
        if ((workers.empty() && !readerLoads) || !reader.joinable()) {
            results.Abandon();
            results.Close();
            joinAll();
            WriteError("velpin-cli scan: cannot start a thread");
            return exitFailure;
        }
    }

    StdoutWriter out;
    Progress progress(paths.size());
    std::int64_t rows = 0;
    std::int64_t loaded = 0;
    std::int64_t bytes = 0;
    std::size_t pathsDone = 0;
    try {
        while (std::optional<ScanResult> result = results.Next(kProgressInterval, [&]() {
            // A movie that takes long lets the lines before it out, so a slow scan still
            // streams.
            out.Flush();
            progress.Show(pathsDone);
        })) {
            rows += result->rows;
            loaded += result->loaded;
            bytes += result->bytes;
            pathsDone = result->pathIndex;
            out.Put(result->line);
            progress.Show(pathsDone);
        }
    } catch (...) {
        // The reader and the workers finish what they hold and stop, so the error is reported,
        // not hung on.
        results.Abandon();
        joinAll();
        throw;
    }
    joinAll();
    out.Flush();
    progress.Clear();

    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    const auto files = static_cast<std::int64_t>(paths.size());
    std::fprintf(stderr,
                 "scan: %lld %s, %lld loaded, %lld failed, %lld bytes, %lld %s, %lld other %s, "
                 "%.3f seconds\n",
                 static_cast<long long>(files), files == 1 ? "file" : "files",
                 static_cast<long long>(loaded), static_cast<long long>(rows - loaded),
                 static_cast<long long>(bytes), static_cast<long long>(counts.containers),
                 counts.containers == 1 ? "container" : "containers",
                 static_cast<long long>(counts.otherEntries),
                 counts.otherEntries == 1 ? "entry" : "entries", seconds.count());
    return loaded == rows && inputs.complete ? exitOk : exitFailure;
}
