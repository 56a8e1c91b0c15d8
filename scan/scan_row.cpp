#include "scan/scan_row.h"

#include <algorithm>
#include <utility>

#include "archive/byte_stream.h"
#include "archive/container_walk.h"
#include "archive/decode_budget.h"
#include "base/error.h"
#include "input/embedded_movies.h"
#include "swfff/errors.h"
#include "swfff/scoped_movie.h"

namespace velpin {

namespace {

// How deep --nested follows movies inside movies: as deep as containers nest.
constexpr std::size_t kMaxEmbeddedLevels = kMaxContainerLevels;

// What a row costs besides the bytes of its movie: a load, a document and a line, whatever the
// movie's size. Counted for every movie --nested finds, so that tiny movies by the million run
// out of the budget as surely as a few large ones do.
constexpr std::uint64_t kEmbeddedRowCost = 4096;

// How much text of rows waits before it is handed on ahead of the rest of a task's rows.
constexpr std::size_t kRowPartBytes = 64 * 1024;

// A loose file to be digested is read once, as an entry is, and loaded from the bytes held: the
// load gives what it gives for the file itself.
HeldMovie HoldFile(const std::string& path, const ScanOptions& options) {
    FileStream file(path);
    return HoldMovie(file, options.inflate, options.maxSize, options.hashes);
}

}  // namespace

namespace {

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

// Fills in what a row says of a movie once loaded (or not) into `document`, with what a lenient
// load found, and appends the row.
// With --export, the assets of the movie read, whose stored bytes are `stored`.
void ExportAssets(const CInputScript& movie, ScanRow& row, const ScanOptions& options,
                  const std::uint8_t* stored, std::size_t storedSize) {
    row.exported.emplace();
    if (!row.movie) {
        return;
    }
    const std::string sha256 =
        DigestBytes({HashAlgorithm::Sha256}, stored, storedSize).front().second;
    try {
        *row.exported = ExportMovieOnce(movie, options.exportFolder, sha256, options.exportLine);
    } catch (...) {
        const Error error = CurrentError();
        row.exported = MovieExport{};
        row.exportError = error.File().empty() ? error.what() : error.File() + ": " + error.what();
    }
}

void DescribeLoad(CInputScript& movie, ScanRow& row, const MovieFaults& faults,
                  const ScanOptions& options, const Surroundings& around, const RowWriter& write,
                  ScanLine& scanned, const std::uint8_t* stored = nullptr,
                  std::size_t storedSize = 0) {
    if (row.result && options.lenient && faults.load.readable) {
        row.faults = faults;
    }
    if (row.result == loadOk || row.faults) {
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
    if (!options.exportFolder.empty()) {
        ExportAssets(movie, row, options, stored, storedSize);
    }
    ++scanned.rows;
    // Assets that were not written fail the scan as a movie that did not load does.
    scanned.loaded +=
        row.result == loadOk && (!row.faults || row.faults->None()) && row.exportError.empty() ? 1
                                                                                               : 0;
    write(row, scanned.text);
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

// The movies inside one, and those inside them, each charged to the budget of the movie they all
// lie in; their rows are handed on in parts as they come.
class EmbeddedScan {
  public:
    EmbeddedScan(const ScanTask& task, const ScanOptions& options, const Surroundings& around,
                 const RowWriter& write, const RowParts& handOn, std::uint64_t storedBytes,
                 ScanLine& scanned)
        : task_(task),
          options_(options),
          around_(around),
          write_(write),
          handOn_(handOn),
          budget_(storedBytes, DecodeBudget::kBaseBytes),
          scanned_(scanned) {}

    // Scans the movies in `inside` and those in them. False once nothing more is to be scanned:
    // the budget ran out, or the rows are no longer wanted.
    bool Scan(const EmbeddedCopies& inside) {
        for (const auto& [index, data] : inside.movies) {
            chain_.push_back(index);
            EmbeddedCopies deeper;
            const bool more = ScanOne(data, deeper) && Scan(deeper);
            chain_.pop_back();
            if (!more) {
                return false;
            }
        }
        return true;
    }

  private:
    ScanRow NewRow() const {
        ScanRow row;
        row.path = *task_.path;
        row.entry = task_.entry;
        row.provenance = task_.provenance;
        row.embedded = chain_;
        row.lenient = options_.lenient;
        row.maxSize = options_.maxSize;
        return row;
    }

    // The row of the movie at the chain's end, and what is inside it in `deeper`.
    bool ScanOne(const ByteSpan& data, EmbeddedCopies& deeper) {
        ScopedMovie document;
        ScanRow row = NewRow();
        MovieFaults faults;
        if (chain_.size() > kMaxEmbeddedLevels) {
            static_cast<MovieHead&>(row.head) = ParseMovieHead(data.bytes, data.size);
            row.head.size = static_cast<std::int64_t>(data.size);
            row.error = NestedTooDeepText();
        } else {
            try {
                row.result = LoadMovieBytesInput(document.movie, *task_.path, data.bytes, data.size,
                                                 data.size, options_.inflate, options_.maxSize,
                                                 &row.head, options_.lenient ? &faults : nullptr);
            } catch (...) {
                row.error = CurrentError().what();
            }
        }
        // Only a load fills FileBytes: with a movie inflated, more than its data.
        const std::uint64_t loadedBytes =
            FileBytes != nullptr ? std::max<std::uint64_t>(data.size, FileBytesLength) : data.size;
        if (!options_.hashes.empty()) {
            row.hashes = DigestBytes(options_.hashes, data.bytes, data.size);
        }
        try {
            budget_.Charge(kEmbeddedRowCost + loadedBytes);
        } catch (const BudgetError& error) {
            ScanRow ended = NewRow();
            ended.head = row.head;
            ended.hashes = row.hashes;
            ended.error = error.what();
            DescribeLoad(document.movie, ended, faults, options_, around_, write_, scanned_);
            return false;
        }
        DescribeLoad(document.movie, row, faults, options_, around_, write_, scanned_, data.bytes,
                     data.size);
        if (row.movie && chain_.size() <= kMaxEmbeddedLevels) {
            deeper = CopyEmbeddedMovies(document.movie);
        }
        return HandOnRows();
    }

    // Hands on the rows so far once they make a part; false when they are no longer wanted.
    bool HandOnRows() {
        if (scanned_.text.size() < kRowPartBytes) {
            return true;
        }
        ScanLine part;
        part.text.swap(scanned_.text);
        part.rows = std::exchange(scanned_.rows, 0);
        part.loaded = std::exchange(scanned_.loaded, 0);
        return handOn_(std::move(part));
    }

    const ScanTask& task_;
    const ScanOptions& options_;
    const Surroundings& around_;
    const RowWriter& write_;
    const RowParts& handOn_;
    DecodeBudget budget_;
    ScanLine& scanned_;
    std::vector<std::int64_t> chain_;
};

}  // namespace

ScanLine ScanMovie(const ScanTask& task, const ScanOptions& options, const RowWriter& write,
                   const RowParts& handOn) {
    ScanLine scanned;
    const Surroundings around = SurroundingsOf(task);
    EmbeddedCopies inside;
    {
        ScopedMovie document;
        ScanRow row;
        row.path = *task.path;
        row.entry = task.entry;
        row.provenance = task.provenance;
        row.lenient = options.lenient;
        row.maxSize = options.maxSize;
        MovieFaults faults;
        MovieFaults* const lenient = options.lenient ? &faults : nullptr;
        scanned.unreadable = task.failure && task.failure->Class() == ErrorClass::Unreadable;
        std::optional<HeldMovie> fileHeld;
        // The bytes the load works from, if any: the entry's, or the file's once read.
        const std::optional<HeldMovie>& held = *(task.held ? &task.held : &fileHeld);
        if (task.failure) {
            row.error = task.failure->what();
        } else {
            try {
                // Exported assets go under the digest of the file's bytes.
                if (!task.held && (!options.hashes.empty() || !options.exportFolder.empty())) {
                    fileHeld = HoldFile(*task.path, options);
                }
                row.result =
                    held ? LoadMovieBytesInput(document.movie, *task.path, held->bytes.data(),
                                               held->bytes.size(), held->size, options.inflate,
                                               options.maxSize, &row.head, lenient)
                         : LoadMovieInput(document.movie, *task.path, options.inflate,
                                          options.maxSize, &row.head, lenient);
                // A file on disk whose size was just taken and whose head or body then cannot be
                // read failed in its reading, not in its content.
                scanned.unreadable = !held && (row.result == loadHeaderReadFailed ||
                                               row.result == loadFileReadFailed);
            } catch (...) {
                const Error error = CurrentError();
                row.error = error.what();
                scanned.unreadable = error.Class() == ErrorClass::Unreadable;
            }
        }
        if (!options.hashes.empty()) {
            row.hashes = !held ? std::nullopt
                         : held->hashes
                             ? held->hashes
                             : DigestBytes(options.hashes, held->bytes.data(), held->bytes.size());
        }
        scanned.bytes = row.head.size.value_or(0);
        DescribeLoad(document.movie, row, faults, options, around, write, scanned,
                     held ? held->bytes.data() : nullptr, held ? held->bytes.size() : 0);
        // A movie read as far as it goes has its items read as a whole: the movies in them are
        // as much there as in a movie that loads.
        if (options.nested && row.movie) {
            inside = CopyEmbeddedMovies(document.movie);
        }
    }
    if (!inside.movies.empty()) {
        // Its size as stored, as a container's budget counts it.
        EmbeddedScan(task, options, around, write, handOn,
                     static_cast<std::uint64_t>(std::max<std::int64_t>(scanned.bytes, 0)), scanned)
            .Scan(inside);
    }
    return scanned;
}

}  // namespace velpin
