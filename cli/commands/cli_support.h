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

// One line to standard error, the newline added.
void WriteError(const std::string& line);

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

// The object a JSON output is replaced by when there is no movie to print: the load result, or
// null when the load raised an error, and the error in words.
void WriteJsonErrorObject(const std::optional<std::int64_t>& result, std::string_view error);

// Runs `command`; an error the core raises ends it and is reported exactly as the window's error
// box would show it, and a compressed input that cannot be inflated as `inflate` reports it.
// UsageError passes through.
int RunReportingRaisedErrors(OutputMode mode, const std::function<int()>& command);

// Writes the file `path` through the safe output file: `produce` hands the bytes to the sink it
// is given, and the file appears, complete, only when every byte was written. Returns false when
// a write failed; the output is then discarded and a file that was there keeps its bytes. Raises
// what OutputFile's Create and Commit raise; what `produce` raises passes through, the output
// discarded.
bool WriteOutputFile(const std::string& path, const std::function<void(const ByteSink&)>& produce);
