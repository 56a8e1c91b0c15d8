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
#include "cli/commands/movie_output.h"
#include "swfff/vocabulary.h"
#include "swfff/writer.h"

namespace {

// What the deletions take out of the saved file. A top-level item takes its bytes with it. A
// nested item's bytes lie inside a top-level item's (its sprite's, or for the contents of a sprite
// without an End tag, those of a later tag), and the save still writes them unless that item goes
// too. The top-level items lie back to back in list order, so where they begin and end, and the
// ranges of those that go, tell which item holds a nested one.
class RemovalSummary {
  public:
    void TopLevel(const TagItem& item, bool removed) {
        const std::uint8_t* const end = item.Data + item.HeaderLength + item.BodyLength;
        if (topLevelStart_ == nullptr) {
            topLevelStart_ = item.Data;
        }
        topLevelEnd_ = end;
        if (removed) {
            ++topLevelTags_;
            topLevelBytes_ += end - item.Data;
            removedRanges_.emplace_back(item.Data, end);
        }
    }
    void RemovedNested(const TagItem& item) { removedNested_.push_back(item.Data); }

    std::string Text() const {
        std::int64_t stillWritten = 0;
        for (const std::uint8_t* at : removedNested_) {
            if (at < topLevelStart_ || at >= topLevelEnd_) {
                continue;  // in no top-level item: not written at all
            }
            const auto after = std::upper_bound(
                removedRanges_.begin(), removedRanges_.end(), at,
                [](const std::uint8_t* byte, const Range& range) { return byte < range.first; });
            stillWritten += after == removedRanges_.begin() || at >= (after - 1)->second ? 1 : 0;
        }
        return "top-level tags removed: " + std::to_string(topLevelTags_) + " (" +
               std::to_string(topLevelBytes_) +
               " bytes); nested tags removed but still written inside their sprites: " +
               std::to_string(stillWritten);
    }

  private:
    using Range = std::pair<const std::uint8_t*, const std::uint8_t*>;
    const std::uint8_t* topLevelStart_ = nullptr;
    const std::uint8_t* topLevelEnd_ = nullptr;
    std::int64_t topLevelTags_ = 0;
    std::int64_t topLevelBytes_ = 0;
    std::vector<Range> removedRanges_;  // in file order
    std::vector<const std::uint8_t*> removedNested_;
};

}  // namespace

int RunSaveCommand(const SaveOptions& options) {
    const std::set<std::uint64_t> doomedIndices(options.deleteIndices.begin(),
                                                options.deleteIndices.end());
    std::vector<bool> doomedCodes(kTagCodeCount, false);
    for (const std::uint16_t code : options.deleteCodes) {
        doomedCodes[code] = true;
    }
    return RunOnLoadedMovie(
        {options.in, options.inflate, OutputMode::Plain, false, options.embedded},
        [&](CInputScript& movie, const LoadedInput& loaded) {
            // Every index refers to the list as loaded: an item goes as the walk passes it, and
            // the walk counts it all the same. An index beyond the list is told only at the end,
            // but before anything is written.
            RemovalSummary summary;
            auto nextIndex = doomedIndices.begin();
            std::uint64_t index = 0;
            for (TagItem* item = movie.FirstTag; item != nullptr; ++index) {
                TagItem* const next = item->Next;
                const bool doomed = (nextIndex != doomedIndices.end() && *nextIndex == index) ||
                                    doomedCodes[item->TagCode];
                if (nextIndex != doomedIndices.end() && *nextIndex == index) {
                    ++nextIndex;
                }
                if (item->Depth == 0) {
                    summary.TopLevel(*item, doomed);
                } else if (doomed) {
                    summary.RemovedNested(*item);
                }
                if (doomed) {
                    RemoveTagItem(movie, item);
                }
                item = next;
            }
            if (nextIndex != doomedIndices.end()) {
                throw UsageError("index " + std::to_string(*doomedIndices.rbegin()) +
                                 " is out of range: the movie has " + std::to_string(index) +
                                 " tag items");
            }
            // Only a movie inflated here has a container to keep.
            if (!SaveMovieIn(movie, loaded.head.container, options.fws, options.out)) {
                WriteErrorLine(options.out, kSaveFailedText);
                return static_cast<int>(exitFailure);
            }
            if (!options.deleteCodes.empty()) {
                WriteNoteLine(summary.Text());
            }
            return static_cast<int>(exitOk);
        });
}
