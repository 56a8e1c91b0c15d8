// velpin-cli info: what a movie declares, references and hides, read from inside its tags.
#include <functional>

#include "cli/commands/cli_support.h"
#include "cli/commands/commands.h"
#include "cli/commands/json_envelope.h"
#include "cli/commands/movie_faults.h"
#include "cli/commands/movie_input.h"
#include "cli/info/info_output.h"
#include "cli/info/movie_info.h"
#include "cli/json/json_writer.h"

int RunInfoCommand(const MovieCommandInput& input) {
    return RunOnLoadedMovie(input, [&](CInputScript& movie, const LoadedInput& loaded) {
        const MovieInfo info = ComputeMovieInfo(movie);
        StdoutWriter out;
        const std::function<void()> flush = [&out]() { out.MaybeFlush(); };
        if (input.mode == OutputMode::Json) {
            JsonWriter json(out.Buffer());
            json.BeginObject();
            WriteLoadMembers(json, loaded);
            json.Key("info");
            WriteInfoJson(json, info, flush);
            json.EndObject();
            out.Put("\n");
        } else {
            AppendInfoText(out.Buffer(), info, flush);
        }
        return static_cast<int>(exitOk);
    });
}
