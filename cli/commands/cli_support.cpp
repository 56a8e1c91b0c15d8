#include "cli/commands/cli_support.h"

#include <cstdio>

#include "Unit1/presentation/ErrorBoxText.h"
#include "swfff/errors.h"
#include "swfff/outfile.h"

namespace {

constexpr std::size_t kFlushBytes = 1 << 20;

// The file the error being handled was about, when it says, else `fallback`.
std::string FileOfCurrentError(const std::string& fallback) {
    try {
        throw;
    } catch (const EInOutError& error) {
        if (!error.Path.empty()) {
            return error.Path;
        }
    } catch (...) {
        // Nothing else the core raises is about a file.
    }
    return fallback;
}

}  // namespace

void WriteErrorLine(std::string_view message) {
    WriteNoteLine("velpin-cli: " + std::string(message));
}

void WriteErrorLine(std::string_view path, std::string_view message) {
    WriteNoteLine("velpin-cli: " + std::string(path) + ": " + std::string(message));
}

void WriteNoteLine(std::string_view line) {
    // One write, so that lines of processes sharing the stream do not interleave.
    std::string text(line);
    text.push_back('\n');
    std::fwrite(text.data(), 1, text.size(), stderr);
}

void StdoutWriter::Put(std::string_view text) {
    buffer_.append(text);
    MaybeFlush();
}

void StdoutWriter::MaybeFlush() {
    if (buffer_.size() >= kFlushBytes) {
        Flush();
    }
}

void StdoutWriter::Flush() {
    // A failed write sets the stream's error flag, which main checks before it exits.
    std::fwrite(buffer_.data(), 1, buffer_.size(), stdout);
    buffer_.clear();
}

void WriteJsonFailure(const MovieOutcome& outcome, bool noFaults) {
    StdoutWriter out;
    JsonWriter json(out.Buffer());
    BeginJsonEnvelope(json, outcome);
    if (noFaults) {
        json.Key("faults");
        json.Null();
    }
    json.EndObject();
    out.Put("\n");
}

int RunReportingRaisedErrors(OutputMode mode, const std::string& path,
                             const std::function<int()>& command, bool noFaults) {
    try {
        return command();
    } catch (const UsageError&) {
        throw;
    } catch (const ECodecError& error) {
        // Outside `inflate` and `compress`, which report their own, the codec only ever fails
        // here while inflating a subcommand's input.
        WriteErrorLine(path, std::string("Error Inflating file! (") + error.what() + ")");
        if (mode == OutputMode::Json) {
            WriteJsonFailure({std::nullopt, error.what()}, noFaults);
        }
        return exitFailure;
    } catch (...) {
        const std::string shown = DescribeCurrentException();
        WriteErrorLine(FileOfCurrentError(path), shown);
        if (mode == OutputMode::Json) {
            WriteJsonFailure({std::nullopt, shown}, noFaults);
        }
        return exitFailure;
    }
}

bool WriteOutputFile(const std::string& path, const std::function<void(const ByteSink&)>& produce) {
    struct WriteFailed {};
    OutputFile out;
    out.Create(path);
    try {
        produce([&out](const std::uint8_t* bytes, std::size_t count) {
            if (!out.Write(bytes, count)) {
                throw WriteFailed();
            }
        });
    } catch (const WriteFailed&) {
        return false;
    }
    // Flushed first, so that a failed last write is reported as a failed write, not a commit.
    if (!out.Flush()) {
        return false;
    }
    out.Commit();
    return true;
}
