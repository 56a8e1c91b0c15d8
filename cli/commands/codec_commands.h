// velpin-cli inflate and compress: bring a compressed movie to the form Velpin opens, and back.
#pragma once

#include <string>

#include "cli/commands/command_options.h"

namespace velpin {

struct ConvertOptions {
    bool verbose = false;  // inflate: a one-line summary on standard output
    bool lzma = false;     // compress: ZWS instead of CWS
    std::string in;
    std::string out;
};

// Each adds itself to the command line `app` with its options, parsed into `options`, and sets
// `run` to run it once they are parsed.
void AddInflateCommand(CLI::App& app, ConvertOptions& options, CommandRun& run);
void AddCompressCommand(CLI::App& app, ConvertOptions& options, CommandRun& run);

// inflate [-v] IN OUT: CWS or ZWS to FWS. Returns the exit status.
int RunInflateCommand(const ConvertOptions& options);
// compress [--lzma] IN OUT: FWS to CWS, or to ZWS with --lzma.
int RunCompressCommand(const ConvertOptions& options);

}  // namespace velpin
