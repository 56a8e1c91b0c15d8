#include "cli/commands/scan_input.h"

#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "Unit1/presentation/ErrorBoxText.h"
#include "cli/archive/container_walk.h"
#include "cli/commands/cli_support.h"
#include "cli/commands/movie_input.h"
#include "swfff/errors.h"
#include "swfff/fileio.h"

namespace {

namespace fs = std::filesystem;

// Hands each movie entry on as soon as it has been read, so that the entries of one container are
// loaded in parallel while the next ones are read.
class EntryProducer : public ContainerVisitor {
  public:
    EntryProducer(const ScanInputOptions& options, const std::function<void(ScanTask)>& push,
                  const ScanTask& base)
        : options_(options), push_(push), base_(base) {}

    void Movie(const std::vector<std::string>& entry, ByteStream& bytes) override {
        ScanTask task = base_;
        task.entry = entry;
        try {
            task.held = HoldEntry(
                bytes,
                [this](const std::uint8_t* start, std::size_t count) {
                    return MovieHoldLimit(start, count, options_.inflate);
                },
                options_.hashes);
        } catch (const EEntryError& error) {
            task.failure = error.what();
        }
        push_(std::move(task));
    }

    void Failure(const std::vector<std::string>& entry, const std::string& message) override {
        ScanTask task = base_;
        task.entry = entry;
        task.failure = message;
        push_(std::move(task));
    }

  private:
    const ScanInputOptions& options_;
    const std::function<void(ScanTask)>& push_;
    const ScanTask& base_;
};

// Whether a file named by the user holds a container: by its first bytes, whatever its name.
// A file that cannot be read is left to the movie load, which reports it as for any movie.
bool HoldsContainer(const std::string& path) {
    try {
        FileStream file(path);
        std::vector<std::uint8_t> head(kRecogniseBytes);
        head.resize(ReadFully(file, head.data(), head.size()));
        return !StartsMovie(head.data(), head.size()) &&
               RecogniseContainer(head.data(), head.size()) != ContainerKind::None;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace

std::vector<std::string> ReadPathList(const std::string& listPath, char separator) {
    std::string text;
    const auto readAll = [&text, &listPath](int fd) {
        char block[64 * 1024];
        for (;;) {
            const ssize_t got = read(fd, block, sizeof block);
            if (got == 0) {
                return;
            }
            if (got < 0) {
                if (errno == EINTR) {
                    continue;
                }
                RaiseIoError(errno, listPath, IoOp::Read);
            }
            text.append(block, static_cast<std::size_t>(got));
        }
    };
    if (listPath == "-") {
        readAll(STDIN_FILENO);
    } else {
        InputFile list;
        list.Open(listPath);
        const std::int64_t size = list.Size();
        text.resize(static_cast<std::size_t>(size));
        if (list.Read(text.data(), size) != size) {
            RaiseIoError(errno, listPath, IoOp::Read);
        }
        list.Close();
    }
    std::vector<std::string> paths;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find(separator, start), text.size());
        if (end > start) {
            paths.push_back(text.substr(start, end - start));
        }
        start = end + 1;
    }
    return paths;
}

bool WalkFolder(const std::string& root, std::vector<ScanPath>& paths) {
    bool complete = true;
    std::vector<fs::path> folders{root};
    while (!folders.empty()) {
        const fs::path folder = std::move(folders.back());
        folders.pop_back();
        std::error_code error;
        for (fs::directory_iterator it(folder, error); !error && it != fs::directory_iterator();
             it.increment(error)) {
            std::error_code kindError;
            const std::string name = it->path().filename().string();
            if (it->symlink_status(kindError).type() == fs::file_type::directory) {
                folders.push_back(it->path());
            } else if ((HasMovieSuffix(name) || HasContainerSuffix(name)) &&
                       it->is_regular_file(kindError)) {
                paths.push_back({it->path().string(), false});
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

ScanInputCounts ProduceScanTasks(const std::vector<ScanPath>& paths,
                                 const ScanInputOptions& options,
                                 const std::function<void(ScanTask)>& push) {
    ScanInputCounts counts;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        ScanTask task;
        task.pathIndex = i;
        task.path = &paths[i].path;
        const bool container =
            paths[i].named ? HoldsContainer(paths[i].path) : HasContainerSuffix(paths[i].path);
        if (!container) {
            push(std::move(task));
            continue;
        }
        ++counts.containers;
        EntryProducer producer(options, push, task);
        try {
            counts.otherEntries += WalkContainerFile(paths[i].path, producer);
        } catch (const std::bad_alloc&) {
            producer.Failure({}, ErrorBoxText(EOutOfMemory().what()));
        } catch (const std::exception& raised) {
            producer.Failure({}, ErrorBoxText(raised.what()));
        }
    }
    return counts;
}
