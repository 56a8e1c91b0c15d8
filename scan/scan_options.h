// What a scan is asked for: its inputs, how many movies it loads at once, and what each row says.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "codec/digests.h"
#include "export/exported_asset.h"
#include "input/movie_input.h"

namespace velpin {

// The range `scan --jobs` takes.
inline constexpr unsigned kMinScanJobs = 1;
inline constexpr unsigned kMaxScanJobs = 1024;

struct ScanOptions {
    unsigned jobs = 0;  // 0: one per processor
    bool inflate = false;
    std::int64_t maxSize = kDefaultMaxSize;  // the largest movie loaded
    bool info = false;                       // each loaded movie's info in its "movie" object
    bool nested = false;                     // rows for the movies inside movies
    bool deps = false;                       // each movie's references, found or not around it
    bool lenient = false;               // faults in every row, broken movies read as far as they go
    std::vector<HashAlgorithm> hashes;  // in the order given, each once
    std::vector<std::string> paths;
    std::vector<std::string> filesFrom;   // lists of paths, one a line
    std::vector<std::string> files0From;  // lists of paths, separated by NUL bytes
    std::string stdinName = "-";          // the rows' path for the movie or container read from -
    // With --export, the folder each movie's assets go to, under the SHA-256 of its stored bytes,
    // and how its manifest's lines are written.
    std::string exportFolder;
    ManifestLineWriter exportLine;
};

}  // namespace velpin
