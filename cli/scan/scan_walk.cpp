#include "cli/scan/scan_walk.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <unordered_set>
#include <utility>

namespace {

namespace fs = std::filesystem;

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

// An explicit stack of folders still to read, so that a deep tree costs no call-stack depth.
bool WalkFolder(const fs::path& root, std::vector<std::string>& paths,
                const std::function<void(const std::string&, const std::string&)>& report) {
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
            report(folder.string(), error.message());
            complete = false;
        }
    }
    return complete;
}

}  // namespace

ScanInputs CollectScanInputs(
    const std::vector<std::string>& operands,
    const std::function<void(const std::string& folder, const std::string& reason)>&
        reportUnreadable) {
    ScanInputs inputs;
    for (const std::string& operand : operands) {
        std::error_code error;
        if (fs::is_directory(operand, error)) {
            inputs.complete =
                WalkFolder(operand, inputs.paths, reportUnreadable) && inputs.complete;
        } else {
            inputs.paths.push_back(operand);
        }
    }
    std::sort(inputs.paths.begin(), inputs.paths.end());
    // "dir" and "dir/" reach the same files under different spellings, as does a file named
    // beside its folder: each is scanned once, under the first spelling in path order.
    std::unordered_set<std::string> seen;
    std::vector<std::string> unique;
    unique.reserve(inputs.paths.size());
    for (std::string& path : inputs.paths) {
        if (seen.insert(fs::path(path).lexically_normal().string()).second) {
            unique.push_back(std::move(path));
        }
    }
    inputs.paths = std::move(unique);
    return inputs;
}
