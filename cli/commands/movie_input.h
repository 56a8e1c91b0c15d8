// How every velpin-cli subcommand gets its movie: the input file read under the codec's cap, a
// compressed movie inflated in memory with --inflate, and the load that follows; and how a
// failed load is reported.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/codec/container.h"
#include "cli/commands/cli_support.h"
#include "swfff/document.h"
#include "swfff/loader.h"

// What a file says before anything is loaded: its size (unknown until the file is open), and what
// its first bytes say.
struct InputHead : MovieHead {
    std::optional<std::int64_t> size;
};

// A compressed movie's stream that did not end as it should: it stopped early or broke (`cut`),
// or other bytes follow its end.
struct StreamFault {
    Container container = Container::None;
    std::uint64_t inflated = 0;  // the movie's bytes produced, its 8 header bytes included
    std::string reason;
    bool cut = false;
};

// What a lenient load found, in the order found. Only a readable movie (`load.readable`) has
// faults to give; any other is refused as without leniency.
struct MovieFaults {
    std::optional<StreamFault> stream;
    LoadFaults load;

    bool None() const { return !stream && !load.lengthDiffers && load.walk.result == loadOk; }
};

// Reads a whole file. The cap is checked against the file's real size before anything is
// allocated, so no header field decides how much memory is taken. Raises EInOutError, and
// ECodecError for a file over the codec's input limit.
std::vector<std::uint8_t> ReadInputFile(const std::string& path);

// Loads the movie at `path` into `script` and returns the load result. Without `inflate` this is
// LoadMovieFile itself, so a compressed movie gives -5 as in the window. With it, a CWS or ZWS
// file is inflated in memory, with the checks and limits of `velpin-cli inflate`, and loaded
// from those bytes under the name `path`; any other file is loaded as without it. `head`, when
// given, receives what the file's first bytes say. Raises what LoadMovieFile raises, and
// ECodecError when a compressed movie cannot be inflated. Bytes after the end of a whole
// compressed stream are no error. With `lenient`, the load is lenient and a stream that breaks
// off gives the bytes it produced as the movie; both are faults, stored there with the load's.
std::int32_t LoadMovieInput(CInputScript& script, const std::string& path, bool inflate,
                            InputHead* head = nullptr, MovieFaults* lenient = nullptr);

// Loads a movie held in memory as LoadMovieInput loads a file of `size` bytes that starts with
// the `held` bytes at `bytes`: the same checks, limits, results and errors, and `head` filled
// the same way. `held` may fall short of `size` only once it is past MovieHoldLimit: the load and
// the codec refuse such a movie by its size alone.
std::int32_t LoadMovieBytesInput(CInputScript& script, const std::string& name,
                                 const std::uint8_t* bytes, std::size_t held, std::uint64_t size,
                                 bool inflate, InputHead* head = nullptr,
                                 MovieFaults* lenient = nullptr);

// How many bytes of an entry that starts with `start` (up to 3 bytes) LoadMovieBytesInput needs:
// one more than the loader's limit, or with `inflate` for a compressed movie one more than the
// most that a movie within that limit can take compressed.
std::size_t MovieHoldLimit(const std::uint8_t* start, std::size_t count, bool inflate);

// Reports a load of `path` that returned the nonzero `result` and gives the exit status. A
// compressed movie refused with -5 gets a hint that names --inflate after the usual text; the
// movie's container is `known`, or read from the file. A lenient load's JSON says that it has no
// faults to give.
int ReportLoadFailure(std::int32_t result, OutputMode mode, const std::string& path,
                      bool lenient = false, std::optional<Container> known = std::nullopt);

// What a subcommand that works on one loaded movie asks for.
struct MovieCommandInput {
    std::string path;
    bool inflate = false;
    OutputMode mode = OutputMode::Plain;
    bool lenient = false;
    // The movie embedded in these items, each inside the one before, instead of the file's own.
    std::vector<std::uint64_t> embedded;
};

// What a subcommand is given beside the document: what the file's first bytes say when --inflate
// read them (and always, for an embedded movie, its data's first bytes), and with --lenient the
// load's result and its faults (an embedded movie's own).
struct LoadedInput {
    InputHead head;
    std::int32_t result = loadOk;
    std::optional<MovieFaults> faults;
};

// Replaces the movie loaded in `script` with the one in the data of its item `index`, as a file
// of those bytes would be loaded, and returns the load result; `head` receives what the data's
// first bytes say. With `lenient` the load is lenient, as LoadMovieInput's, and the faults are
// those of the embedded movie alone. Raises UsageError for an index out of range, an item that is
// no DefineBinaryData, or data that is no movie.
std::int32_t LoadEmbeddedMovie(CInputScript& script, std::uint64_t index, bool inflate,
                               InputHead& head, MovieFaults* lenient = nullptr);

// The one way a subcommand loads its movie and prints from it: loads `input` into a document of
// its own, reports a failed load, and otherwise runs `use` on the loaded movie. A lenient load
// goes on with a movie it could read as far as it goes, writes its faults to standard error in
// the plain form, and fails (1) unless it found none. Errors raised on the way are reported as
// RunReportingRaisedErrors does. Returns the exit status.
int RunOnLoadedMovie(const MovieCommandInput& input,
                     const std::function<int(CInputScript&, const LoadedInput&)>& use);
