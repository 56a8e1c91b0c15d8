// velpin-cli scan: one JSON line per movie of a collection, loose or inside containers, on standard
// output; the folders and lists that could not be read, a progress line on a terminal, and the
// summary on standard error.
#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "cli/commands/command_support.h"
#include "cli/commands/commands.h"
#include "report/messages.h"
#include "report/output.h"
#include "report/scan_row_report.h"
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
    void FolderUnreadable(const std::string& folder, const std::string& reason) override {
        WriteErrorLine(folder, "cannot read the folder: " + reason);
    }
    void Started(std::size_t paths) override { total_ = paths; }
    void Rows(const ScanLine& rows, std::size_t pathIndex) override {
        out_.Put(rows.text);
        done_ = pathIndex;
        ShowProgress();
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

}  // namespace

int RunScanCommand(const ScanOptions& options) {
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
    printer.Finish();
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    WriteNoteLine(ScanSummaryLine(outcome.totals, seconds.count()));
    const ScanTotals& totals = outcome.totals;
    if (totals.unreadable > 0) {
        return exitUnreadable;
    }
    return totals.loaded == totals.rows ? exitOk : exitFailure;
}

}  // namespace velpin
