#include "codec/movie_output.h"

#include <vector>

#include "base/error.h"
#include "swfff/errors.h"
#include "swfff/outfile.h"
#include "swfff/writer.h"

namespace velpin {

bool WriteOutputFile(const std::string& path, const std::function<void(const ByteSink&)>& produce) {
    OutputFile out;
    try {
        out.Create(path);
    } catch (const EInOutError&) {
        throw CurrentOutputError(path);
    }
    bool failed = false;
    produce([&out, &failed](const std::uint8_t* bytes, std::size_t count) {
        failed = failed || !out.Write(bytes, count);
    });
    // Flushed first, so that a failed last write is reported as a failed write, not a commit.
    if (failed || !out.Flush()) {
        return false;
    }
    try {
        out.Commit();
    } catch (const EInOutError&) {
        throw CurrentOutputError(path);
    }
    return true;
}

bool SaveMovieIn(CInputScript& movie, Signature signature, bool fws, const std::string& out) {
    if (fws || !IsCompressed(signature)) {
        try {
            return SaveMovieFile(movie, out) == 0;
        } catch (const EInOutError&) {
            throw CurrentOutputError(out);
        }
    }
    const std::vector<std::uint8_t> bytes = SavedMovieBytes(movie);
    const MovieCompression method =
        signature == Signature::Zws ? MovieCompression::Lzma : MovieCompression::Zlib;
    try {
        return WriteOutputFile(out, [&](const ByteSink& sink) {
            CompressMovie(bytes.data(), bytes.size(), method, sink);
        });
    } catch (const Error& error) {
        // Only a coder that cannot start gets here: what a save makes is always a valid movie.
        throw Error(ErrorClass::Content, ErrorSubject::Output, error.what());
    }
}

}  // namespace velpin
