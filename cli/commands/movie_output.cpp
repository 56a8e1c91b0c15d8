#include "cli/commands/movie_output.h"

#include <stdexcept>
#include <vector>

#include "cli/codec/swfcodec.h"
#include "cli/commands/cli_support.h"
#include "swfff/writer.h"

bool SaveMovieIn(CInputScript& movie, Container container, bool fws, const std::string& out) {
    if (fws || !IsCompressed(container)) {
        return SaveMovieFile(movie, out) == 0;
    }
    const std::vector<std::uint8_t> bytes = SavedMovieBytes(movie);
    const MovieCompression method =
        container == Container::Zws ? MovieCompression::Lzma : MovieCompression::Zlib;
    try {
        return WriteOutputFile(out, [&](const ByteSink& sink) {
            CompressMovie(bytes.data(), bytes.size(), method, sink);
        });
    } catch (const ECodecError& error) {
        // Only a coder that cannot start gets here: what a save makes is always a valid movie.
        // Named here, since any other codec error a subcommand meets is an inflation's.
        throw std::runtime_error(std::string("Error Compressing file! (") + error.what() + ")");
    }
}
