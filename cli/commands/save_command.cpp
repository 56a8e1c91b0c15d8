// velpin-cli save: Delete Tag on the items named by their list indices or their tag codes, then
// Save As, in the container the movie came in.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <set>
#include <stdexcept>

#include "Unit1/presentation/MessageTexts.h"
#include "cli/commands/cli_support.h"
#include "cli/commands/commands.h"
#include "cli/commands/movie_input.h"
#include "swfff/vocabulary.h"
#include "swfff/writer.h"

namespace {

// What removing `doomed` takes out of the saved file. A top-level item takes its bytes with it.
// A nested item's bytes lie inside a top-level item's (its sprite's, or for the contents of a
// sprite without an End tag, those of a later tag), and the save still writes them unless that
// item goes too.
struct RemovalSummary {
    std::int64_t topLevelTags = 0;
    std::int64_t topLevelBytes = 0;
    std::int64_t nestedStillWritten = 0;
};

RemovalSummary SummarizeRemoval(const std::vector<TagItem*>& items,
                                const std::vector<bool>& doomed) {
    struct TopLevel {
        const std::uint8_t* start;
        const std::uint8_t* end;
        bool removed;
    };
    // In list order, which is file order without overlap at the top level.
    std::vector<TopLevel> topLevel;
    RemovalSummary summary;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const TagItem& item = *items[i];
        if (item.Depth != 0) {
            continue;
        }
        const std::int64_t length = std::int64_t{item.HeaderLength} + item.BodyLength;
        topLevel.push_back({item.Data, item.Data + length, doomed[i]});
        if (doomed[i]) {
            ++summary.topLevelTags;
            summary.topLevelBytes += length;
        }
    }
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (!doomed[i] || items[i]->Depth == 0) {
            continue;
        }
        const std::uint8_t* const at = items[i]->Data;
        const auto after = std::upper_bound(
            topLevel.begin(), topLevel.end(), at,
            [](const std::uint8_t* byte, const TopLevel& tag) { return byte < tag.start; });
        if (after != topLevel.begin()) {
            const TopLevel& holder = *(after - 1);
            summary.nestedStillWritten += at < holder.end && !holder.removed ? 1 : 0;
        }
    }
    return summary;
}

// Writes the edited movie in the container it came in, unless `fws` asks for it uncompressed.
bool SaveIn(CInputScript& movie, Container container, bool fws, const std::string& out) {
    if (fws || !IsCompressed(container)) {
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

int RunSaveCommand(const SaveOptions& options) {
    const std::set<std::uint64_t> doomedIndices(options.deleteIndices.begin(),
                                                options.deleteIndices.end());
    std::vector<bool> doomedCodes(kTagCodeCount, false);
    for (const std::uint16_t code : options.deleteCodes) {
        doomedCodes[code] = true;
    }
    return RunOnLoadedMovie(
        {options.in, options.inflate, OutputMode::Plain, options.embedded},
        [&](CInputScript& movie, const InputHead& head) {
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
            std::vector<bool> doomed(items.size(), false);
            for (std::size_t i = 0; i < items.size(); ++i) {
                doomed[i] = doomedIndices.count(i) != 0 || doomedCodes[items[i]->TagCode];
            }
            const RemovalSummary summary = SummarizeRemoval(items, doomed);
            for (std::size_t i = 0; i < items.size(); ++i) {
                if (doomed[i]) {
                    RemoveTagItem(movie, items[i]);
                }
            }
            // Only a movie inflated here has a container to keep.
            if (!SaveIn(movie, head.container, options.fws, options.out)) {
                WriteErrorLine(options.out, kSaveFailedText);
                return static_cast<int>(exitFailure);
            }
            if (!options.deleteCodes.empty()) {
                WriteNoteLine("top-level tags removed: " + std::to_string(summary.topLevelTags) +
                              " (" + std::to_string(summary.topLevelBytes) +
                              " bytes); nested tags removed but still written inside their " +
                              "sprites: " + std::to_string(summary.nestedStillWritten));
            }
            return static_cast<int>(exitOk);
        });
}
