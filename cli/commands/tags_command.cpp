// velpin-cli tags: the document's tag list, one item per line or as JSON.
#include "cli/commands/command_support.h"
#include "cli/commands/commands.h"
#include "report/tags_report.h"

namespace velpin {

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
