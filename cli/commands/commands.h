// The subcommands of velpin-cli, each run on its command line as the parser has typed and
// checked it. Each returns the exit status; a usage error found only after the load (an index
// beyond the movie's list) raises a usage Error.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/commands/command_options.h"
#include "cli/commands/command_support.h"
#include "export/exported_asset.h"
#include "input/movie_input.h"
#include "scan/scan_options.h"

namespace velpin {

struct SaveOptions {
    std::vector<std::uint64_t> deleteIndices;  // a repeated index counts once
    std::vector<std::uint16_t> deleteCodes;
    bool inflate = false;
    std::int64_t maxSize = kDefaultMaxSize;
    bool fws = false;
    std::vector<std::uint64_t> embedded;  // see MovieCommandInput
    std::string in;
    std::string out;
};

struct ExtractOptions {
    std::uint64_t index = 0;
    bool body = false;
    bool data = false;  // a DefineBinaryData item's data alone
    bool inflate = false;
    std::int64_t maxSize = kDefaultMaxSize;
    bool lenient = false;
    std::vector<std::uint64_t> embedded;  // see MovieCommandInput
    std::string in;
    std::string out = "-";  // "-" is standard output
};

struct ExportOptions {
    bool inflate = false;
    bool lenient = false;
    std::int64_t maxSize = kDefaultMaxSize;
    std::vector<std::uint64_t> embedded;  // see MovieCommandInput
    std::vector<AssetKind> kinds;         // none: every kind
    std::string in;
    std::string folder;
};

struct RepairOptions {
    bool inflate = false;
    std::int64_t maxSize = kDefaultMaxSize;
    bool fws = false;
    bool json = false;
    std::string in;
    std::string out;
};

// Each command adds itself to the command line `app` with its options, parsed into `options`,
// and sets `run` to run it once they are parsed and checked.
void AddTreeCommand(CLI::App& app, MovieCommandOptions& options, CommandRun& run);
void AddTagsCommand(CLI::App& app, MovieCommandOptions& options, CommandRun& run);
void AddInfoCommand(CLI::App& app, MovieCommandOptions& options, CommandRun& run);
void AddSaveCommand(CLI::App& app, SaveOptions& options, CommandRun& run);
void AddScanCommand(CLI::App& app, ScanOptions& options, CommandRun& run);
void AddExtractCommand(CLI::App& app, ExtractOptions& options, CommandRun& run);
void AddRepairCommand(CLI::App& app, RepairOptions& options, CommandRun& run);
void AddExportCommand(CLI::App& app, ExportOptions& options, CommandRun& run);

int RunTreeCommand(const MovieCommandInput& input);
int RunTagsCommand(const MovieCommandInput& input);
int RunInfoCommand(const MovieCommandInput& input);
int RunSaveCommand(const SaveOptions& options);
int RunScanCommand(const ScanOptions& options);
int RunExtractCommand(const ExtractOptions& options);
int RunRepairCommand(const RepairOptions& options);
int RunExportCommand(const ExportOptions& options);

}  // namespace velpin
