// velpin-cli save: Delete Tag on the items named by their list indices, then Save As.
#include <cstdint>
#include <cstdio>
#include <set>

#include "cli_support.h"
#include "commands.h"
#include "loader.h"
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

}  // namespace

int RunSaveCommand(const std::vector<std::string>& args) {
    const ParsedArguments parsed = ParseArguments(args, {{"--delete", true}}, 2);
    std::set<std::uint64_t> doomed;
    if (parsed.Has("--delete")) {
        for (const std::string& value : parsed.options.at("--delete")) {
            doomed.insert(ParseIndex(value));
        }
    }
    const std::string& in = parsed.operands[0];
    const std::string& out = parsed.operands[1];
    return RunReportingRaisedErrors(OutputMode::Plain, [&]() {
        ScopedMovie document;
        CInputScript& movie = document.movie;
        const std::int32_t result = LoadMovieFile(movie, in);
        if (result != loadOk) {
            return ReportLoadFailure(result, OutputMode::Plain);
        }
        // Every index refers to the list as loaded, so the items are found before any goes.
        std::vector<TagItem*> items;
        for (TagItem* item = movie.FirstTag; item != nullptr; item = item->Next) {
            items.push_back(item);
        }
        if (!doomed.empty() && *doomed.rbegin() >= items.size()) {
            throw UsageError("index " + std::to_string(*doomed.rbegin()) +
                             " is out of range: the movie has " + std::to_string(items.size()) +
                             " tag items");
        }
        for (const std::uint64_t index : doomed) {
            RemoveTagItem(movie, items[index]);
        }
        if (SaveMovieFile(movie, out) != 0) {
            std::fputs("Error Saving file!\n", stderr);
            return static_cast<int>(exitFailure);
        }
        return static_cast<int>(exitOk);
    });
}
