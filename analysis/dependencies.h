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
    // A name that is `tail`, or else the first, in byte order, that ends with '/' followed by
    // `tail`; nothing when there is none.
    virtual std::optional<std::string> FindPathEnding(std::string_view tail) const = 0;
};

// The names of one container, held once each and looked up in logarithmic time.
class NameList : public PresentNames {
  public:
    void Add(std::string_view name);
    // Sorts what was added; lookups are valid only after it.
    void Seal();
    bool Has(std::string_view name) const override;
    std::optional<std::string> FindPathEnding(std::string_view tail) const override;

  private:
    // Each name reversed, so that a path ending is a prefix and one binary search finds it.
    std::vector<std::string> reversed_;
};

// The file system as seen from the working folder: a name is present when it is a regular file.
class FilesOnDisk : public PresentNames {
  public:
    bool Has(std::string_view name) const override;
    std::optional<std::string> FindPathEnding(std::string_view) const override {
        return std::nullopt;
    }
};

enum class DependencyList { Present, Missing, External };

// One reference and what to fetch for it.
struct Dependency {
    std::string reference;  // as `info` prints it
    // The path in the collection that was looked for (present, missing), or the absolute URL
    // (external, and every reference of a web archive's record).
    std::string target;

    bool operator==(const Dependency& other) const {
        return reference == other.reference && target == other.target;
    }
    bool operator<(const Dependency& other) const {
        return reference != other.reference ? reference < other.reference : target < other.target;
    }
};

struct Dependencies {
    // Each sorted by the references' bytes, without duplicates.
    std::vector<Dependency> present;
    std::vector<Dependency> missing;
    std::vector<Dependency> external;
};

struct PlacedReference {
    DependencyList list = DependencyList::Missing;
    std::string target;
};

// Where the reference `text` (a URL when `isUrl`, a file name otherwise) belongs for a movie at
// `at`, whose surroundings hold `present`. A file name is a path, its percent-escapes decoded and
// a backslash taken for a separator, as movies made on Windows write them; its fragment is no
// part of it, nor is its query outside a web archive. One that starts with "//" names a host: a
// URL of the record's scheme in a web archive, external elsewhere.
PlacedReference PlaceReference(const MovieLocation& at, std::string_view text, bool isUrl,
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

// `text` with each '%' and two hex digits made the byte they stand for; a '%' without them stays.
std::string PercentDecoded(std::string_view text);

}  // namespace velpin
