#include "cli/commands/cli_support.h"

#include <cstdio>
#include <new>

#include "Unit1/presentation/ErrorBoxText.h"
#include "cli/json/json_writer.h"
#include "swfff/errors.h"
#include "swfff/outfile.h"

namespace {

constexpr std::size_t kFlushBytes = 1 << 20;

int ReportRaisedError(const std::string& message, OutputMode mode) {
    const std::string shown = ErrorBoxText(message);
    WriteError(shown);
    if (mode == OutputMode::Json) {
        StdoutWriter out;
        out.Put("{\"result\": null, \"error\": " + JsonString(shown) + "}\n");
    }
    return exitFailure;
}

}  // namespace

void WriteError(const std::string& line) {
    std::fputs((line + "\n").c_str(), stderr);
}

ParsedArguments ParseArguments(const std::vector<std::string>& args,
                               const std::vector<OptionSpec>& known, std::size_t operandCount) {
    return ParseArguments(args, known, operandCount, operandCount);
}

ParsedArguments ParseArguments(const std::vector<std::string>& args,
                               const std::vector<OptionSpec>& known, std::size_t minOperands,
                               std::size_t maxOperands) {
    ParsedArguments parsed;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            parsed.operands.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        const OptionSpec* spec = nullptr;
        for (const OptionSpec& candidate : known) {
            if (candidate.name == arg) {
                spec = &candidate;
            }
        }
        if (spec == nullptr) {
            throw UsageError("unknown option " + arg);
        }
        std::vector<std::string>& values = parsed.options[arg];
        if (spec->takesValue) {
            if (i + 1 == args.size()) {
                throw UsageError("option " + arg + " needs a value");
            }
            values.push_back(args[++i]);
        }
    }
    if (parsed.operands.size() < minOperands) {
        throw UsageError("missing operand");
    }
    if (parsed.operands.size() > maxOperands) {
        throw UsageError("extra operand " + parsed.operands[maxOperands]);
    }
    return parsed;
}

std::uint64_t ParseIndex(const std::string& text) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) {
        throw UsageError("not an index: " + text);
    }
    constexpr std::uint64_t kBeyondAnyList = std::uint64_t{1} << 40;
    std::uint64_t value = 0;
    for (const char digit : text) {
        value = value * 10 + static_cast<std::uint64_t>(digit - '0');
        if (value >= kBeyondAnyList) {
            return kBeyondAnyList;
        }
    }
    return value;
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

int RunReportingRaisedErrors(OutputMode mode, const std::function<int()>& command) {
    try {
        return command();
    } catch (const UsageError&) {
        throw;
    } catch (const ECodecError& error) {
        // Outside `inflate` and `compress`, which report their own, the codec only ever fails
        // here while inflating a subcommand's input.
        WriteError(std::string("Error Inflating file! (") + error.what() + ")");
        if (mode == OutputMode::Json) {
            StdoutWriter out;
            out.Put("{\"result\": null, \"error\": " + JsonString(error.what()) + "}\n");
        }
        return exitFailure;
    } catch (const std::bad_alloc&) {
        return ReportRaisedError(EOutOfMemory().what(), mode);
    } catch (const std::exception& error) {
        return ReportRaisedError(error.what(), mode);
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
