// velpin-cli tags: the document's tag list, one item per line or as JSON.
#include "cli/commands/command_support.h"
#include "cli/commands/commands.h"
#include "report/tags_report.h"

namespace velpin {

void AddTagsCommand(CLI::App& app, MovieCommandOptions& options, CommandRun& run) {
    AddMovieCommand(app, "tags",
                    "print the tag list: index, offset, code, name, header and body length, "
                    "depth, frame, icon and a DoAction's first action",
                    RunTagsCommand, options, run);
}

int RunTagsCommand(const MovieCommandInput& input) {
    return RunOnLoadedMovie(input, [&](CInputScript& movie, const LoadedInput& loaded) {
        if (input.mode == OutputMode::Json) {
            PrintTagsJson(movie, loaded);
        } else {
            PrintTagsText(movie);
        }
        return static_cast<int>(exitOk);
    });
}

}  // namespace velpin
