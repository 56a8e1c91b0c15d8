#include "swfff/repair.h"

#include <algorithm>
#include <vector>

#include "swfff/reader.h"
#include "swfff/vocabulary.h"
#include "swfff/writer.h"

namespace {

// The End tag given to a movie that has none. Only ever read: the writer copies it.
const std::uint8_t kEndTagBytes[2] = {0, 0};

std::int64_t ItemBytes(const TagItem& item) {
    return static_cast<std::int64_t>(StoredItemBytes(item));
}

// What the repair needs to know of the list, gathered in one pass: a movie may hold millions of
// items, and each pass over them costs as much as a save's.
struct ListShape {
    TagItem* lastTopLevel = nullptr;
    TagItem* tail = nullptr;
    std::int64_t topLevel = 0;
    std::int64_t topLevelShowFrames = 0;
    std::int64_t topLevelBytes = 0;
    // Whether some walk inside a top-level tag went past that tag's bytes: only then can the
    // kept tags load differently from the way they were read.
    bool runsOn = false;
};

ListShape ShapeOf(const CInputScript& script) {
    ListShape shape;
    std::int64_t holderEnd = 0;
    for (TagItem* item = script.FirstTag; item != nullptr; item = item->Next) {
        shape.tail = item;
        // A sprite reads its fields wherever its body is too short to hold them: from the tags
        // after it, which the repair may cut away or follow with an End.
        if (item->TagCode == tagDefineSprite) {
            const std::int64_t fieldsEnd =
                (item->Data - FileBytes) + item->HeaderLength + kSpriteFieldsBytes;
            const std::int64_t bodyEnd = (item->Data - FileBytes) + ItemBytes(*item);
            shape.runsOn = shape.runsOn || fieldsEnd > (item->Depth == 0 ? bodyEnd : holderEnd);
        }
        if (item->Depth != 0) {
            shape.runsOn = shape.runsOn || (item->Data - FileBytes) + ItemBytes(*item) > holderEnd;
            continue;
        }
        shape.lastTopLevel = item;
        ++shape.topLevel;
        shape.topLevelShowFrames += item->TagCode == tagShowFrame ? 1 : 0;
        shape.topLevelBytes += ItemBytes(*item);
        if (item->Data != kEndTagBytes) {
            holderEnd = (item->Data - FileBytes) + ItemBytes(*item);
        }
    }
    return shape;
}

// Removes `from` and every item after it: a top-level tag with the contents walked after it.
void DropFrom(CInputScript& script, TagItem* from) {
    while (from != nullptr) {
        TagItem* const next = from->Next;
        RemoveTagItem(script, from);
        from = next;
    }
}

// Whether the walk stopped at the last top-level item or inside its contents: either it is cut,
// or its contents are.
bool StoppedIn(const WalkStop& walk, const TagItem* last) {
    return walk.result != loadOk && last != nullptr &&
           (walk.depth > 0 || walk.offset == last->Data - FileBytes);
}

// Drops the last top-level item (with its contents) when the walk stopped in it, and returns the
// list's shape after that.
ListShape DropWhereTheWalkStopped(CInputScript& script, const WalkStop& walk, ListShape shape) {
    if (!StoppedIn(walk, shape.lastTopLevel)) {
        return shape;
    }
    DropFrom(script, shape.lastTopLevel);
    return ShapeOf(script);
}

void AppendEnd(CInputScript& script, ListShape& shape) {
    auto* end = new TagItem;
    InitTagItem(*end);
    end->Data = const_cast<std::uint8_t*>(kEndTagBytes);
    end->HeaderLength = sizeof kEndTagBytes;
    end->FrameIndex = static_cast<std::uint16_t>(shape.topLevelShowFrames);
    end->IconIndex = static_cast<std::uint16_t>(TagIconIndex(tagEnd));
    (shape.tail != nullptr ? shape.tail->Next : script.FirstTag) = end;
    end->Prev = shape.tail;
    shape.tail = end;
    shape.lastTopLevel = end;
    ++shape.topLevel;
    shape.topLevelBytes += sizeof kEndTagBytes;
}

}  // namespace

RepairOutcome RepairMovie(CInputScript& script, const LoadFaults& faults, bool streamCut,
                          std::int64_t largestBytes) {
    RepairOutcome outcome;
    outcome.frameCountDeclared = script.Header.FrameCount;
    ListShape shape = ShapeOf(script);
    outcome.topLevelRead = shape.topLevel;
    // A top-level tag the walk stopped at without listing it (cut, or past the item limit) was
    // read as far as it goes too, and is the one not kept.
    if (faults.walk.result != loadOk && faults.walk.depth == 0 &&
        !StoppedIn(faults.walk, shape.lastTopLevel)) {
        ++outcome.topLevelRead;
    }
    const bool cut = streamCut || faults.walk.result != loadOk ||
                     std::int64_t{faults.declaredLength} > faults.size;
    const std::int64_t headerBytes = SavedHeaderLength();
    shape = DropWhereTheWalkStopped(script, faults.walk, shape);
    for (;;) {
        outcome.endAdded = shape.lastTopLevel == nullptr || shape.lastTopLevel->TagCode != tagEnd;
        if (outcome.endAdded) {
            AppendEnd(script, shape);
        }
        const auto frames = std::max<std::int64_t>(1, shape.topLevelShowFrames);
        // A preloader would otherwise wait for frames that never come.
        script.Header.FrameCount = cut && outcome.frameCountDeclared > frames
                                       ? static_cast<std::uint16_t>(frames)
                                       : outcome.frameCountDeclared;
        script.Loaded = true;
        const std::int64_t length = headerBytes + shape.topLevelBytes;
        if (length < kSmallestMovieBytes) {
            script.Loaded = false;
            outcome.result = RepairResult::TooShort;
            return outcome;
        }
        if (length > largestBytes) {
            // Only an End added to a movie of the largest size gets here: it needs the room of
            // the last tag before it.
            DropFrom(script, shape.lastTopLevel);
            shape = ShapeOf(script);
            DropFrom(script, shape.lastTopLevel);
            shape = ShapeOf(script);
            continue;
        }
        if (!shape.runsOn) {
            outcome.fileLength = static_cast<std::uint32_t>(length);
            break;
        }
        // The kept tags are loaded as the written movie will be, and cut back from where that
        // walk stops until it loads.
        const std::vector<std::uint8_t> bytes = SavedMovieBytes(script);
        LoadFaults again;
        const std::int32_t reloaded =
            LoadMovieFromBytes(script, script.FileName, bytes.data(),
                               static_cast<std::int64_t>(bytes.size()), &again, largestBytes);
        if (reloaded == loadOk) {
            shape = ShapeOf(script);
            outcome.fileLength = static_cast<std::uint32_t>(bytes.size());
            break;
        }
        // The walk stopped inside a sprite running on, before it reached the End just written,
        // so the End that the next round needs is added again.
        const std::int64_t before = ShapeOf(script).topLevel;
        shape = DropWhereTheWalkStopped(script, again.walk, ShapeOf(script));
        if (shape.topLevel == before) {
            script.Loaded = false;
            outcome.result = RepairResult::StillBreaks;
            outcome.writtenLoadResult = reloaded;
            return outcome;
        }
    }
    outcome.topLevelKept = shape.topLevel - (outcome.endAdded ? 1 : 0);
    outcome.frameCountWritten = script.Header.FrameCount;
    return outcome;
}
