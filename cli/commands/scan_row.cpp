#include "cli/commands/scan_row.h"

#include "Unit1/presentation/ErrorBoxText.h"
#include "cli/archive/byte_stream.h"
#include "cli/commands/cli_support.h"
#include "cli/commands/json_envelope.h"
#include "cli/commands/movie_faults.h"
#include "cli/info/embedded_movies.h"
#include "cli/info/info_output.h"
#include "swfff/errors.h"
#include "swfff/scoped_movie.h"

namespace {

// How deep --nested follows movies inside movies.
constexpr std::size_t kMaxEmbeddedLevels = 3;

template <typename T>
std::optional<std::int64_t> Widened(const std::optional<T>& value) {
    return value ? std::optional<std::int64_t>(*value) : std::nullopt;
}

// A loose file to be digested is read once, as an entry is, and loaded from the bytes held: the
// load gives what it gives for the file itself.
HeldMovie HoldFile(const std::string& path, const ScanOptions& options) {
    FileStream file(path);
    return HoldMovie(file, options.inflate, options.hashes);
}

void WriteStrings(JsonWriter& json, const std::vector<std::string>& strings) {
    json.BeginArray();
    for (const std::string& text : strings) {
        json.String(text);
    }
    json.EndArray();
}

}  // namespace

void WriteScanRow(JsonWriter& json, const ScanRow& row) {
    json.BeginObject();
    json.Key("path");
    json.String(row.path);
    json.Key("entry");
    if (row.entry) {
        WriteStrings(json, *row.entry);
    } else {
        json.Null();
    }
    json.Key("embedded");
    if (!row.embedded.empty()) {
        json.BeginArray();
        for (const std::int64_t index : row.embedded) {
            json.Integer(index);
        }
        json.EndArray();
    } else {
        json.Null();
    }
    json.Key("size");
    json.IntegerOrNull(row.head.size);
    if (row.hashes) {
        json.Key("hashes");
        if (*row.hashes) {
            json.BeginObject();
            for (const auto& [algorithm, hex] : **row.hashes) {
                json.Key(HashName(algorithm));
                json.String(hex);
            }
            json.EndObject();
        } else {
            json.Null();
        }
    }
    json.Key("container");
    json.StringOrNull(ContainerSignature(row.head.container));
    json.Key("version");
    json.IntegerOrNull(Widened(row.head.version));
    json.Key("declaredLength");
    json.IntegerOrNull(Widened(row.head.declaredLength));
    WriteOutcomeMembers(json, {row.result, row.error});
    if (row.lenient) {
        WriteFaultsJson(json, row.faults);
    }
    json.Key("movie");
    if (row.movie) {
        json.BeginObject();
        WriteMovieStatistics(json, *row.movie);
        if (row.info) {
            json.Key("info");
            WriteInfoJson(json, *row.info);
        }
        json.EndObject();
    } else {
        json.Null();
    }
    if (row.dependencies) {
        json.Key("dependencies");
        if (*row.dependencies) {
            json.BeginObject();
            json.Key("present");
            WriteStrings(json, (*row.dependencies)->present);
            json.Key("missing");
            WriteStrings(json, (*row.dependencies)->missing);
            json.Key("external");
            WriteStrings(json, (*row.dependencies)->external);
            json.EndObject();
        } else {
            json.Null();
        }
    }
    json.EndObject();
}

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
void DescribeLoad(CInputScript& movie, ScanRow& row, const MovieFaults& faults,
                  const ScanOptions& options, const Surroundings& around, ScanLine& scanned) {
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
    ++scanned.rows;
    scanned.loaded += row.result == loadOk && (!row.faults || row.faults->None()) ? 1 : 0;
    JsonWriter json(scanned.text);
    WriteScanRow(json, row);
    scanned.text.push_back('\n');
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
                  std::vector<std::int64_t>& chain, const EmbeddedCopies& inside,
                  ScanLine& scanned) {
    for (const auto& [index, data] : inside.movies) {
        chain.push_back(index);
        EmbeddedCopies deeper;
        {
            ScopedMovie document;
            ScanRow row;
            row.path = *task.path;
            row.entry = task.entry;
            row.embedded = chain;
            row.lenient = options.lenient;
            MovieFaults faults;
            try {
                row.result = LoadMovieBytesInput(document.movie, *task.path, data.bytes, data.size,
                                                 data.size, options.inflate, &row.head,
                                                 options.lenient ? &faults : nullptr);
            } catch (const ECodecError& codecError) {
                row.error = codecError.what();
            } catch (...) {
                row.error = DescribeCurrentException();
            }
            if (!options.hashes.empty()) {
                row.hashes = DigestBytes(options.hashes, data.bytes, data.size);
            }
            DescribeLoad(document.movie, row, faults, options, around, scanned);
            if (row.movie && chain.size() < kMaxEmbeddedLevels) {
                deeper = CopyEmbeddedMovies(document.movie);
            }
        }
        ScanEmbedded(task, options, around, chain, deeper, scanned);
        chain.pop_back();
    }
}

}  // namespace

ScanLine ScanMovie(const ScanTask& task, const ScanOptions& options) {
    ScanLine scanned;
    const Surroundings around = SurroundingsOf(task);
    EmbeddedCopies inside;
    {
        ScopedMovie document;
        ScanRow row;
        row.path = *task.path;
        row.entry = task.entry;
        row.lenient = options.lenient;
        MovieFaults faults;
        MovieFaults* const lenient = options.lenient ? &faults : nullptr;
        scanned.unreadable = task.unreadable;
        std::optional<HeldMovie> fileHeld;
        // The bytes the load works from, if any: the entry's, or the file's once read.
        const std::optional<HeldMovie>& held = *(task.held ? &task.held : &fileHeld);
        if (task.failure) {
            row.error = *task.failure;
        } else {
            try {
                if (!task.held && !options.hashes.empty()) {
                    fileHeld = HoldFile(*task.path, options);
                }
                row.result =
                    held ? LoadMovieBytesInput(document.movie, *task.path, held->bytes.data(),
                                               held->bytes.size(), held->size, options.inflate,
                                               &row.head, lenient)
                         : LoadMovieInput(document.movie, *task.path, options.inflate, &row.head,
                                          lenient);
                // A file on disk whose size was just taken and whose head or body then cannot be
                // read failed in its reading, not in its content.
                scanned.unreadable = !held && (row.result == loadHeaderReadFailed ||
                                               row.result == loadFileReadFailed);
            } catch (const ECodecError& codecError) {
                row.error = codecError.what();
            } catch (const EInOutError&) {
                row.error = DescribeCurrentException();
                scanned.unreadable = true;
            } catch (...) {
                row.error = DescribeCurrentException();
            }
        }
        if (!options.hashes.empty()) {
            row.hashes = !held ? std::nullopt
                         : held->hashes
                             ? held->hashes
                             : DigestBytes(options.hashes, held->bytes.data(), held->bytes.size());
        }
        scanned.bytes = row.head.size.value_or(0);
        DescribeLoad(document.movie, row, faults, options, around, scanned);
        // A movie read as far as it goes has its items read as a whole: the movies in them are
        // as much there as in a movie that loads.
        if (options.nested && row.movie) {
            inside = CopyEmbeddedMovies(document.movie);
        }
    }
    std::vector<std::int64_t> chain;
    ScanEmbedded(task, options, around, chain, inside, scanned);
    return scanned;
}
