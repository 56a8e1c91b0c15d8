#include "cli/commands/codec_commands.h"

#include <cstdint>
#include <functional>
#include <vector>

#include "Unit1/presentation/MessageTexts.h"
#include "cli/codec/swfcodec.h"
#include "cli/commands/cli_support.h"
#include "cli/commands/movie_input.h"

namespace {

// Converts IN to OUT through the safe output file: OUT appears, complete, only on success.
int Convert(const std::string& failure, const std::string& inPath, const std::string& outPath,
            const std::function<ConversionSummary(const std::vector<std::uint8_t>&,
                                                  const ByteSink&)>& convert,
            bool verbose) {
    return RunReportingRaisedErrors(OutputMode::Plain, inPath, [&]() {
        ConversionSummary summary;
        try {
            const std::vector<std::uint8_t> input = ReadInputFile(inPath);
            const bool written = WriteOutputFile(
                outPath, [&](const ByteSink& sink) { summary = convert(input, sink); });
            if (!written) {
                WriteErrorLine(outPath, kSaveFailedText);
                return static_cast<int>(exitFailure);
            }
        } catch (const ECodecError& error) {
            WriteErrorLine(inPath, failure + " (" + error.what() + ")");
            return static_cast<int>(exitFailure);
        }
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

int RunInflateCommand(const ConvertOptions& options) {
    // Real movies carry a stray newline or signature after their stream, and players load them;
    // the window can only open them once inflated, so the movie is kept and the rest left out.
    std::size_t trailing = 0;
    const int status = Convert(
        "Error Inflating file!", options.in, options.out,
        [&trailing](const std::vector<std::uint8_t>& input, const ByteSink& sink) {
            return InflateMovie(input.data(), input.size(), sink, &trailing);
        },
        options.verbose);
    if (status == exitOk && trailing != 0) {
        WriteErrorLine(options.in, BytesAfterTheStream(trailing) +
                                       ", and the movie is written without " +
                                       (trailing == 1 ? "it" : "them"));
    }
    return status;
}

int RunCompressCommand(const ConvertOptions& options) {
    const MovieCompression method = options.lzma ? MovieCompression::Lzma : MovieCompression::Zlib;
    return Convert(
        "Error Compressing file!", options.in, options.out,
        [method](const std::vector<std::uint8_t>& input, const ByteSink& sink) {
            return CompressMovie(input.data(), input.size(), method, sink);
        },
        false);
}
