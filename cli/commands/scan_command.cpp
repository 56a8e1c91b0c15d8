// velpin-cli scan: one JSON line per movie of a collection, loose or inside containers. One thread
// reads the paths and the containers' entries in order, several threads load the movies at once,
// each into a document of its own (FileBytes is per thread), and one writer prints the lines in
// that order.
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
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
#include "cli/json/json_writer.h"
#include "swfff/errors.h"
#include "swfff/vocabulary.h"
#include "swfff/writer.h"

namespace {

namespace fs = std::filesystem;

constexpr unsigned kMaxJobs = 1024;
// How many lines the workers may run ahead of the one being written, per job: enough to keep
// them busy behind a slow movie, few enough that the waiting lines stay small however many files
// there are.
constexpr std::size_t kLinesAheadPerJob = 64;
// How many bytes of entries may wait for the workers, beyond the one entry always let through:
// entries are read faster than loaded, and 64 lines ahead of 4 MiB each would be too many.
constexpr std::uint64_t kHeldBytesAhead = 48u << 20;
constexpr auto kProgressInterval = std::chrono::milliseconds(100);

struct ScanResult {
    std::string line;
    bool loaded = false;
    std::int64_t bytes = 0;
    std::size_t pathIndex = 0;  // the path the row belongs to, for the progress line
};

// Each appends a separator and member name, then the value, or null for a value not there.
void AppendNumber(std::string& text, const char* separatorAndName, std::int64_t value) {
    text += separatorAndName;
    AppendDecimal(text, value);
}

void AppendNumber(std::string& text, const char* separatorAndName,
                  const std::optional<std::int64_t>& value) {
    text += separatorAndName;
    if (value) {
        AppendDecimal(text, *value);
    } else {
        text += "null";
    }
}

void AppendText(std::string& text, const char* separatorAndName,
                const std::optional<std::string_view>& value) {
    text += separatorAndName;
    if (value) {
        AppendJsonString(text, *value);
    } else {
        text += "null";
    }
}

void AppendFlag(std::string& text, const char* separatorAndName, bool value) {
    text += separatorAndName;
    text += value ? "true" : "false";
}

// The "movie" object of a loaded movie.
void AppendMovie(std::string& text, const CInputScript& movie) {
    struct CodeFigures {
        std::int64_t count = 0;
        std::int64_t topLevelBytes = 0;
    };
    std::vector<CodeFigures> codes(kTagCodeCount);
    std::int64_t tags = 0;
    std::int64_t topLevelTags = 0;
    std::int64_t maxDepth = 0;
    std::int64_t showFrames = 0;
    for (const TagItem* item = movie.FirstTag; item != nullptr; item = item->Next) {
        ++tags;
        CodeFigures& figures = codes[item->TagCode];
        ++figures.count;
        maxDepth = std::max<std::int64_t>(maxDepth, item->Depth);
        if (item->Depth == 0) {
            ++topLevelTags;
            figures.topLevelBytes += std::int64_t{item->HeaderLength} + item->BodyLength;
            showFrames += item->TagCode == tagShowFrame ? 1 : 0;
        }
    }

    const MovieHeader& h = movie.Header;
    AppendNumber(text, ", \"movie\": {\"frameRect\": {\"xMin\": ", h.FrameRect.XMin);
    AppendNumber(text, ", \"xMax\": ", h.FrameRect.XMax);
    AppendNumber(text, ", \"yMin\": ", h.FrameRect.YMin);
    AppendNumber(text, ", \"yMax\": ", h.FrameRect.YMax);
    AppendNumber(text, "}, \"frameRate\": ", h.FrameRate);
    AppendNumber(text, ", \"frameCount\": ", h.FrameCount);
    AppendNumber(text, ", \"tags\": ", tags);
    AppendNumber(text, ", \"topLevelTags\": ", topLevelTags);
    AppendNumber(text, ", \"nestedTags\": ", tags - topLevelTags);
    AppendNumber(text, ", \"maxDepth\": ", maxDepth);
    AppendNumber(text, ", \"showFrames\": ", showFrames);
    AppendNumber(text, ", \"trailingBytes\": ", FileBytesLength - SavedMovieLength(movie));
    text += ", \"codes\": {";
    const char* separator = "\"";
    for (std::size_t code = 0; code < codes.size(); ++code) {
        if (codes[code].count == 0) {
            continue;
        }
        text += separator;
        separator = ", \"";
        AppendDecimal(text, static_cast<std::int64_t>(code));
        AppendNumber(text, "\": {\"count\": ", codes[code].count);
        AppendNumber(text, ", \"topLevelBytes\": ", codes[code].topLevelBytes);
        text += '}';
    }
    const auto present = [&codes](std::uint16_t code) { return codes[code].count != 0; };
    AppendFlag(text, "}, \"flags\": {\"as3\": ", present(tagDoAbc) || present(tagDoAbcDefine));
    AppendFlag(text, ", \"debug\": ", present(tagEnableDebugger) || present(tagEnableDebugger2));
    AppendFlag(text, ", \"metadata\": ", present(tagMetadata));
    AppendFlag(text, ", \"productInfo\": ", present(tagProductInfo));
    text += "}}";
}

template <typename T>
std::optional<std::int64_t> Widened(const std::optional<T>& value) {
    return value ? std::optional<std::int64_t>(*value) : std::nullopt;
}

struct ScanOptions {
    bool inflate = false;
    std::vector<HashAlgorithm> hashes;
};

void AppendEntry(std::string& text, const std::optional<std::vector<std::string>>& entry) {
    text += ", \"entry\": ";
    if (!entry) {
        text += "null";
        return;
    }
    text += '[';
    for (std::size_t i = 0; i < entry->size(); ++i) {
        text += i == 0 ? "" : ", ";
        AppendJsonString(text, (*entry)[i]);
    }
    text += ']';
}

void AppendHashes(std::string& text, const std::optional<HashValues>& hashes) {
    text += ", \"hashes\": ";
    if (!hashes) {
        text += "null";
        return;
    }
    text += '{';
    for (std::size_t i = 0; i < hashes->size(); ++i) {
        text += i == 0 ? "" : ", ";
        AppendJsonString(text, HashName((*hashes)[i].first));
        text += ": ";
        AppendJsonString(text, (*hashes)[i].second);
    }
    text += '}';
}

// The digests of a loose file's bytes as stored; nothing when the file cannot be read, which its
// load has already reported.
std::optional<HashValues> DigestFile(const std::string& path,
                                     const std::vector<HashAlgorithm>& algorithms) {
    try {
        FileStream file(path);
        std::uint64_t size = 0;
        return DigestStream(file, algorithms, size);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// Loads one movie (a file, or an entry's held bytes) on the calling thread and describes it; a
// movie that fails is described too, and so is a container or entry that could not be read.
ScanResult ScanMovie(const ScanTask& task, const ScanOptions& options) {
    ScopedMovie document;
    InputHead head;
    std::optional<std::int32_t> result;
    std::string error;
    if (task.failure) {
        error = *task.failure;
    } else {
        try {
            if (task.held) {
                result = LoadMovieBytesInput(document.movie, *task.path, task.held->bytes.data(),
                                             task.held->bytes.size(), task.held->size,
                                             options.inflate, &head);
            } else {
                result = LoadMovieInput(document.movie, *task.path, options.inflate, &head);
            }
        } catch (const ECodecError& codecError) {
            error = codecError.what();
        } catch (const std::bad_alloc&) {
            error = ErrorBoxText(EOutOfMemory().what());
        } catch (const std::exception& raised) {
            error = ErrorBoxText(raised.what());
        }
    }

    ScanResult scanned;
    scanned.pathIndex = task.pathIndex;
    scanned.loaded = result == loadOk;
    scanned.bytes = head.size.value_or(0);
    std::string& text = scanned.line;
    AppendText(text, "{\"path\": ", *task.path);
    AppendEntry(text, task.entry);
    AppendNumber(text, ", \"size\": ", head.size);
    if (!options.hashes.empty()) {
        std::optional<HashValues> hashes;
        if (task.held) {
            hashes = task.held->hashes ? task.held->hashes
                                       : DigestBytes(options.hashes, task.held->bytes.data(),
                                                     task.held->bytes.size());
        } else if (!task.failure) {
            hashes = DigestFile(*task.path, options.hashes);
        }
        AppendHashes(text, hashes);
    }
    AppendText(text, ", \"container\": ", ContainerSignature(head.container));
    AppendNumber(text, ", \"version\": ", Widened(head.version));
    AppendNumber(text, ", \"declaredLength\": ", Widened(head.declaredLength));
    AppendNumber(text, ", \"result\": ", Widened(result));
    std::optional<std::string_view> reason;
    if (result && *result != loadOk) {
        reason = LoadResultReason(*result);
    }
    AppendText(text, ", \"reason\": ", reason);
    AppendText(text,
               ", \"error\": ", result ? std::nullopt : std::optional<std::string_view>(error));
    if (scanned.loaded) {
        AppendMovie(text, document.movie);
    } else {
        text += ", \"movie\": null";
    }
    text += "}\n";
    return scanned;
}

// Carries the rows' work from the one reader to the workers, and their lines to the one writer in
// the reader's order. The reader waits while it is a whole window of lines ahead of the writer,
// or while the entries it has handed on hold too many bytes.
class RowQueue {
  public:
    explicit RowQueue(std::size_t window) : window_(window), slots_(window) {}

    void Push(ScanTask task) {
        const std::uint64_t bytes = task.held ? task.held->bytes.size() : 0;
        std::unique_lock<std::mutex> lock(mutex_);
        roomAhead_.wait(lock, [&] {
            return pushed_ < written_ + window_ &&
                   (heldBytes_ == 0 || heldBytes_ + bytes <= kHeldBytesAhead);
        });
        heldBytes_ += bytes;
        tasks_.emplace_back(pushed_++, std::move(task));
        taskReady_.notify_one();
    }

    // No more tasks come.
    void Close() {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        taskReady_.notify_all();
        resultReady_.notify_all();
    }

    // The next task with its row's index; nothing once the reader is done and every task taken.
    std::optional<std::pair<std::size_t, ScanTask>> Take() {
        std::unique_lock<std::mutex> lock(mutex_);
        taskReady_.wait(lock, [this] { return closed_ || !tasks_.empty(); });
        if (tasks_.empty()) {
            return std::nullopt;
        }
        std::pair<std::size_t, ScanTask> task = std::move(tasks_.front());
        tasks_.pop_front();
        return task;
    }

    void Put(std::size_t index, ScanResult result, std::uint64_t heldBytes) {
        std::lock_guard<std::mutex> lock(mutex_);
        heldBytes_ -= heldBytes;
        Slot& slot = slots_[index % window_];
        slot.result = std::move(result);
        slot.ready = true;
        resultReady_.notify_one();
        roomAhead_.notify_all();
    }

    // The next row in order, nothing after the last; `whileWaiting` runs, without the lock, each
    // time it has been waited for kProgressInterval.
    std::optional<ScanResult> Next(const std::function<void()>& whileWaiting) {
        std::unique_lock<std::mutex> lock(mutex_);
        Slot& slot = slots_[written_ % window_];
        while (!resultReady_.wait_for(lock, kProgressInterval, [&] {
            return slot.ready || (closed_ && written_ == pushed_);
        })) {
            lock.unlock();
            whileWaiting();
            lock.lock();
        }
        if (!slot.ready) {
            return std::nullopt;
        }
        slot.ready = false;
        ++written_;
        roomAhead_.notify_all();
        return std::move(slot.result);
    }

  private:
    struct Slot {
        ScanResult result;
        bool ready = false;
    };

    std::mutex mutex_;
    std::condition_variable taskReady_;    // workers wait here
    std::condition_variable resultReady_;  // only the writer waits here
    std::condition_variable roomAhead_;    // the reader waits here
    const std::size_t window_;
    std::vector<Slot> slots_;
    std::deque<std::pair<std::size_t, ScanTask>> tasks_;
    std::size_t pushed_ = 0;
    std::size_t written_ = 0;
    std::uint64_t heldBytes_ = 0;
    bool closed_ = false;
};

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

unsigned ParseJobs(const ParsedArguments& parsed) {
    if (!parsed.Has("--jobs")) {
        return std::max(1u, std::thread::hardware_concurrency());
    }
    const std::string& text = parsed.options.at("--jobs").back();
    unsigned jobs = 0;
    const std::from_chars_result end =
        std::from_chars(text.data(), text.data() + text.size(), jobs);
    if (end.ec != std::errc() || end.ptr != text.data() + text.size() || jobs < 1 ||
        jobs > kMaxJobs) {
        throw UsageError("--jobs takes a number from 1 to " + std::to_string(kMaxJobs) + ": " +
                         text);
    }
    return jobs;
}

}  // namespace

int RunScanCommand(const std::vector<std::string>& args) {
    const ParsedArguments parsed = ParseArguments(args,
                                                  {{"--jobs", true},
                                                   {"--inflate", false},
                                                   {"--hash", true},
                                                   {"--files-from", true},
                                                   {"--files0-from", true}},
                                                  0, SIZE_MAX);
    const unsigned jobs = ParseJobs(parsed);
    ScanOptions options;
    options.inflate = parsed.Has("--inflate");
    if (parsed.Has("--hash")) {
        for (const std::string& list : parsed.options.at("--hash")) {
            try {
                for (const HashAlgorithm algorithm : ParseHashList(list)) {
                    if (std::find(options.hashes.begin(), options.hashes.end(), algorithm) ==
                        options.hashes.end()) {
                        options.hashes.push_back(algorithm);
                    }
                }
            } catch (const std::invalid_argument& error) {
                throw UsageError(std::string("--hash: ") + error.what());
            }
        }
    }
    if (parsed.operands.empty() && !parsed.Has("--files-from") && !parsed.Has("--files0-from")) {
        throw UsageError("missing operand");
    }
    const auto start = std::chrono::steady_clock::now();

    std::vector<std::string> named = parsed.operands;
    for (const auto& [option, separator] :
         {std::pair<const char*, char>{"--files-from", '\n'}, {"--files0-from", '\0'}}) {
        if (!parsed.Has(option)) {
            continue;
        }
        for (const std::string& list : parsed.options.at(option)) {
            try {
                const std::vector<std::string> listed = ReadPathList(list, separator);
                named.insert(named.end(), listed.begin(), listed.end());
            } catch (const std::exception& raised) {
                WriteError("velpin-cli scan: cannot read the list " + list + ": " +
                           ErrorBoxText(raised.what()));
                return exitFailure;
            }
        }
    }

    bool complete = true;
    std::vector<ScanPath> paths;
    for (const std::string& path : named) {
        std::error_code error;
        if (fs::is_directory(path, error)) {
            complete = WalkFolder(path, paths) && complete;
        } else {
            paths.push_back({path, true});
        }
    }
    std::stable_sort(paths.begin(), paths.end(),
                     [](const ScanPath& a, const ScanPath& b) { return a.path < b.path; });
    paths.erase(std::unique(paths.begin(), paths.end(),
                            [](const ScanPath& a, const ScanPath& b) { return a.path == b.path; }),
                paths.end());

    const std::size_t workerCount = jobs;
    RowQueue rows(workerCount * kLinesAheadPerJob);
    ScanInputCounts counts;
    const ScanInputOptions inputOptions{options.inflate, options.hashes};
    std::vector<std::thread> workers;
    try {
        while (workers.size() < workerCount) {
            workers.emplace_back([&]() {
                while (std::optional<std::pair<std::size_t, ScanTask>> task = rows.Take()) {
                    const std::uint64_t held =
                        task->second.held ? task->second.held->bytes.size() : 0;
                    ScanResult result = ScanMovie(task->second, options);
                    task->second.held.reset();
                    rows.Put(task->first, std::move(result), held);
                }
            });
        }
    } catch (const std::system_error&) {
        // Fewer threads than asked for only make the scan slower.
    }
    std::thread reader;
    if (!workers.empty()) {
        try {
            reader = std::thread([&]() {
                counts = ProduceScanTasks(paths, inputOptions,
                                          [&rows](ScanTask task) { rows.Push(std::move(task)); });
                rows.Close();
            });
        } catch (const std::system_error&) {
        }
    }
    if (!reader.joinable()) {
        rows.Close();
        for (std::thread& worker : workers) {
            worker.join();
        }
        WriteError("velpin-cli scan: cannot start a thread");
        return exitFailure;
    }

    StdoutWriter out;
    Progress progress(paths.size());
    std::int64_t rowCount = 0;
    std::int64_t loaded = 0;
    std::int64_t bytes = 0;
    std::size_t pathsDone = 0;
    while (std::optional<ScanResult> result = rows.Next([&]() {
        // A movie that takes long lets the lines before it out, so a slow scan still streams.
        out.Flush();
        progress.Show(pathsDone);
    })) {
        ++rowCount;
        loaded += result->loaded ? 1 : 0;
        bytes += result->bytes;
        pathsDone = result->pathIndex;
        out.Put(result->line);
        progress.Show(pathsDone);
    }
    reader.join();
    for (std::thread& worker : workers) {
        worker.join();
    }
    out.Flush();
    progress.Clear();

    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    std::fprintf(stderr,
                 "scan: %lld files, %lld loaded, %lld failed, %lld bytes, %lld containers, "
                 "%lld other entries, %.3f seconds\n",
                 static_cast<long long>(paths.size()), static_cast<long long>(loaded),
                 static_cast<long long>(rowCount - loaded), static_cast<long long>(bytes),
                 static_cast<long long>(counts.containers),
                 static_cast<long long>(counts.otherEntries), seconds.count());
    return loaded == rowCount && complete ? exitOk : exitFailure;
}
