#include "export/collection_export.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "export/movie_export.h"
#include "swfff/fileio.h"

namespace velpin {

namespace {

// A folder removed with what it holds unless kept.
class TemporaryFolder {
  public:
    explicit TemporaryFolder(const std::string& pattern) : path_(pattern) {
        if (mkdtemp(path_.data()) == nullptr) {
            RaiseIoError(errno, pattern, IoOp::Create);
        }
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    ~TemporaryFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

}  // namespace

MovieExport ExportMovieOnce(const CInputScript& movie, const std::string& root,
                            const std::string& sha256, const ManifestLineWriter& line) {
    const std::string parent = root + "/" + sha256.substr(0, 2);
    MovieExport exported{parent + "/" + sha256, 0, 0};
    std::vector<AssetPlan> plans = PlanMovieExport(movie, {});
    struct stat info;
    if (stat(exported.folder.c_str(), &info) == 0) {
        const ExportCounts counts = CountMovieExport(plans);
        exported.files = counts.files;
        exported.errors = counts.errors;
        return exported;
    }
    std::error_code failed;
    std::filesystem::create_directories(parent, failed);
    if (failed) {
        RaiseIoError(failed.value(), parent, IoOp::Create);
    }
    TemporaryFolder temporary(parent + "/." + sha256 + "-XXXXXX");
    const ExportCounts counts = WriteMovieExport(plans, temporary.Path(), line);
    exported.files = counts.files;
    exported.errors = counts.errors;
    // Another job that met the same movie at the same time may have put its folder in place
    // first; it holds the same files.
    if (rename(temporary.Path().c_str(), exported.folder.c_str()) != 0 && errno != EEXIST &&
        errno != ENOTEMPTY) {
        RaiseIoError(errno, exported.folder, IoOp::Rename);
    }
    return exported;
}

}  // namespace velpin
