// velpin-cli inflate and compress: bring a compressed movie to the form Velpin opens, and back.
#pragma once

#include <string>
#include <vector>

// inflate [-v] IN OUT: CWS or ZWS to FWS. Returns the exit status; bad usage raises UsageError.
int RunInflateCommand(const std::vector<std::string>& args);
// compress [--lzma] IN OUT: FWS to CWS, or to ZWS with --lzma.
int RunCompressCommand(const std::vector<std::string>& args);
