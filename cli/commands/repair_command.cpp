// velpin-cli repair: a broken movie read as far as it goes, and written back as one that loads.
#include <string>

#include "cli/commands/command_support.h"
#include "cli/commands/commands.h"
#include "codec/movie_output.h"
#include "report/envelope.h"
#include "report/output.h"
#include "report/repair_report.h"
#include "swfff/repair.h"
#include "swfff/scoped_movie.h"

namespace velpin {

namespace {

// Why no movie could be made, in words that name the load that still fails.
std::string NotRepairedText(const RepairOutcome& outcome) {
    const std::string why = "no movie the loader accepts can be made of the tags read: ";
    if (outcome.result == RepairResult::TooShort) {
        return why + "it would be shorter than 21 bytes";
    }
    return why + "written back, they still fail to load (load result " +
           std::to_string(outcome.writtenLoadResult) + ": " +
           LoadResultReason(outcome.writtenLoadResult) +
           "), and not inside a tag that could be left out";
}

}  // namespace

void AddRepairCommand(CLI::App& app, RepairOptions& options, CommandRun& run) {
    CLI::App* repair = WithExitStatuses(
        app.add_subcommand(
            "repair", "read a broken movie as far as it goes and write it back as one that loads"),
        {{exitOk, "the movie was written, every fault found mended"},
         {exitFailure,
          "nothing of a movie could be read, or a fault could not be mended (a damaged "
          "stream), the movie written all the same"}});
    AddInflateFlag(*repair, options.inflate);
    AddEmbeddedOption(*repair, options.embedded);
    AddMaxSizeOption(*repair, options.maxSize);
    repair->add_flag("--fws", options.fws,
                     "with --inflate, write uncompressed rather than in the movie's own container");
    repair->add_flag("--json", options.json, "print the report as JSON on standard output");
    repair->add_option("IN", options.in, "the movie")->required();
    repair->add_option("OUT", options.out, "the file to write; it may be IN")->required();
    repair->callback([&options, &run] { run = [&options] { return RunRepairCommand(options); }; });
}

int RunRepairCommand(const RepairOptions& options) {
    const OutputMode mode = options.json ? OutputMode::Json : OutputMode::Plain;
    return RunReportingRaisedErrors(
        mode, options.in,
        [&]() {
            ScopedMovie document;
            const LoadedInput loaded = LoadRequestedMovie(
                document.movie,
                {options.in, options.inflate, true, options.embedded, options.maxSize});
            if (!loaded.Readable()) {
                return ReportLoadFailure(loaded, mode, options.in, true);
            }
            const MovieFaults& faults = *loaded.faults;
            const RepairOutcome outcome = RepairMovie(
                document.movie, faults.load, faults.stream && faults.stream->cut, options.maxSize);
            if (outcome.result != RepairResult::Repaired) {
                WriteErrorLine(loaded.name, "repair: " + NotRepairedText(outcome));
                if (mode == OutputMode::Json) {
                    PrintJsonFailure({loaded.result, {}});
                }
                return static_cast<int>(exitFailure);
            }
            const Signature written = options.fws ? Signature::Fws : loaded.head.signature;
            if (!SaveMovieIn(document.movie, written, options.fws, options.out)) {
                return ReportFailedWrite(options.out);
            }
            if (mode == OutputMode::Json) {
                PrintRepairJson(loaded.result, faults, outcome);
            } else {
                WriteErrorLine(loaded.name, RepairLine(faults, outcome, written));
            }
            // The movie is written all the same: it loads, and it is what can be had of it.
            return static_cast<int>(faults.Mendable() ? exitOk : exitFailure);
        },
        true);
}

}  // namespace velpin
