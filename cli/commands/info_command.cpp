// velpin-cli info: what a movie declares, references and hides, read from inside its tags.
#include "analysis/movie_info.h"
#include "cli/commands/command_support.h"
#include "cli/commands/commands.h"
#include "report/info_report.h"

namespace velpin {

void AddInfoCommand(CLI::App& app, MovieCommandOptions& options, CommandRun& run) {
    AddMovieCommand(app, "info",
                    "print what the movie declares, references and hides: its settings, the "
                    "assets it names, the URLs and files its code names, and what looks odd",
                    RunInfoCommand, options, run);
}

int RunInfoCommand(const MovieCommandInput& input) {
    return RunOnLoadedMovie(input, [&](CInputScript& movie, const LoadedInput& loaded) {
        PrintInfo(ComputeMovieInfo(movie), loaded, input.mode == OutputMode::Json);
        return static_cast<int>(exitOk);
    });
}

}  // namespace velpin
