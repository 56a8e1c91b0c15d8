#include "codec_commands.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <vector>

#include "cli_support.h"
#include "errors.h"
#include "fileio.h"
#include "outfile.h"
#include "swfcodec.h"

namespace {

// Raised by the output sink when a write fails; OutputFile has already discarded the output.
struct WriteFailed {};

// Reads the whole input. The cap is checked against the file's real size before anything is
// allocated, so no header field decides how much memory is taken.
std::vector<std::uint8_t> ReadInput(const std::string& path) {
    InputFile in;
    in.Open(path);
    const std::int64_t size = in.Size();
    if (size < 0 || static_cast<std::uint64_t>(size) > kMaxCodecInputBytes) {
        throw ECodecError("the file is larger than the limit of " +
                          std::to_string(kMaxCodecInputBytes) + " bytes");
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    const std::int64_t got = in.Read(bytes.data(), size);
    if (got < 0) {
        RaiseIoError(errno, path, IoOp::Read);
    }
    if (got != size) {
        throw EInOutError(ioReadBeyondEnd);
    }
    in.Close();
    return bytes;
}

// Converts IN to OUT through the safe output file: OUT appears, complete, only on success.
int Convert(const std::string& failure, const std::string& inPath, const std::string& outPath,
            const std::function<ConversionSummary(const std::vector<std::uint8_t>&,
                                                  const ByteSink&)>& convert,
            bool verbose) {
    return RunReportingRaisedErrors(OutputMode::Plain, [&]() {
        OutputFile out;
        ConversionSummary summary;
        try {
            const std::vector<std::uint8_t> input = ReadInput(inPath);
            out.Create(outPath);
            summary = convert(input, [&](const std::uint8_t* bytes, std::size_t count) {
                if (!out.Write(bytes, count)) {
                    throw WriteFailed();
                }
            });
            if (!out.Flush()) {
                throw WriteFailed();
            }
        } catch (const ECodecError& error) {
            // OutputFile's destructor discards what was written so far.
            std::fputs((failure + " (" + error.what() + ")\n").c_str(), stderr);
            return static_cast<int>(exitFailure);
        } catch (const WriteFailed&) {
            std::fputs("Error Saving file!\n", stderr);
            return static_cast<int>(exitFailure);
        }
        out.Commit();
        if (verbose) {
            StdoutWriter stdoutWriter;
            stdoutWriter.Put(summary.fromSignature + " version " + std::to_string(summary.version) +
                             ", " + std::to_string(summary.inputBytes) + " bytes -> " +
                             summary.toSignature + " version " + std::to_string(summary.version) +
                             ", " + std::to_string(summary.outputBytes) + " bytes\n");
        }
        return static_cast<int>(exitOk);
    });
}

}  // namespace

int RunInflateCommand(const std::vector<std::string>& args) {
    const ParsedArguments parsed = ParseArguments(args, {{"-v", false}}, 2);
    return Convert(
        "Error Inflating file!", parsed.operands[0], parsed.operands[1],
        [](const std::vector<std::uint8_t>& input, const ByteSink& sink) {
            return InflateMovie(input.data(), input.size(), sink);
        },
        parsed.Has("-v"));
}

int RunCompressCommand(const std::vector<std::string>& args) {
    const ParsedArguments parsed = ParseArguments(args, {{"--lzma", false}}, 2);
    const MovieCompression method =
        parsed.Has("--lzma") ? MovieCompression::Lzma : MovieCompression::Zlib;
    return Convert(
        "Error Compressing file!", parsed.operands[0], parsed.operands[1],
        [method](const std::vector<std::uint8_t>& input, const ByteSink& sink) {
            return CompressMovie(input.data(), input.size(), method, sink);
        },
        false);
}
