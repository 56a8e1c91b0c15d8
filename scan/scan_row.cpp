#include "scan/scan_row.h"

#include "archive/byte_stream.h"
#include "base/error.h"
#include "input/embedded_movies.h"
#include "swfff/errors.h"
#include "swfff/scoped_movie.h"

namespace velpin {

namespace {

// How deep --nested follows movies inside movies.
constexpr std::size_t kMaxEmbeddedLevels = 3;

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

void ScanEmbedded(const ScanTask& task, const ScanOptions& options, const Surroundings& around,
                  const RowWriter& write, std::vector<std::int64_t>& chain,
                  const EmbeddedCopies& inside, ScanLine& scanned) {
    for (const auto& [index, data] : inside.movies) {
        chain.push_back(index);
        EmbeddedCopies deeper;
        {
            ScopedMovie document;
            ScanRow row;
            row.path = *task.path;
            row.entry = task.entry;
            row.provenance = task.provenance;
            row.embedded = chain;
            row.lenient = options.lenient;
            row.maxSize = options.maxSize;
            MovieFaults faults;
            try {
                row.result = LoadMovieBytesInput(document.movie, *task.path, data.bytes, data.size,
                                                 data.size, options.inflate, options.maxSize,
                                                 &row.head, options.lenient ? &faults : nullptr);
            } catch (...) {
                row.error = CurrentError().what();
            }
            if (!options.hashes.empty()) {
                row.hashes = DigestBytes(options.hashes, data.bytes, data.size);
            }
            DescribeLoad(document.movie, row, faults, options, around, write, scanned, data.bytes,
                         data.size);
            if (row.movie && chain.size() < kMaxEmbeddedLevels) {
                deeper = CopyEmbeddedMovies(document.movie);
            }
        }
        ScanEmbedded(task, options, around, write, chain, deeper, scanned);
        chain.pop_back();
    }
}

}  // namespace

ScanLine ScanMovie(const ScanTask& task, const ScanOptions& options, const RowWriter& write) {
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
    std::vector<std::int64_t> chain;
    ScanEmbedded(task, options, around, write, chain, inside, scanned);
    return scanned;
}

}  // namespace velpin
