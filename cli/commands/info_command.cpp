// velpin-cli info: what a movie declares, references and hides, read from inside its tags.
#include "cli/commands/cli_support.h"
#include "cli/commands/commands.h"
#include "cli/commands/movie_input.h"
#include "cli/info/info_output.h"
#include "cli/info/movie_info.h"
#include "cli/json/json_writer.h"

int RunInfoCommand(const std::vector<std::string>& args) {
    const ParsedArguments parsed =
        ParseArguments(args, {{"--json", false}, {"--inflate", false}}, 1);
    const OutputMode mode = parsed.Has("--json") ? OutputMode::Json : OutputMode::Plain;
    const std::string& path = parsed.operands[0];
    return RunReportingRaisedErrors(mode, [&]() {
        ScopedMovie document;
        const std::int32_t result = LoadMovieInput(document.movie, path, parsed.Has("--inflate"));
        if (result != loadOk) {
            return ReportLoadFailure(result, mode, path);
        }
        const MovieInfo info = ComputeMovieInfo(document.movie);
        StdoutWriter out;
        const std::function<void()> flush = [&out]() { out.MaybeFlush(); };
        if (mode == OutputMode::Json) {
            JsonWriter json(out.Buffer());
            json.BeginObject();
            json.Key("result");
            json.Integer(loadOk);
            json.Key("info");
            WriteInfoJson(json, info, flush);
            json.EndObject();
            out.Buffer().push_back('\n');
        } else {
            AppendInfoText(out.Buffer(), info, flush);
        }
        return static_cast<int>(exitOk);
    });
}
