// What every velpin-cli subcommand shares: its command line, its output, and how it reports a
// failed load or an error the core raises.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
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
};

// Bad usage: the subcommand stops before it writes any file; main shows the usage.
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// One line to standard error, the newline added.
void WriteError(const std::string& line);

struct OptionSpec {
    std::string name;  // with its dashes, e.g. "--json"
    bool takesValue;
};

// A subcommand's command line: options (each value of a repeated option kept, in order) and
// operands. "--" ends the options.
struct ParsedArguments {
    std::map<std::string, std::vector<std::string>> options;
    std::vector<std::string> operands;

    bool Has(const std::string& option) const { return options.count(option) != 0; }
};

// Raises UsageError for an unknown option, a missing option value, or an operand count other
// than `operandCount`.
ParsedArguments ParseArguments(const std::vector<std::string>& args,
                               const std::vector<OptionSpec>& known, std::size_t operandCount);
// The same for a subcommand that takes from `minOperands` to `maxOperands` operands.
ParsedArguments ParseArguments(const std::vector<std::string>& args,
                               const std::vector<OptionSpec>& known, std::size_t minOperands,
                               std::size_t maxOperands);

// A list index as `tags` prints it: decimal digits only, no sign; raises UsageError otherwise.
// Values too large for any list come back as a value beyond every list, for the range check.
std::uint64_t ParseIndex(const std::string& text);

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
