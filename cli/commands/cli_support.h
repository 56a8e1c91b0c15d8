// What every velpin-cli subcommand shares: its output, and how it reports bad usage, a failed
// load or an error the core raises.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "cli/codec/swfcodec.h"
#include "cli/commands/json_envelope.h"
#include "cli/json/json_writer.h"
#include "swfff/document.h"
#include "swfff/scoped_movie.h"

enum ExitStatus : int {
    exitOk = 0,
    exitFailure = 1,
    exitUsage = 2,
    // Some input could not be read at all (scan): worth running again, unlike a broken movie.
    exitUnreadable = 3,
};

// Bad usage found only once the movie is loaded (an index beyond its list): the subcommand stops
// before it writes any file, and main reports it as the parser reports its own.
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// An error as one line on standard error that names the program and, for an error about a file,
// the file: "velpin-cli: games/a.swf: File not found.", so that a shell loop over many files can
// tell which one failed.
void WriteErrorLine(std::string_view message);
void WriteErrorLine(std::string_view path, std::string_view message);

// A line on standard error that is not an error, such as a summary.
void WriteNoteLine(std::string_view line);

// Standard output through one large buffer: a tree of two million lines must not cost two
// million writes.
class StdoutWriter {
  public:
    StdoutWriter() = default;
    StdoutWriter(const StdoutWriter&) = delete;
    StdoutWriter& operator=(const StdoutWriter&) = delete;
    ~StdoutWriter() { Flush(); }

    // Append here, then call MaybeFlush() now and then.
    std::string& Buffer() { return buffer_; }
    void Put(std::string_view text);
    // Writes out the buffer once it has grown large.
    void MaybeFlush();
    void Flush();

  private:
    std::string buffer_;
};

enum class OutputMode { Plain, Json };

// The object a JSON output is replaced by when there is no movie to print: the envelope alone, and
// with `noFaults` a null "faults", as a lenient read that could read nothing gives.
void WriteJsonFailure(const MovieOutcome& outcome, bool noFaults = false);

// Runs `command`, which works on the file `path`; an error the core raises ends it and is
// reported as the window's error box would show it, and a compressed input that cannot be
// inflated as `inflate` reports it, each on an error line that names the file the error was
// about (an output file, for one), else `path`. UsageError passes through. `noFaults` as for
// WriteJsonFailure.
int RunReportingRaisedErrors(OutputMode mode, const std::string& path,
                             const std::function<int()>& command, bool noFaults = false);

// Writes the file `path` through the safe output file: `produce` hands the bytes to the sink it
// is given, and the file appears, complete, only when every byte was written. Returns false when
// a write failed; the output is then discarded and a file that was there keeps its bytes. Raises
// what OutputFile's Create and Commit raise; what `produce` raises passes through, the output
// discarded.
bool WriteOutputFile(const std::string& path, const std::function<void(const ByteSink&)>& produce);
