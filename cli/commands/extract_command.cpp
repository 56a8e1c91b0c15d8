// velpin-cli extract: one tag item's stored bytes, for hex viewers and for pulling out embedded
// data.
#include <cstdint>
#include <string_view>

#include "cli/commands/cli_support.h"
#include "cli/commands/commands.h"
#include "cli/commands/movie_input.h"

int RunExtractCommand(const std::vector<std::string>& args) {
    const ParsedArguments parsed =
        ParseArguments(args, {{"--index", true}, {"--body", false}, {"--inflate", false}}, 1, 2);
    if (!parsed.Has("--index")) {
        throw UsageError("missing option --index");
    }
    if (parsed.options.at("--index").size() > 1) {
        throw UsageError("option --index given more than once");
    }
    const std::uint64_t index = ParseIndex(parsed.options.at("--index").front());
    const std::string& in = parsed.operands[0];
    // Only here does "-" mean standard output: every input operand is a file, "-" included.
    const std::string out = parsed.operands.size() == 2 ? parsed.operands[1] : "-";
    return RunReportingRaisedErrors(OutputMode::Plain, [&]() {
        ScopedMovie document;
        const std::int32_t result = LoadMovieInput(document.movie, in, parsed.Has("--inflate"));
        if (result != loadOk) {
            return ReportLoadFailure(result, OutputMode::Plain, in);
        }
        const TagItem* item = document.movie.FirstTag;
        std::uint64_t count = 0;
        for (; item != nullptr && count < index; item = item->Next) {
            ++count;
        }
        if (item == nullptr) {
            // The walk ran off the list's end, so it counted every item.
            throw UsageError("index " + std::to_string(index) + " is out of range: the movie has " +
                             std::to_string(count) + " tag items");
        }
        const std::size_t skipped = parsed.Has("--body") ? item->HeaderLength : 0;
        const std::uint8_t* const bytes = item->Data + skipped;
        // The loader keeps no body longer than the bytes left in the file.
        const std::size_t length =
            item->HeaderLength - skipped + static_cast<std::size_t>(item->BodyLength);
        if (out == "-") {
            StdoutWriter stdoutWriter;
            stdoutWriter.Put(std::string_view(reinterpret_cast<const char*>(bytes), length));
            return static_cast<int>(exitOk);
        }
        if (!WriteOutputFile(out, [&](const ByteSink& sink) { sink(bytes, length); })) {
            WriteError("Error Saving file!");
            return static_cast<int>(exitFailure);
        }
        return static_cast<int>(exitOk);
    });
}
