#include "input/movie_edit.h"

#include <algorithm>
#include <set>
#include <utility>

#include "swfff/vocabulary.h"
#include "swfff/writer.h"

namespace velpin {

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

    Deletion Result(std::uint64_t items, std::optional<std::uint64_t> beyond) const {
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
        return {items, beyond, topLevelTags_, topLevelBytes_, stillWritten};
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

Deletion DeleteItems(CInputScript& movie, const std::vector<std::uint64_t>& indices,
                     const std::vector<std::uint16_t>& codes) {
    const std::set<std::uint64_t> doomedIndices(indices.begin(), indices.end());
    std::vector<bool> doomedCodes(kTagCodeCount, false);
    for (const std::uint16_t code : codes) {
        doomedCodes[code] = true;
    }
    // Every index refers to the list as loaded: an item goes as the walk passes it, and the walk
    // counts it all the same.
    RemovalSummary summary;
    auto nextIndex = doomedIndices.begin();
    std::uint64_t index = 0;
    for (TagItem* item = movie.FirstTag; item != nullptr; ++index) {
        TagItem* const next = item->Next;
        const bool doomed =
            (nextIndex != doomedIndices.end() && *nextIndex == index) || doomedCodes[item->TagCode];
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
    return summary.Result(index, nextIndex != doomedIndices.end()
                                     ? std::optional<std::uint64_t>(*doomedIndices.rbegin())
                                     : std::nullopt);
}

}  // namespace velpin
