#include "scan/scan_paths.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <unordered_set>
#include <utility>

#include "archive/container_walk.h"
#include "swfff/fileio.h"

namespace velpin {

namespace {

namespace fs = std::filesystem;

// An explicit stack of folders still to read, so that a deep tree costs no call-stack depth.
void WalkFolder(const fs::path& root, std::vector<ScanPath>& paths) {
    std::vector<fs::path> folders{root};
    while (!folders.empty()) {
        const fs::path folder = std::move(folders.back());
        folders.pop_back();
        std::error_code error;
        for (fs::directory_iterator it(folder, error); !error && it != fs::directory_iterator();
             it.increment(error)) {
            // The entry's type as the folder listing gave it, without a call per entry; a link
            // is a link, never the folder it leads to.
            std::error_code kindError;
            if (!it->is_symlink(kindError) && it->is_directory(kindError)) {
                folders.push_back(it->path());
                continue;
            }
            const std::string& path = it->path().native();
            const std::string_view name = std::string_view(path).substr(path.rfind('/') + 1);
            if ((HasMovieSuffix(name) || HasContainerSuffix(name)) &&
                it->is_regular_file(kindError)) {
                paths.push_back({path, false});
            }
        }
        if (error) {
            paths.push_back({folder.string(), false, false, error.message()});
        }
    }
}

// Whether lexically_normal would give `path` back as it is: no empty, "." or ".." component and
// no separator at the end. Most paths are, and are then taken without being parsed and rebuilt.
bool IsLexicallyNormal(std::string_view path) {
    if (path.empty() || path == "/") {
        return path == "/";
    }
    std::size_t start = path.front() == '/' ? 1 : 0;
    for (;;) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        const std::string_view component = path.substr(start, end - start);
        if (component.empty() || component == "." || component == "..") {
            return false;
        }
        if (end == path.size()) {
            return true;
        }
        start = end + 1;
    }
}

}  // namespace

std::vector<ScanPath> CollectScanInputs(const std::vector<std::string>& operands) {
    std::vector<ScanPath> paths;
    for (const std::string& operand : operands) {
        std::error_code error;
        if (fs::is_directory(operand, error)) {
            WalkFolder(operand, paths);
        } else {
            paths.push_back({operand, true});
        }
    }
    std::sort(paths.begin(), paths.end(),
              [](const ScanPath& a, const ScanPath& b) { return a.path < b.path; });
    // "dir" and "dir/" reach the same files under different spellings, as does a file named
    // beside its folder: each is scanned once, under the first spelling in path order.
    std::unordered_set<std::string> seen;
    std::vector<ScanPath> unique;
    unique.reserve(paths.size());
    for (ScanPath& path : paths) {
        if (seen.insert(IsLexicallyNormal(path.path)
                            ? path.path
                            : fs::path(path.path).lexically_normal().string())
                .second) {
            unique.push_back(std::move(path));
        }
    }
    return unique;
}

std::vector<std::string> ReadPathList(const std::string& listPath, char separator) {
    std::string text;
    InputFile list;
    if (listPath != "-") {
        list.Open(listPath);
    }
    char block[64 * 1024];
    for (;;) {
        const std::int64_t got = listPath == "-" ? read(STDIN_FILENO, block, sizeof block)
                                                 : list.Read(block, sizeof block);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            RaiseIoError(errno, listPath, IoOp::Read);
        }
        text.append(block, static_cast<std::size_t>(got));
        if (got == 0 || (listPath != "-" && got < static_cast<std::int64_t>(sizeof block))) {
            break;
        }
    }
    std::vector<std::string> paths;
    // Editors on some systems start a UTF-8 text with a byte-order mark, which no path begins with.
    static constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    std::size_t start =
        separator == '\n' && text.compare(0, kByteOrderMark.size(), kByteOrderMark) == 0
            ? kByteOrderMark.size()
            : 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find(separator, start), text.size());
        // A list written with CR LF line ends names no path ending in CR.
        const std::size_t stop =
            separator == '\n' && end > start && text[end - 1] == '\r' ? end - 1 : end;
        if (stop > start) {
            paths.push_back(text.substr(start, stop - start));
        }
        start = end + 1;
    }
    return paths;
}

}  // namespace velpin
