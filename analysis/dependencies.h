// Where the files and addresses a movie references are, measured against what lies around the
// movie: the folder of a loose file, the entries of the archive that holds it, or the records of
// the web archive it was crawled into. Resolution is pure: the names it looks in are handed in.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velpin {

enum class MoviePlace {
    LooseFile,     // `where` is the movie file's path
    ArchiveEntry,  // `where` is the entry's path inside its zip, 7z or tar
    WarcRecord,    // `where` is the record's WARC-Target-URI
};

struct MovieLocation {
    MoviePlace place = MoviePlace::LooseFile;
    std::string where;
};

// The names a reference is looked up in: files on disk, entry paths or target URIs.
class PresentNames {
  public:
    virtual ~PresentNames() = default;
    virtual bool Has(std::string_view name) const = 0;
    // Whether some name is `tail`, or ends with '/' followed by `tail`.
    virtual bool HasPathEnding(std::string_view tail) const = 0;
};

// The names of one container, held once each and looked up in logarithmic time.
class NameList : public PresentNames {
  public:
    void Add(std::string_view name);
    // Sorts what was added; lookups are valid only after it.
    void Seal();
    bool Has(std::string_view name) const override;
    bool HasPathEnding(std::string_view tail) const override;

  private:
    // Each name reversed, so that a path ending is a prefix and one binary search finds it.
    std::vector<std::string> reversed_;
};

// The file system as seen from the working folder: a name is present when it is a regular file.
class FilesOnDisk : public PresentNames {
  public:
    bool Has(std::string_view name) const override;
    bool HasPathEnding(std::string_view) const override { return false; }
};

enum class DependencyList { Present, Missing, External };

struct Dependencies {
    // Each as `info` prints the references, sorted by their bytes, without duplicates.
    std::vector<std::string> present;
    std::vector<std::string> missing;
    std::vector<std::string> external;
};

// Which list the reference `text` (a URL when `isUrl`, a file name otherwise) belongs in for a
// movie at `at`, whose surroundings hold `present`.
DependencyList PlaceReference(const MovieLocation& at, std::string_view text, bool isUrl,
                              const PresentNames& present);

// Every file and URL placed, each once.
Dependencies PlaceReferences(const MovieLocation& at, const std::vector<std::string_view>& files,
                             const std::vector<std::string_view>& urls,
                             const PresentNames& present);

// `path` with "." and empty segments dropped and ".." applied. A ".." above the start stays in a
// relative path when `keepLeadingUp`, is dropped at the root of an absolute one, and otherwise
// leaves nothing to name.
std::optional<std::string> NormalisePath(std::string_view path, bool keepLeadingUp);

// RFC 3986 reference resolution of `reference` against `base`, without the fragment. Nothing when
// neither is an absolute URI.
std::optional<std::string> ResolveUri(std::string_view base, std::string_view reference);

}  // namespace velpin
