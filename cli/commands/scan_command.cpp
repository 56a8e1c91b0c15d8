// velpin-cli scan: one JSON line per movie of a collection, loose or inside containers, on standard
// output; the lists of paths that could not be read, a progress line on a terminal, and the
// summary on standard error.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "Unit1/presentation/MessageTexts.h"
#include "base/error.h"
#include "cli/commands/command_support.h"
#include "cli/commands/commands.h"
#include "codec/movie_output.h"
#include "report/export_report.h"
#include "report/messages.h"
#include "report/output.h"
#include "report/scan_row_report.h"
#include "report/scan_summary_report.h"
#include "scan/scan_runner.h"

namespace velpin {

namespace {

constexpr auto kProgressInterval = std::chrono::milliseconds(100);

// Prints the rows as they come, and the progress line, rewritten in place, only on a terminal,
// where nothing reads it as data.
class ScanPrinter : public ScanListener {
  public:
    ScanPrinter() : progressShown_(isatty(STDERR_FILENO) == 1) {}

    void ListUnreadable(const std::string& list, const Error& error) override {
        WriteErrorLine(list, "cannot read the list of paths: " + std::string(error.what()));
    }
    void Started(std::size_t paths) override { total_ = paths; }
    bool Rows(const ScanLine& rows, std::size_t pathIndex) override {
        out_.Put(rows.text);
        done_ = pathIndex;
        ShowProgress();
        return !out_.Failed();
    }
    void Waiting() override {
        out_.Flush();
        ShowProgress();
    }

    // Lets out the last rows and takes the progress line away.
    void Finish() {
        out_.Flush();
        if (progressShown_) {
            std::fputs("\r\x1b[K", stderr);
        }
    }

  private:
    // Shown at most once an interval.
    void ShowProgress() {
        const auto now = std::chrono::steady_clock::now();
        if (!progressShown_ || now - shown_ < kProgressInterval) {
            return;
        }
        shown_ = now;
        const std::string line = "\r" + ProgressText(done_, total_);
        std::fputs(line.c_str(), stderr);
        std::fflush(stderr);
    }

    StdoutWriter out_;
    std::size_t total_ = 0;
    std::size_t done_ = 0;
    bool progressShown_;
    std::chrono::steady_clock::time_point shown_{};
};

// Whole or not at all, so that a program that finds the file finds every total.
bool WriteSummaryJson(const std::string& path, const ScanTotals& totals, double seconds) {
    const std::string text = ScanSummaryJson(totals, seconds, "velpin-cli " VELPIN_VERSION);
    try {
        if (WriteOutputFile(path, [&text](const ByteSink& sink) {
                sink(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
            })) {
            return true;
        }
        WriteErrorLine(path, kSaveFailedText);
    } catch (...) {
        WriteErrorLine(path, CurrentError().what());
    }
    return false;
}

}  // namespace

void AddScanCommand(CLI::App& app, ScanCommandOptions& options, CommandRun& run) {
    CLI::App* scan = WithExitStatuses(
        app.add_subcommand("scan",
                           "print one JSON line per movie of the files, folders and "
                           "containers given, in path order"),
        {{exitOk, "every input was read and every movie loaded (with --lenient: without faults)"},
         {exitFailure,
          "a movie failed to load, (with --lenient) has faults, or (with --export) its folder "
          "or the --summary-json file could not be written"},
         {exitUnreadable,
          "some input could not be read at all: a path that is missing or cannot be opened, a "
          "folder that cannot be listed, or a read that failed; worth running again, unlike 1, "
          "and it wins over 1"}});
    scan->add_option("-j,--jobs", options.jobs,
                     "load N movies at once, 1 to 1024 (default: one per processor); with 1, "
                     "the whole scan runs on one thread")
        ->type_name("N")
        ->check(DecimalNumber())
        ->check(QuietRange(kMinScanJobs, kMaxScanJobs));
    AddInflateFlag(*scan, options.inflate);
    AddMaxSizeOption(*scan, options.maxSize);
    scan->add_flag("--info", options.info,
                   "add each loaded movie's info, as `info --json` gives it");
    scan->add_flag("--nested", options.nested,
                   "add a row for each movie inside a movie's binary data, three levels deep");
    scan->add_flag("--deps", options.deps,
                   "add the files and URLs each movie references, present, missing or "
                   "external, each with the path or URL to fetch");
    AddLenientFlag(*scan, options.lenient);
    scan->add_option("--export", options.exportFolder,
                     "also write each loaded movie's assets, as export does, to "
                     "DIR/SHA[:2]/SHA/, SHA the movie's SHA-256: a movie met twice is written once")
        ->type_name("DIR");
    const std::vector<std::string_view> hashNames = HashNames();
    std::vector<std::string> hashWords(hashNames.begin(), hashNames.end());
    std::string hashList;
    for (const std::string& name : hashWords) {
        hashList += (hashList.empty() ? "" : ",") + name;
    }
    WithChoices(OneValueEach(scan->add_option("--hash"))
                    ->description("add digests of each movie as stored: " + hashList)
                    ->type_name("ALG[,ALG...]")
                    ->each(AppendParsed(ParseHashList, options.hashes, true)),
                std::move(hashWords));
    OneValueEach(scan->add_option("--files-from", options.filesFrom,
                                  "also scan the paths in FILE, one a line; - is standard input"))
        ->type_name("FILE");
    OneValueEach(scan->add_option("--files0-from", options.files0From,
                                  "the same, with the paths separated by NUL bytes"))
        ->type_name("FILE");
    scan->add_option("--summary-json", options.summaryJson,
                     "also write the totals of the summary line to FILE, as one JSON object")
        ->type_name("FILE");
    scan->add_option("--stdin-name", options.stdinName, "the path the rows of - carry (default: -)")
        ->type_name("NAME");
    scan->add_option("PATH", options.paths,
                     "a movie or container (by content), or a folder to walk for both; - reads "
                     "one movie or container from standard input");
    scan->callback([&options, &run] {
        if (options.paths.empty() && options.filesFrom.empty() && options.files0From.empty()) {
            throw CLI::RequiredError("PATH");
        }
        std::size_t readers = 0;
        for (const auto* names : {&options.paths, &options.filesFrom, &options.files0From}) {
            readers += static_cast<std::size_t>(std::count(names->begin(), names->end(), "-"));
        }
        if (readers > 1) {
            throw CLI::ValidationError("-", "standard input can be read only once");
        }
        options.exportLine = AppendManifestLine;
        run = [&options] { return RunScanCommand(options); };
    });
}

int RunScanCommand(const ScanCommandOptions& options) {
    const auto start = std::chrono::steady_clock::now();
    ScanPrinter printer;
    const ScanOutcome outcome = RunScan(options, AppendScanRowLine, printer);
    if (outcome.end == ScanEnd::ListUnreadable) {
        return exitUnreadable;
    }
    if (outcome.end == ScanEnd::NoThread) {
        WriteErrorLine("cannot start a thread");
        return exitFailure;
    }
    if (outcome.end == ScanEnd::RowsRefused) {
        // Told once the command returns, as for every command whose output is lost.
        return exitUnwritable;
    }
    printer.Finish();
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    WriteNoteLine(ScanSummaryLine(outcome.totals, seconds.count()));
    if (!options.summaryJson.empty() &&
        !WriteSummaryJson(options.summaryJson, outcome.totals, seconds.count())) {
        return exitFailure;
    }
    const ScanTotals& totals = outcome.totals;
    if (totals.unreadable > 0) {
        return exitUnreadable;
    }
    return totals.loaded == totals.rows ? exitOk : exitFailure;
}

}  // namespace velpin
