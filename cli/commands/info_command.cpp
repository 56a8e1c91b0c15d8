// velpin-cli info: what a movie declares, references and hides, read from inside its tags.
#include "analysis/movie_info.h"
#include "cli/commands/command_support.h"
#include "cli/commands/commands.h"
#include "report/info_report.h"

namespace velpin {

int RunInfoCommand(const MovieCommandInput& input) {
    return RunOnLoadedMovie(input, [&](CInputScript& movie, const LoadedInput& loaded) {
        PrintInfo(ComputeMovieInfo(movie), loaded, input.mode == OutputMode::Json);
        return static_cast<int>(exitOk);
    });
}

}  // namespace velpin
