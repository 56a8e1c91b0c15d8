// How every command gets its movie: the input file read under the codec's cap, a compressed movie
// inflated in memory with --inflate, the load that follows, and the movies embedded in it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "codec/signature.h"
#include "input/movie_faults.h"
#include "swfff/document.h"
#include "swfff/loader.h"

namespace velpin {

// The largest movie the companion loads unless --max-size says otherwise; the window keeps the
// loader's kLargestMovieBytes. Big enough for the game movies that carry their bitmaps, sounds
// and other movies inside.
inline constexpr std::int64_t kDefaultMaxSize = std::int64_t{256} << 20;

// What a file says before anything is loaded: its size (unknown until the file is open), and what
// its first bytes say.
struct InputHead : MovieHead {
    std::optional<std::int64_t> size;
};

// Reads a whole file. The cap is checked against the file's real size before anything is
// allocated, so no header field decides how much memory is taken; a file whose size is 0 (a
// pipe, a FIFO, a device, a file of /proc) is read to its end as it comes, up to one byte past
// the cap. Raises EInOutError, and an Error about the input for a file over the codec's input
// limit.
std::vector<std::uint8_t> ReadInputFile(const std::string& path);

// Loads the movie at `path` into `script` and returns the load result. Without `inflate` this is
// LoadMovieFile itself, so a compressed movie gives -5 as in the window. With it, a CWS or ZWS
// file is inflated in memory, with the checks of `velpin-cli inflate`, and loaded from those
// bytes under the name `path`; any other file is loaded as without it. A movie over `maxSize`
// bytes gives -1; one that declares more is refused before it is inflated, and the codec's limit
// grows to `maxSize` when that is larger. `head`, when given, receives what the file's first bytes
// say. A file whose size is 0 (a pipe, a FIFO, a device, a file of /proc) is read to its end as it
// comes, as far as MovieHoldLimit, and loaded as LoadMovieBytesInput loads the bytes read. Raises
// what LoadMovieFile raises, and an
// Error about the input when a compressed movie cannot be inflated. Bytes after the end of a
// whole compressed stream are no error. With `lenient`, the load is lenient and a stream that
// breaks off gives the bytes it produced as the movie; both are faults, stored there with the
// load's.
std::int32_t LoadMovieInput(CInputScript& script, const std::string& path, bool inflate,
                            std::int64_t maxSize, InputHead* head = nullptr,
                            MovieFaults* lenient = nullptr);

// Loads a movie held in memory as LoadMovieInput loads a file of `size` bytes that starts with
// the `held` bytes at `bytes`: the same checks, limits, results and errors, and `head` filled
// the same way. `held` may fall short of `size` only once it is past MovieHoldLimit: the load and
// the codec refuse such a movie by its size alone.
std::int32_t LoadMovieBytesInput(CInputScript& script, const std::string& name,
                                 const std::uint8_t* bytes, std::size_t held, std::uint64_t size,
                                 bool inflate, std::int64_t maxSize, InputHead* head = nullptr,
                                 MovieFaults* lenient = nullptr);

// How many bytes of an entry that starts with `start` (up to 3 bytes) LoadMovieBytesInput needs:
// one more than `maxSize`, or with `inflate` for a compressed movie one more than the most that
// a movie within that limit can take compressed.
std::size_t MovieHoldLimit(const std::uint8_t* start, std::size_t count, bool inflate,
                           std::int64_t maxSize);

// What the first bytes of the file at `path` say; nothing known when it cannot be read.
MovieHead HeadOfFile(const std::string& path);

// Replaces the movie loaded in `script` with the one in the data of its item `index`, as a file
// of those bytes would be loaded, and returns the load result; `head` receives what the data's
// first bytes say. With `lenient` the load is lenient, as LoadMovieInput's, and the faults are
// those of the embedded movie alone. Raises a usage Error for an index out of range, an item that
// is no DefineBinaryData, or data that is no movie.
std::int32_t LoadEmbeddedMovie(CInputScript& script, std::uint64_t index, bool inflate,
                               std::int64_t maxSize, InputHead& head,
                               MovieFaults* lenient = nullptr);

// The movie a command asks for.
struct MovieRequest {
    std::string path;
    bool inflate = false;
    bool lenient = false;
    // The movie embedded in these items, each inside the one before, instead of the file's own.
    std::vector<std::uint64_t> embedded;
    std::int64_t maxSize = kDefaultMaxSize;  // the largest movie loaded, each embedded one too
};

// What a command is given beside the document: what the file's first bytes say when --inflate
// read them (and always, for an embedded movie, its data's first bytes), the load's result, and
// with --lenient its faults (an embedded movie's own).
struct LoadedInput {
    InputHead head;
    std::int32_t result = loadOk;
    std::optional<MovieFaults> faults;
    bool embedded = false;  // the movie is one embedded in the file's, and `head` is its data's
    // The movie's name in every line about it: the file's path, or MovieName of the embedded one.
    std::string name;
    std::int64_t maxSize = kDefaultMaxSize;  // the limit the load ran under

    // Whether there is a movie to work on: one that loaded, or one a lenient load could read as
    // far as it goes.
    bool Readable() const { return result == loadOk || (faults && faults->load.readable); }
};

// How lines name the movie in the data of item 12 of the file at `path`, and the one in item 3 of
// that: "a.swf[12][3]", of the first `levels` indices of `embedded`.
std::string MovieName(const std::string& path, const std::vector<std::uint64_t>& embedded,
                      std::size_t levels);

// Loads the movie `request` asks for into `script`: the file's own, then each embedded one in
// turn while there is a movie to look in. Raises what LoadMovieInput and LoadEmbeddedMovie raise;
// an Error raised on the way to an embedded movie names, as its File(), the movie it is about:
// the one an index is looked up in, or the embedded one that cannot be inflated.
LoadedInput LoadRequestedMovie(CInputScript& script, const MovieRequest& request);

}  // namespace velpin
