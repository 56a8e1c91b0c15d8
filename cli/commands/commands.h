// The subcommands of velpin-cli, each run on its command line as the parser has typed and
// checked it. Each returns the exit status; a usage error found only after the load (an index
// beyond the movie's list) raises UsageError.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/commands/movie_input.h"
#include "cli/hash/digests.h"

// The range `scan --jobs` takes.
inline constexpr unsigned kMinScanJobs = 1;
inline constexpr unsigned kMaxScanJobs = 1024;

struct SaveOptions {
    std::vector<std::uint64_t> deleteIndices;  // a repeated index counts once
    std::vector<std::uint16_t> deleteCodes;
    bool inflate = false;
    bool fws = false;
    std::vector<std::uint64_t> embedded;  // see MovieCommandInput
    std::string in;
    std::string out;
};

struct ScanOptions {
    unsigned jobs = 0;  // 0: one per processor
    bool inflate = false;
    bool info = false;                  // each loaded movie's info in its "movie" object
    bool nested = false;                // rows for the movies inside movies
    bool deps = false;                  // each movie's references, found or not around it
    bool lenient = false;               // faults in every row, broken movies read as far as they go
    std::vector<HashAlgorithm> hashes;  // in the order given, each once
    std::vector<std::string> paths;
    std::vector<std::string> filesFrom;   // lists of paths, one a line
    std::vector<std::string> files0From;  // lists of paths, separated by NUL bytes
    std::string stdinName = "-";          // the rows' path for the movie or container read from -
};

struct ExtractOptions {
    std::uint64_t index = 0;
    bool body = false;
    bool data = false;  // a DefineBinaryData item's data alone
    bool inflate = false;
    bool lenient = false;
    std::vector<std::uint64_t> embedded;  // see MovieCommandInput
    std::string in;
    std::string out = "-";  // "-" is standard output
};

struct RepairOptions {
    bool inflate = false;
    bool fws = false;
    bool json = false;
    std::string in;
    std::string out;
};

int RunTreeCommand(const MovieCommandInput& input);
int RunTagsCommand(const MovieCommandInput& input);
int RunInfoCommand(const MovieCommandInput& input);
int RunSaveCommand(const SaveOptions& options);
int RunScanCommand(const ScanOptions& options);
int RunExtractCommand(const ExtractOptions& options);
int RunRepairCommand(const RepairOptions& options);
