#include "cli/commands/codec_commands.h"

#include <cstdint>
#include <functional>
#include <vector>

#include "base/error.h"
#include "cli/commands/command_support.h"
#include "codec/movie_output.h"
#include "codec/swfcodec.h"
#include "input/movie_input.h"
#include "report/messages.h"
#include "report/output.h"

namespace velpin {

namespace {

// Converts IN to OUT through the safe output file: OUT appears, complete, only on success.
int Convert(std::string (*failureLine)(std::string_view), const std::string& inPath,
            const std::string& outPath,
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
                return ReportFailedWrite(outPath);
            }
        } catch (const Error& error) {
            if (error.Class() == ErrorClass::Unwritable) {
                throw;
            }
            WriteErrorLine(inPath, failureLine(error.what()));
            return static_cast<int>(exitFailure);
        }
        if (verbose) {
            StdoutWriter stdoutWriter;
            stdoutWriter.Put(FileLine(inPath, ConversionLine(summary)) + "\n");
        }
        return static_cast<int>(exitOk);
    });
}

}  // namespace

void AddInflateCommand(CLI::App& app, ConvertOptions& options, CommandRun& run) {
    CLI::App* inflate = WithExitStatuses(
        app.add_subcommand("inflate", "turn a compressed movie (CWS or ZWS) into FWS"),
        {{exitOk, "the movie was inflated and written"},
         {exitFailure, "IN could not be read or inflated"}});
    inflate->add_flag("-v", options.verbose, "print a one-line summary");
    inflate->add_option("IN", options.in, "the compressed movie")->required();
    inflate->add_option("OUT", options.out, "the file to write")->required();
    inflate->callback(
        [&options, &run] { run = [&options] { return RunInflateCommand(options); }; });
}

void AddCompressCommand(CLI::App& app, ConvertOptions& options, CommandRun& run) {
    CLI::App* compress = WithExitStatuses(
        app.add_subcommand("compress", "turn an FWS movie into CWS (zlib) or ZWS (LZMA)"),
        {{exitOk, "the movie was compressed and written"},
         {exitFailure, "IN could not be read or is not an FWS movie"}});
    compress->add_flag("--lzma", options.lzma, "write ZWS (LZMA) instead of CWS (zlib)");
    compress->add_option("IN", options.in, "the movie")->required();
    compress->add_option("OUT", options.out, "the file to write")->required();
    compress->callback(
        [&options, &run] { run = [&options] { return RunCompressCommand(options); }; });
}

int RunInflateCommand(const ConvertOptions& options) {
    // Real movies carry a stray newline or signature after their stream, and players load them;
    // the window can only open them once inflated, so the movie is kept and the rest left out.
    std::size_t trailing = 0;
    const int status = Convert(
        InflateFailureLine, options.in, options.out,
        [&trailing](const std::vector<std::uint8_t>& input, const ByteSink& sink) {
            return InflateMovie(input.data(), input.size(), sink, &trailing);
        },
        options.verbose);
    if (status == exitOk && trailing != 0) {
        WriteErrorLine(options.in, TrailingBytesLeftOutLine(trailing));
    }
    return status;
}

int RunCompressCommand(const ConvertOptions& options) {
    const MovieCompression method = options.lzma ? MovieCompression::Lzma : MovieCompression::Zlib;
    return Convert(
        CompressFailureLine, options.in, options.out,
        [method](const std::vector<std::uint8_t>& input, const ByteSink& sink) {
            return CompressMovie(input.data(), input.size(), method, sink);
        },
        false);
}

}  // namespace velpin
