// velpin-cli save: Delete Tag on the items named by their list indices, then Save As, in the
// container the movie came in.
#include <cstdint>
#include <cstdio>
#include <set>
#include <stdexcept>

#include "cli_support.h"
#include "commands.h"
#include "movie_input.h"
#include "writer.h"

namespace {

// A list index as `tags` prints it: decimal digits only, no sign. Values too large for any list
// are kept as the largest index so that they fail the range check later.
std::uint64_t ParseIndex(const std::string& text) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) {
        throw UsageError("not an index: " + text);
    }
    constexpr std::uint64_t kBeyondAnyList = std::uint64_t{1} << 40;
    std::uint64_t value = 0;
    for (const char digit : text) {
        value = value * 10 + static_cast<std::uint64_t>(digit - '0');
        if (value >= kBeyondAnyList) {
            return kBeyondAnyList;
        }
    }
    return value;
}

// Writes the edited movie in the container it came in, unless `fws` asks for it uncompressed.
bool SaveIn(CInputScript& movie, Container container, bool fws, const std::string& out) {
    if (fws || (container != Container::Cws && container != Container::Zws)) {
        return SaveMovieFile(movie, out) == 0;
    }
    const std::vector<std::uint8_t> bytes = SavedMovieBytes(movie);
    const MovieCompression method =
        container == Container::Zws ? MovieCompression::Lzma : MovieCompression::Zlib;
    try {
        return WriteOutputFile(out, [&](const ByteSink& sink) {
            CompressMovie(bytes.data(), bytes.size(), method, sink);
        });
    } catch (const ECodecError& error) {
        // Only a coder that cannot start gets here: what a save makes is always a valid movie.
        // Named here, since any other codec error a subcommand meets is an inflation's.
        throw std::runtime_error(std::string("Error Compressing file! (") + error.what() + ")");
    }
}

}  // namespace

int RunSaveCommand(const std::vector<std::string>& args) {
    const ParsedArguments parsed =
        ParseArguments(args, {{"--delete", true}, {"--inflate", false}, {"--fws", false}}, 2);
    std::set<std::uint64_t> doomedIndices;
    if (parsed.Has("--delete")) {
        for (const std::string& value : parsed.options.at("--delete")) {
            doomedIndices.insert(ParseIndex(value));
        }
    }
    const std::string& in = parsed.operands[0];
    const std::string& out = parsed.operands[1];
    return RunReportingRaisedErrors(OutputMode::Plain, [&]() {
        ScopedMovie document;
        CInputScript& movie = document.movie;
        // Only a movie inflated here has a container to keep; without --inflate the load is
        // LoadMovieFile alone, as it always was.
        const bool inflate = parsed.Has("--inflate");
        InputHead head;
        const std::int32_t result = LoadMovieInput(movie, in, inflate, inflate ? &head : nullptr);
        if (result != loadOk) {
            return ReportLoadFailure(result, OutputMode::Plain, in);
        }
        // Every index refers to the list as loaded, so the items are found before any goes.
        std::vector<TagItem*> items;
        for (TagItem* item = movie.FirstTag; item != nullptr; item = item->Next) {
            items.push_back(item);
        }
        if (!doomedIndices.empty() && *doomedIndices.rbegin() >= items.size()) {
            throw UsageError("index " + std::to_string(*doomedIndices.rbegin()) +
                             " is out of range: the movie has " + std::to_string(items.size()) +
                             " tag items");
        }
        for (const std::uint64_t index : doomedIndices) {
            RemoveTagItem(movie, items[index]);
        }
        if (!SaveIn(movie, head.container, parsed.Has("--fws"), out)) {
            WriteError("Error Saving file!");
            return static_cast<int>(exitFailure);
        }
        return static_cast<int>(exitOk);
    });
}
