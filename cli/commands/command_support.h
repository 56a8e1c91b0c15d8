// What every command of velpin-cli shares: its exit statuses, its two output modes, and how it
// reports a failed load or an error raised on the way.
#pragma once

#include <functional>
#include <string>

#include "input/movie_input.h"
#include "swfff/document.h"

namespace velpin {

enum ExitStatus : int {
    exitOk = 0,
    exitFailure = 1,
    exitUsage = 2,
    // Some input could not be read at all (scan): worth running again, unlike a broken movie.
    exitUnreadable = 3,
    // The output could not be written: what was written is incomplete, whatever the inputs were,
    // and a map step must not publish it.
    exitUnwritable = 4,
};

enum class OutputMode { Plain, Json };

// Runs `command`, which works on the file `path`. An error raised on the way ends it and is
// reported on an error line that names the file it was about (an output file, for one), else
// `path`: a compressed input that cannot be inflated as `inflate` reports it, and anything else
// as the window's error box would show it; an output that could not be written gives
// exitUnwritable. A usage Error passes through. With OutputMode::Json the envelope of the failure
// follows on standard output, with `noFaults` a null "faults".
int RunReportingRaisedErrors(OutputMode mode, const std::string& path,
                             const std::function<int()>& command, bool noFaults = false);

// Reports that the output file `out` could not be written whole, and gives the exit status.
int ReportFailedWrite(const std::string& out);

// Reports the load of `path` that `loaded` failed and gives the exit status. A compressed movie
// refused with -5 gets a hint that names --inflate. A lenient load's JSON says that it has no
// faults to give.
int ReportLoadFailure(const LoadedInput& loaded, OutputMode mode, const std::string& path,
                      bool lenient);

// What a command that works on one loaded movie asks for.
struct MovieCommandInput {
    MovieRequest request;
    OutputMode mode = OutputMode::Plain;
};

// The one way a command loads its movie and prints from it: loads the movie asked for into a
// document of its own, reports a failed load, and otherwise runs `use` on the loaded movie. A
// lenient load goes on with a movie it could read as far as it goes, writes its faults to
// standard error in the plain form, and fails (1) unless it found none. Errors raised on the way
// are reported as RunReportingRaisedErrors does. Returns the exit status.
int RunOnLoadedMovie(const MovieCommandInput& input,
                     const std::function<int(CInputScript&, const LoadedInput&)>& use);

}  // namespace velpin
