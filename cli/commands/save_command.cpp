// velpin-cli save: Delete Tag on the items named by their list indices or their tag codes, then
// Save As, with the signature the movie came with.
#include <algorithm>
#include <charconv>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.h"
#include "cli/commands/command_support.h"
#include "cli/commands/commands.h"
#include "codec/movie_output.h"
#include "input/movie_edit.h"
#include "report/messages.h"
#include "report/output.h"
#include "swfff/vocabulary.h"

namespace velpin {

namespace {

// One --delete-code value: tag codes separated by commas, none left out.
std::vector<std::uint16_t> ParseTagCodeList(std::string_view list) {
    std::vector<std::uint16_t> codes;
    for (std::size_t start = 0; start <= list.size();) {
        const std::size_t comma = std::min(list.find(',', start), list.size());
        const std::string_view code = list.substr(start, comma - start);
        unsigned value = 0;
        const auto [end, error] = std::from_chars(code.data(), code.data() + code.size(), value);
        if (code.empty() || error != std::errc() || end != code.data() + code.size() ||
            value >= kTagCodeCount) {
            throw std::invalid_argument("not a tag code: " + std::string(code));
        }
        codes.push_back(static_cast<std::uint16_t>(value));
        start = comma + 1;
    }
    return codes;
}

}  // namespace

void AddSaveCommand(CLI::App& app, SaveOptions& options, CommandRun& run) {
    CLI::App* save = WithExitStatuses(
        app.add_subcommand(
            "save",
            "delete tags by index or by code, then save the rest as the window's Save As does"),
        {{exitOk, "the movie was saved"},
         {exitFailure, "the movie could not be read or failed to load"}});
    OneValueEach(save->add_option("--delete", options.deleteIndices,
                                  "delete item N of the list as `tags` numbers it (repeatable)"))
        ->type_name("N")
        ->check(DecimalNumber());
    OneValueEach(save->add_option("--delete-code",
                                  "delete every item with one of these tag codes, 0 to 1023 "
                                  "(repeatable)"))
        ->type_name("C[,C...]")
        ->each(AppendParsed(ParseTagCodeList, options.deleteCodes, false));
    AddInflateFlag(*save, options.inflate);
    AddMaxSizeOption(*save, options.maxSize);
    AddEmbeddedOption(*save, options.embedded);
    save->add_flag("--fws", options.fws,
                   "with --inflate, save uncompressed rather than in the movie's own container");
    save->add_option("IN", options.in, "the movie")->required();
    save->add_option("OUT", options.out, "the file to write")->required();
    save->callback([&options, &run] { run = [&options] { return RunSaveCommand(options); }; });
}

int RunSaveCommand(const SaveOptions& options) {
    return RunOnLoadedMovie(
        {{options.in, options.inflate, false, options.embedded, options.maxSize},
         OutputMode::Plain},
        [&](CInputScript& movie, const LoadedInput& loaded) {
            const Deletion deletion =
                DeleteItems(movie, options.deleteIndices, options.deleteCodes);
            // An index beyond the list is told only once every item was looked at, but before
            // anything is written.
            if (deletion.beyond) {
                throw Error::Usage("index " + std::to_string(*deletion.beyond) +
                                   " is out of range: the movie has " +
                                   std::to_string(deletion.items) + " tag items");
            }
            // Only a movie inflated here has a signature to keep.
            if (!SaveMovieIn(movie, loaded.head.signature, options.fws, options.out)) {
                return ReportFailedWrite(options.out);
            }
            // An item deleted inside a sprite is still written with it, which no one would
            // guess from a file that comes out the same.
            if (!options.deleteCodes.empty() || deletion.nestedStillWritten > 0) {
                WriteErrorLine(loaded.name, RemovalLine(deletion));
            }
            return static_cast<int>(exitOk);
        });
}

}  // namespace velpin
