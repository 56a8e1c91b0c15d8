// velpin-cli scan: one JSON line per movie of a collection. Several threads load movies at once,
// each into a document of its own (FileBytes is per thread), and one writer prints the lines in
// path order.
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <mutex>
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
constexpr auto kProgressInterval = std::chrono::milliseconds(100);

bool HasSwfExtension(const std::string& name) {
    if (name.size() < 4) {
        return false;
    }
    std::string extension = name.substr(name.size() - 4);
    for (char& c : extension) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return extension == ".swf";
}

// Adds the .swf files under `root` to `paths`. Links to folders are not followed, so no walk can
// go round in a loop. Returns false when a folder could not be read (it is reported).
bool WalkFolder(const fs::path& root, std::vector<std::string>& paths) {
    bool complete = true;
    std::vector<fs::path> folders{root};
    while (!folders.empty()) {
        const fs::path folder = std::move(folders.back());
        folders.pop_back();
        std::error_code error;
        for (fs::directory_iterator it(folder, error); !error && it != fs::directory_iterator();
             it.increment(error)) {
            std::error_code kindError;
            if (it->symlink_status(kindError).type() == fs::file_type::directory) {
                folders.push_back(it->path());
            } else if (HasSwfExtension(it->path().filename().string()) &&
                       it->is_regular_file(kindError)) {
                paths.push_back(it->path().string());
            }
        }
        if (error) {
            WriteError("velpin-cli scan: cannot read folder " + folder.string() + ": " +
                       error.message());
            complete = false;
        }
    }
    return complete;
}

struct ScanResult {
    std::string line;
    bool loaded = false;
    std::int64_t bytes = 0;
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

// The "movie" object of a loaded movie, with its info when asked for.
void AppendMovie(std::string& text, const CInputScript& movie, bool withInfo) {
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
    AppendNumber(text, ", \"trailingBytes\": ", TrailingBytes(movie));
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
    text += '}';
    if (withInfo) {
        text += ", \"info\": ";
        JsonWriter json(text);
        WriteInfoJson(json, ComputeMovieInfo(movie));
    }
    text += '}';
}

template <typename T>
std::optional<std::int64_t> Widened(const std::optional<T>& value) {
    return value ? std::optional<std::int64_t>(*value) : std::nullopt;
}

// Loads one movie on the calling thread and describes it; a movie that fails is described too.
ScanResult ScanMovie(const std::string& path, bool inflate, bool withInfo) {
    ScopedMovie document;
    InputHead head;
    std::optional<std::int32_t> result;
    std::string error;
    try {
        result = LoadMovieInput(document.movie, path, inflate, &head);
    } catch (const ECodecError& codecError) {
        error = codecError.what();
    } catch (const std::bad_alloc&) {
        error = ErrorBoxText(EOutOfMemory().what());
    } catch (const std::exception& raised) {
        error = ErrorBoxText(raised.what());
    }

    ScanResult scanned;
    scanned.loaded = result == loadOk;
    scanned.bytes = head.size.value_or(0);
    std::string& text = scanned.line;
    AppendText(text, "{\"path\": ", path);
    AppendNumber(text, ", \"size\": ", head.size);
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
        AppendMovie(text, document.movie, withInfo);
    } else {
        text += ", \"movie\": null";
    }
    text += "}\n";
    return scanned;
}

// Hands the workers' results to the one writer in path order. A worker takes the next path only
// while it is less than `window` ahead of the result to be written next.
class OrderedResults {
  public:
    OrderedResults(std::size_t total, std::size_t window)
        : total_(total), window_(window), slots_(window) {}

    // The index of the next path to scan; nothing once every path is taken.
    std::optional<std::size_t> Take() {
        std::unique_lock<std::mutex> lock(mutex_);
        roomAhead_.wait(lock, [this] { return next_ == total_ || next_ < written_ + window_; });
        if (next_ == total_) {
            return std::nullopt;
        }
        return next_++;
    }

    void Put(std::size_t index, ScanResult result) {
        std::lock_guard<std::mutex> lock(mutex_);
        Slot& slot = slots_[index % window_];
        slot.result = std::move(result);
        slot.ready = true;
        resultReady_.notify_one();
    }

    // The result of the path at `index`, the next one to be written; `whileWaiting` runs, without
    // the lock, each time it has been waited for kProgressInterval.
    ScanResult Next(std::size_t index, const std::function<void()>& whileWaiting) {
        std::unique_lock<std::mutex> lock(mutex_);
        Slot& slot = slots_[index % window_];
        while (!resultReady_.wait_for(lock, kProgressInterval, [&slot] { return slot.ready; })) {
            lock.unlock();
            whileWaiting();
            lock.lock();
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
    std::condition_variable resultReady_;  // only the writer waits here
    std::condition_variable roomAhead_;    // workers that ran a whole window ahead wait here
    const std::size_t total_;
    const std::size_t window_;
    std::vector<Slot> slots_;
    std::size_t next_ = 0;
    std::size_t written_ = 0;
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
    const ParsedArguments parsed = ParseArguments(
        args, {{"--jobs", true}, {"--inflate", false}, {"--info", false}}, 1, SIZE_MAX);
    const unsigned jobs = ParseJobs(parsed);
    const bool inflate = parsed.Has("--inflate");
    const bool withInfo = parsed.Has("--info");
    const auto start = std::chrono::steady_clock::now();

    bool complete = true;
    std::vector<std::string> paths;
    for (const std::string& operand : parsed.operands) {
        std::error_code error;
        if (fs::is_directory(operand, error)) {
            complete = WalkFolder(operand, paths) && complete;
        } else {
            paths.push_back(operand);
        }
    }
    std::sort(paths.begin(), paths.end());
    paths.erase(std::unique(paths.begin(), paths.end()), paths.end());

    const std::size_t workerCount =
        std::min<std::size_t>(jobs, std::max<std::size_t>(paths.size(), 1));
    OrderedResults results(paths.size(), workerCount * kLinesAheadPerJob);
    std::vector<std::thread> workers;
    try {
        while (workers.size() < workerCount) {
            workers.emplace_back([&]() {
                while (const std::optional<std::size_t> index = results.Take()) {
                    results.Put(*index, ScanMovie(paths[*index], inflate, withInfo));
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
    for (std::size_t i = 0; i < paths.size(); ++i) {
        ScanResult result = results.Next(i, [&]() {
            // A movie that takes long lets the lines before it out, so a slow scan still streams.
            out.Flush();
            progress.Show(i);
        });
        loaded += result.loaded ? 1 : 0;
        bytes += result.bytes;
        out.Put(result.line);
        progress.Show(i + 1);
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    out.Flush();
    progress.Clear();

    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    const auto files = static_cast<std::int64_t>(paths.size());
    std::fprintf(stderr, "scan: %lld files, %lld loaded, %lld failed, %lld bytes, %.3f seconds\n",
                 static_cast<long long>(files), static_cast<long long>(loaded),
                 static_cast<long long>(files - loaded), static_cast<long long>(bytes),
                 seconds.count());
    return loaded == files && complete ? exitOk : exitFailure;
}
