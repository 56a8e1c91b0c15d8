#include "cli/commands/cli_support.h"

#include <cstdio>

#include "Unit1/presentation/ErrorBoxText.h"
#include "swfff/outfile.h"

namespace {

constexpr std::size_t kFlushBytes = 1 << 20;

}  // namespace

void WriteError(const std::string& line) {
    std::fputs((line + "\n").c_str(), stderr);
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

void WriteJsonErrorObject(const std::optional<std::int64_t>& result, std::string_view error,
                          bool noFaults) {
    StdoutWriter out;
    JsonWriter json(out.Buffer());
    json.BeginObject();
    json.Key("result");
    json.IntegerOrNull(result);
    json.Key("error");
    json.String(error);
    if (noFaults) {
        json.Key("faults");
        json.Null();
    }
    json.EndObject();
    out.Put("\n");
}

void WriteLoadEnvelope(JsonWriter& json, std::int32_t result) {
    json.Key("result");
    json.Integer(result);
    json.Key("reason");
    json.StringOrNull(result != loadOk ? std::optional<std::string_view>(LoadResultReason(result))
                                       : std::nullopt);
    json.Key("error");
    json.Null();
}

int RunReportingRaisedErrors(OutputMode mode, const std::function<int()>& command, bool noFaults) {
    try {
        return command();
    } catch (const UsageError&) {
        throw;
    } catch (const ECodecError& error) {
        // Outside `inflate` and `compress`, which report their own, the codec only ever fails
        // here while inflating a subcommand's input.
        WriteError(std::string("Error Inflating file! (") + error.what() + ")");
        if (mode == OutputMode::Json) {
            WriteJsonErrorObject(std::nullopt, error.what(), noFaults);
        }
        return exitFailure;
    } catch (...) {
        const std::string shown = DescribeCurrentException();
        WriteError(shown);
        if (mode == OutputMode::Json) {
            WriteJsonErrorObject(std::nullopt, shown, noFaults);
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
