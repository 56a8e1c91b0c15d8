#include "swfff/repair.h"

#include <algorithm>
#include <vector>

#include "swfff/vocabulary.h"
#include "swfff/writer.h"

namespace {

// The End tag given to a movie that has none. Only ever read: the writer copies it.
const std::uint8_t kEndTagBytes[2] = {0, 0};

std::int64_t ItemEnd(const TagItem& item) {
    return (item.Data - FileBytes) + item.HeaderLength +
           static_cast<std::int64_t>(static_cast<std::uint32_t>(item.BodyLength));
}

TagItem* LastTopLevel(const CInputScript& script) {
    TagItem* last = nullptr;
    for (TagItem* item = script.FirstTag; item != nullptr; item = item->Next) {
        if (item->Depth == 0) {
            last = item;
        }
    }
    return last;
}

// Removes `from` and every item after it: a top-level tag with the contents walked after it.
void DropFrom(CInputScript& script, TagItem* from) {
    while (from != nullptr) {
        TagItem* const next = from->Next;
        RemoveTagItem(script, from);
        from = next;
    }
}

// Drops the last top-level item when the walk stopped at it or inside its contents: either it is
// cut, or its contents are.
void DropWhereTheWalkStopped(CInputScript& script, const WalkStop& walk) {
    if (walk.result == loadOk) {
        return;
    }
    TagItem* const last = LastTopLevel(script);
    if (last != nullptr && (walk.depth > 0 || walk.offset == last->Data - FileBytes)) {
        DropFrom(script, last);
    }
}

std::int64_t CountTopLevel(const CInputScript& script, std::uint16_t code, bool anyCode) {
    std::int64_t count = 0;
    for (const TagItem* item = script.FirstTag; item != nullptr; item = item->Next) {
        count += item->Depth == 0 && (anyCode || item->TagCode == code) ? 1 : 0;
    }
    return count;
}

// Whether some walk inside a kept top-level tag went past that tag's bytes: only then can the
// kept tags load differently from the way they were read.
bool RunsOnPastItsTag(const CInputScript& script) {
    std::int64_t holderEnd = 0;
    for (const TagItem* item = script.FirstTag; item != nullptr; item = item->Next) {
        if (item->Depth != 0) {
            if (ItemEnd(*item) > holderEnd) {
                return true;
            }
        } else if (item->Data != kEndTagBytes) {
            holderEnd = ItemEnd(*item);
        }
    }
    return false;
}

// Ends the list with a top-level End and gives the header the frame count it may promise.
// Returns whether an End had to be added.
bool CloseMovie(CInputScript& script, bool cut, std::uint16_t declaredFrames) {
    const TagItem* const last = LastTopLevel(script);
    const bool addEnd = last == nullptr || last->TagCode != tagEnd;
    if (addEnd) {
        auto* end = new TagItem;
        InitTagItem(*end);
        end->Data = const_cast<std::uint8_t*>(kEndTagBytes);
        end->HeaderLength = sizeof kEndTagBytes;
        end->FrameIndex = static_cast<std::uint16_t>(CountTopLevel(script, tagShowFrame, false));
        end->IconIndex = static_cast<std::uint16_t>(TagIconIndex(tagEnd));
        TagItem* tail = script.FirstTag;
        while (tail != nullptr && tail->Next != nullptr) {
            tail = tail->Next;
        }
        (tail != nullptr ? tail->Next : script.FirstTag) = end;
        end->Prev = tail;
    }
    const auto frames = std::max<std::int64_t>(1, CountTopLevel(script, tagShowFrame, false));
    // A preloader would otherwise wait for frames that never come.
    if (cut && declaredFrames > frames) {
        script.Header.FrameCount = static_cast<std::uint16_t>(frames);
    } else {
        script.Header.FrameCount = declaredFrames;
    }
    return addEnd;
}

}  // namespace

RepairOutcome RepairMovie(CInputScript& script, const LoadFaults& faults, bool streamCut) {
    RepairOutcome outcome;
    outcome.frameCountDeclared = script.Header.FrameCount;
    outcome.topLevelRead = CountTopLevel(script, 0, true);
    // A top-level tag the walk stopped at without listing it (cut, or past the item limit) was
    // read as far as it goes too, and is the one not kept.
    const TagItem* const last = LastTopLevel(script);
    if (faults.walk.result != loadOk && faults.walk.depth == 0 &&
        (last == nullptr || faults.walk.offset != last->Data - FileBytes)) {
        ++outcome.topLevelRead;
    }
    const bool cut = streamCut || faults.walk.result != loadOk ||
                     std::int64_t{faults.declaredLength} > faults.size;
    DropWhereTheWalkStopped(script, faults.walk);
    for (;;) {
        outcome.endAdded = CloseMovie(script, cut, outcome.frameCountDeclared);
        script.Loaded = true;
        const std::int64_t length = SavedMovieLength(script);
        if (length < kSmallestMovieBytes) {
            script.Loaded = false;
            return outcome;
        }
        if (length <= kLargestMovieBytes && !RunsOnPastItsTag(script)) {
            break;
        }
        if (length > kLargestMovieBytes) {
            // Only an End added to a movie of the largest size gets here: it needs the room of
            // the last tag before it.
            DropFrom(script, LastTopLevel(script));
            DropFrom(script, LastTopLevel(script));
            continue;
        }
        // The kept tags are loaded as the written movie will be, and cut back from where that
        // walk stops until it loads.
        const std::vector<std::uint8_t> bytes = SavedMovieBytes(script);
        LoadFaults again;
        if (LoadMovieFromBytes(script, script.FileName, bytes.data(),
                               static_cast<std::int64_t>(bytes.size()), &again) == loadOk) {
            break;
        }
        // The walk stopped inside a sprite running on, before it reached the End just written,
        // so the End that the next round needs is added again.
        const std::int64_t before = CountTopLevel(script, 0, true);
        DropWhereTheWalkStopped(script, again.walk);
        if (CountTopLevel(script, 0, true) == before) {
            script.Loaded = false;
            return outcome;
        }
    }
    outcome.repaired = true;
    outcome.topLevelKept = CountTopLevel(script, 0, true) - (outcome.endAdded ? 1 : 0);
    outcome.frameCountWritten = script.Header.FrameCount;
    outcome.fileLength = SavedMovieLength(script);
    return outcome;
}
