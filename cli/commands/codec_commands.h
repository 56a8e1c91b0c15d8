// velpin-cli inflate and compress: bring a compressed movie to the form Velpin opens, and back.
#pragma once

#include <string>

namespace velpin {

struct ConvertOptions {
    bool verbose = false;  // inflate: a one-line summary on standard output
    bool lzma = false;     // compress: ZWS instead of CWS
    std::string in;
    std::string out;
};

// inflate [-v] IN OUT: CWS or ZWS to FWS. Returns the exit status.
int RunInflateCommand(const ConvertOptions& options);
// compress [--lzma] IN OUT: FWS to CWS, or to ZWS with --lzma.
int RunCompressCommand(const ConvertOptions& options);

}  // namespace velpin
