#include "cli/commands/scan_row.h"

#include "Unit1/presentation/ErrorBoxText.h"
#include "cli/archive/byte_stream.h"
#include "cli/commands/cli_support.h"
#include "cli/commands/json_envelope.h"
#include "cli/commands/movie_faults.h"
#include "cli/info/info_output.h"
#include "swfff/errors.h"
#include "swfff/scoped_movie.h"

namespace {

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

}  // namespace

void WriteScanRow(JsonWriter& json, const ScanRow& row) {
    json.BeginObject();
    json.Key("path");
    json.String(row.path);
    json.Key("entry");
    if (row.entry) {
        json.BeginArray();
        for (const std::string& name : *row.entry) {
            json.String(name);
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
    json.EndObject();
}

ScanLine ScanMovie(const ScanTask& task, const ScanOptions& options) {
    ScopedMovie document;
    ScanRow row;
    row.lenient = options.lenient;
    MovieFaults faults;
    MovieFaults* const lenient = options.lenient ? &faults : nullptr;
    row.path = *task.path;
    row.entry = task.entry;
    bool unreadable = task.unreadable;
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
            row.result = held ? LoadMovieBytesInput(document.movie, *task.path, held->bytes.data(),
                                                    held->bytes.size(), held->size, options.inflate,
                                                    &row.head, lenient)
                              : LoadMovieInput(document.movie, *task.path, options.inflate,
                                               &row.head, lenient);
            // A file on disk whose size was just taken and whose head or body then cannot be
            // read failed in its reading, not in its content.
            unreadable =
                !held && (row.result == loadHeaderReadFailed || row.result == loadFileReadFailed);
        } catch (const ECodecError& codecError) {
            row.error = codecError.what();
        } catch (const EInOutError&) {
            row.error = DescribeCurrentException();
            unreadable = true;
        } catch (...) {
            row.error = DescribeCurrentException();
        }
    }
    if (row.result && options.lenient && faults.load.readable) {
        row.faults = faults;
    }
    if (row.result == loadOk || row.faults) {
        row.movie = ComputeMovieStatistics(document.movie);
        if (options.info) {
            row.info = ComputeMovieInfo(document.movie);
        }
    }
    if (!options.hashes.empty()) {
        row.hashes = !held ? std::nullopt
                     : held->hashes
                         ? held->hashes
                         : DigestBytes(options.hashes, held->bytes.data(), held->bytes.size());
    }

    ScanLine scanned;
    scanned.loaded = row.result == loadOk && (!row.faults || row.faults->None());
    scanned.unreadable = unreadable;
    scanned.bytes = row.head.size.value_or(0);
    JsonWriter json(scanned.text);
    WriteScanRow(json, row);
    scanned.text.push_back('\n');
    return scanned;
}
