// Opens arbitrary bytes as a movie the way the window does (the real file path, then the whole
// tree in the node store), checks that a load of the same bytes from memory agrees, and
// checks what a successful load promises: the document's list, the tree over it, and that
// saving, deleting and loading again keep exactly what they should.
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "Unit1/presentation/BuildMovieTree.h"
#include "Unit1/presentation/DeleteTag.h"
#include "Unit1/presentation/NodeStore.h"
#include "fuzz/fuzz_check.h"
#include "swfff/document.h"
#include "swfff/loader.h"
#include "swfff/reader.h"
#include "swfff/repair.h"
#include "swfff/scoped_movie.h"
#include "swfff/vocabulary.h"
#include "swfff/writer.h"
#include "tests/support/HeadlessShell.h"

namespace {

// Run-on sprites multiply the tags after them, so a few bytes can make millions of items, each
// such input costing as much as a thousand small ones. The list and the tree over it are checked
// for every input; saving, deleting and reloading, which follow the same paths for a copied tag
// as for its original, only for lists up to this size (a fuzz input holds far fewer tags of its
// own). Such inputs are also asked to stay out of the corpus, where the fuzzer supports that.
constexpr std::size_t kLargestFullyCheckedList = 20000;
constexpr int kRejectFromCorpus = -1;

// What a test needs to know of one item once FileBytes has moved on to another file.
struct ItemFacts {
    std::int64_t offset;
    std::int64_t end;
    std::uint16_t code;
    std::uint16_t depth;
    std::uint16_t frame;
    std::uint16_t headerLength;
    std::int32_t bodyLength;
};

// A memory-backed file that the loader opens by path, so the real open/size/read path runs
// without touching a disk.
class MemoryFile {
  public:
    MemoryFile() {
        fd_ = memfd_create("velpin-fuzz-input", MFD_CLOEXEC);
        FUZZ_CHECK(fd_ >= 0);
        path_ = "/proc/self/fd/" + std::to_string(fd_);
    }

    const std::string& Fill(const std::uint8_t* data, std::size_t size) {
        FUZZ_CHECK(ftruncate(fd_, 0) == 0);
        std::size_t done = 0;
        while (done < size) {
            const ssize_t put = pwrite(fd_, data + done, size - done, static_cast<off_t>(done));
            FUZZ_CHECK(put > 0);
            done += static_cast<std::size_t>(put);
        }
        return path_;
    }

  private:
    int fd_ = -1;
    std::string path_;
};

std::int64_t HeaderLength() {
    return 12 + FrameRectByteLength(FileBytes[8]);
}

std::vector<ItemFacts> Facts(const CInputScript& movie) {
    std::vector<ItemFacts> facts;
    for (const TagItem* item = movie.FirstTag; item != nullptr; item = item->Next) {
        const std::int64_t offset = item->Data - FileBytes;
        facts.push_back({offset, offset + item->HeaderLength + item->BodyLength, item->TagCode,
                         item->Depth, item->FrameIndex, item->HeaderLength, item->BodyLength});
    }
    return facts;
}

void CheckFailedLoadState(const CInputScript& movie) {
    FUZZ_CHECK(movie.FirstTag == nullptr);
    FUZZ_CHECK(!movie.Loaded);
    FUZZ_CHECK(FileBytes == nullptr);
    FUZZ_CHECK(!movie.InFile.IsOpen());
}

void CheckSameHeader(const MovieHeader& got, const MovieHeader& wanted) {
    FUZZ_CHECK(std::memcmp(got.Signature, wanted.Signature, sizeof got.Signature) == 0);
    FUZZ_CHECK(got.Version == wanted.Version && got.FileLength == wanted.FileLength);
    FUZZ_CHECK(got.FrameRect.XMin == wanted.FrameRect.XMin &&
               got.FrameRect.XMax == wanted.FrameRect.XMax &&
               got.FrameRect.YMin == wanted.FrameRect.YMin &&
               got.FrameRect.YMax == wanted.FrameRect.YMax);
    FUZZ_CHECK(got.FrameRate == wanted.FrameRate && got.FrameCount == wanted.FrameCount);
}

void CheckLinks(const CInputScript& movie) {
    const TagItem* prev = nullptr;
    for (const TagItem* item = movie.FirstTag; item != nullptr; item = item->Next) {
        FUZZ_CHECK(item->Prev == prev);
        prev = item;
    }
}

// Every item's header, as it lies in the file, says what the item says.
void CheckItemsAgainstBytes(const CInputScript& movie) {
    for (const TagItem* item = movie.FirstTag; item != nullptr; item = item->Next) {
        FUZZ_CHECK(item->Data >= FileBytes);
        const std::int64_t offset = item->Data - FileBytes;
        FUZZ_CHECK(item->HeaderLength == 2 || item->HeaderLength == 6);
        FUZZ_CHECK(item->BodyLength >= 0);
        FUZZ_CHECK(offset + item->HeaderLength + item->BodyLength <= FileBytesLength);
        const unsigned word = item->Data[0] | (item->Data[1] << 8);
        FUZZ_CHECK(item->TagCode == (word >> 6));
        if ((word & 0x3F) == 0x3F) {
            FUZZ_CHECK(item->HeaderLength == 6);
            const std::uint32_t length = item->Data[2] | (item->Data[3] << 8) |
                                         (item->Data[4] << 16) |
                                         (static_cast<std::uint32_t>(item->Data[5]) << 24);
            FUZZ_CHECK(static_cast<std::uint32_t>(item->BodyLength) == length);
        } else {
            FUZZ_CHECK(item->HeaderLength == 2);
            FUZZ_CHECK(item->BodyLength == static_cast<std::int32_t>(word & 0x3F));
        }
        FUZZ_CHECK(item->IconIndex == TagIconIndex(item->TagCode));
    }
}

// Replays the walk's bookkeeping over the finished list: each level starts right behind its
// sprite's id and frame count, its items follow each other without gap, a sprite's enclosing level
// goes on at the sprite's declared end, frames count per level, and a level ends with its End item
// or exactly at the end of the file. For depth 0 this is the rule that the top-level items cover
// the bytes from the end of the header to the end of the End tag (or of the file).
void CheckWalkShape(const std::vector<ItemFacts>& items, std::int64_t headerLength,
                    std::int64_t fileLength) {
    struct Level {
        std::int64_t nextOffset;
        std::uint16_t frames;
        bool ended;
    };
    std::vector<Level> levels{{headerLength, 0, false}};
    auto closeInnermost = [&]() {
        FUZZ_CHECK(levels.back().ended || levels.back().nextOffset == fileLength);
        levels.pop_back();
    };
    const ItemFacts* prev = nullptr;
    for (const ItemFacts& item : items) {
        FUZZ_CHECK(!levels.empty());
        const std::size_t depth = item.depth;
        if (prev != nullptr && prev->code == tagDefineSprite && depth == prev->depth + 1u) {
            levels.push_back({prev->offset + prev->headerLength + 4, 0, false});
        } else if (prev != nullptr && prev->code == tagDefineSprite) {
            // The sprite's level held nothing: it ended at once at the end of the file.
            FUZZ_CHECK(prev->offset + prev->headerLength + 4 == fileLength);
        }
        FUZZ_CHECK(depth < levels.size());
        while (levels.size() > depth + 1) {
            closeInnermost();
        }
        Level& level = levels.back();
        FUZZ_CHECK(!level.ended);
        FUZZ_CHECK(item.offset == level.nextOffset);
        FUZZ_CHECK(item.frame == level.frames);
        level.nextOffset = item.end;
        if (item.code == tagShowFrame) {
            ++level.frames;
        }
        if (item.code == tagEnd) {
            level.ended = true;
        }
        prev = &item;
    }
    if (prev != nullptr && prev->code == tagDefineSprite) {
        FUZZ_CHECK(prev->offset + prev->headerLength + 4 == fileLength);
    }
    while (!levels.empty()) {
        closeInnermost();
    }
}

void CheckNames(const CInputScript& movie) {
    for (const TagItem* item = movie.FirstTag; item != nullptr; item = item->Next) {
        FUZZ_CHECK(*TagTypeName(item->TagCode) != '\0');
        if (item->TagCode == tagDoAction) {
            FUZZ_CHECK(!FirstActionName(*item).empty());
        }
    }
}

void CheckLoadedMovie(const CInputScript& movie, std::size_t size) {
    FUZZ_CHECK(movie.Loaded);
    FUZZ_CHECK(!movie.InFile.IsOpen());
    FUZZ_CHECK(FileBytes != nullptr);
    FUZZ_CHECK(FileBytesLength == static_cast<std::int64_t>(size));
    FUZZ_CHECK(movie.Header.FileLength == size);
    CheckLinks(movie);
    CheckItemsAgainstBytes(movie);
    CheckWalkShape(Facts(movie), HeaderLength(), FileBytesLength);
    CheckNames(movie);
}

// "Frame", blanks, then the frame number.
unsigned FrameNumber(std::string_view text) {
    FUZZ_CHECK(text.substr(0, 6) == "Frame ");
    std::size_t at = 6;
    while (at < text.size() && text[at] == ' ') {
        ++at;
    }
    unsigned number = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        number = number * 10 + static_cast<unsigned>(text[at] - '0');
    }
    return number;
}

// A tag node's text, images and place: a top-level tag under the frame of its index, a nested
// one under a top-level tag node.
void CheckTagNode(const NodeStore& tree, TreeNode node, const TagItem& item) {
    std::string text = std::string(" ") + TagTypeName(item.TagCode);
    if (item.TagCode == tagDoAction) {
        text += " " + FirstActionName(item);
    }
    if (item.TagCode == tagShowFrame) {
        text += " " + std::to_string(item.FrameIndex);
    }
    FUZZ_CHECK(tree.Text(node) == text);
    FUZZ_CHECK(tree.Image(node) == item.IconIndex && tree.SelectedImage(node) == item.IconIndex);
    const TreeNode parent = tree.Parent(node);
    FUZZ_CHECK(parent != kNoNode);
    if (item.Depth == 0) {
        FUZZ_CHECK(tree.Data(parent) == nullptr);
        FUZZ_CHECK(FrameNumber(tree.Text(parent)) == item.FrameIndex);
    } else {
        const TagItem* owner = tree.Data(parent);
        FUZZ_CHECK(owner != nullptr && owner->Depth == 0);
    }
}

// The tag node of every item; checks that the tree holds one tag node per item and no text
// with an infinite or undefined number in it.
std::unordered_map<const TagItem*, TreeNode> CheckTree(const NodeStore& tree,
                                                       const CInputScript& movie) {
    std::unordered_map<const TagItem*, TreeNode> nodeOf;
    std::size_t items = 0;
    for (const TagItem* item = movie.FirstTag; item != nullptr; item = item->Next) {
        nodeOf.emplace(item, kNoNode);
        ++items;
    }
    std::size_t tagNodes = 0;
    tree.VisitPreOrder([&](TreeNode node, int) {
        const std::string text = tree.Text(node);
        for (const char* bad : {"inf", "nan", "INF", "NAN"}) {
            FUZZ_CHECK(text.find(bad) == std::string_view::npos);
        }
        if (const TagItem* data = tree.Data(node)) {
            auto found = nodeOf.find(data);
            FUZZ_CHECK(found != nodeOf.end());
            FUZZ_CHECK(found->second == kNoNode);
            found->second = node;
            ++tagNodes;
            CheckTagNode(tree, node, *data);
        }
    });
    FUZZ_CHECK(tagNodes == items);
    return nodeOf;
}

// Whether reloading what was saved must give back the same items. Saving drops the bytes after
// the top-level End; only a walk that reached into them can differ, so every item and every
// sprite's id and frame count must lie before that End's end.
bool WithinCoverage(const std::vector<ItemFacts>& items, std::int64_t coverageEnd) {
    for (const ItemFacts& item : items) {
        if (item.end > coverageEnd ||
            (item.code == tagDefineSprite && item.offset + item.headerLength + 4 > coverageEnd)) {
            return false;
        }
    }
    return true;
}

// Whether removing one top-level tag must leave every other item as it was: true when the walk
// of each top-level sprite stays inside that sprite's own bytes, so no walk crosses into a
// neighbour that could be removed.
bool SpritesContained(const std::vector<ItemFacts>& items) {
    const ItemFacts* topLevel = nullptr;
    for (const ItemFacts& item : items) {
        if (item.depth == 0) {
            topLevel = &item;
        } else if (item.end > topLevel->end) {
            return false;
        }
        if (item.code == tagDefineSprite &&
            item.offset + item.headerLength + 4 > (item.depth == 0 ? item.end : topLevel->end)) {
            return false;
        }
    }
    return true;
}

std::int64_t CoverageEnd(const std::vector<ItemFacts>& items, std::int64_t fileLength) {
    for (auto it = items.rbegin(); it != items.rend(); ++it) {
        if (it->depth == 0) {
            return it->code == tagEnd ? it->end : fileLength;
        }
    }
    return fileLength;
}

bool SameItem(const ItemFacts& a, const ItemFacts& b) {
    return a.offset == b.offset && a.end == b.end && a.code == b.code && a.depth == b.depth &&
           a.frame == b.frame && a.headerLength == b.headerLength && a.bodyLength == b.bodyLength;
}

std::vector<ItemFacts> TopLevelOnly(const std::vector<ItemFacts>& items) {
    std::vector<ItemFacts> top;
    for (const ItemFacts& item : items) {
        if (item.depth == 0) {
            top.push_back(item);
        }
    }
    return top;
}

void CheckSameItems(const std::vector<ItemFacts>& got, const std::vector<ItemFacts>& wanted) {
    FUZZ_CHECK(got.size() == wanted.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        FUZZ_CHECK(SameItem(got[i], wanted[i]));
    }
}

std::vector<std::vector<std::uint8_t>> TopLevelTagsAsRead(const CInputScript& movie) {
    std::vector<std::vector<std::uint8_t>> tags;
    for (const TagItem* item = movie.FirstTag; item != nullptr; item = item->Next) {
        if (item->Depth == 0) {
            tags.emplace_back(item->Data, item->Data + item->HeaderLength +
                                              static_cast<std::uint32_t>(item->BodyLength));
        }
    }
    return tags;
}

// A lenient read gives the strict load's result, and for a movie that loads its very items and
// no faults. Repairing what it read gives a movie that loads, whose top-level tags are the ones
// kept, byte for byte (and an End), and which repairing again leaves as it is.
void CheckLenientReadAndRepair(const std::uint8_t* data, std::size_t size,
                               std::int32_t strictResult,
                               const std::vector<ItemFacts>& strictFacts) {
    ScopedMovie read;
    LoadFaults faults;
    FUZZ_CHECK(LoadMovieFromBytes(read.movie, "lenient", data, size, &faults) == strictResult);
    const bool noFaults = !faults.lengthDiffers && faults.walk.result == loadOk;
    FUZZ_CHECK((strictResult == loadOk) == (faults.readable && noFaults));
    if (strictResult == loadOk) {
        CheckSameItems(Facts(read.movie), strictFacts);
    }
    if (!faults.readable) {
        FUZZ_CHECK(read.movie.FirstTag == nullptr);
        return;
    }
    const std::vector<std::vector<std::uint8_t>> readTags = TopLevelTagsAsRead(read.movie);
    if (Facts(read.movie).size() > kLargestFullyCheckedList) {
        return;
    }
    const RepairOutcome outcome = RepairMovie(read.movie, faults, false);
    if (outcome.result != RepairResult::Repaired) {
        return;
    }
    const std::vector<std::uint8_t> repaired = SavedMovieBytes(read.movie);
    FUZZ_CHECK(repaired.size() == outcome.fileLength);
    read.Release();

    ScopedMovie again;
    LoadFaults none;
    FUZZ_CHECK(LoadMovieFromBytes(again.movie, "repaired", repaired.data(), repaired.size(),
                                  &none) == loadOk);
    std::vector<std::vector<std::uint8_t>> wanted(readTags.begin(),
                                                  readTags.begin() + outcome.topLevelKept);
    if (outcome.endAdded) {
        wanted.push_back({0, 0});
    }
    FUZZ_CHECK(TopLevelTagsAsRead(again.movie) == wanted);
    FUZZ_CHECK(RepairMovie(again.movie, none, false).result == RepairResult::Repaired);
    FUZZ_CHECK(SavedMovieBytes(again.movie) == repaired);
}

std::int64_t FileSize(const std::string& path) {
    struct stat st {};
    FUZZ_CHECK(stat(path.c_str(), &st) == 0);
    return st.st_size;
}

std::vector<std::uint8_t> ReadWhole(const std::string& path) {
    std::vector<std::uint8_t> bytes;
    std::FILE* in = std::fopen(path.c_str(), "rb");
    FUZZ_CHECK(in != nullptr);
    std::uint8_t buffer[65536];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    std::fclose(in);
    return bytes;
}

// Loads a saved file into `movie`. When `exact`, it must load with exactly `wanted`; otherwise a
// run-on sprite may walk differently without the bytes that were dropped, so the load may fail
// with a structure code, but when it loads, its top-level items must be exactly the wanted ones.
void CheckReload(CInputScript& movie, const std::string& path, const std::vector<ItemFacts>& wanted,
                 bool exact) {
    const std::int32_t result = LoadMovieFile(movie, path);
    // A narrow header leaves room for a movie shorter than the smallest file the loader takes,
    // and saving with tags removed or the bytes after End dropped can make one.
    if (FileSize(path) < kSmallestMovieBytes) {
        FUZZ_CHECK(result == loadTooSmall);
        return;
    }
    if (!exact && result != loadOk) {
        FUZZ_CHECK(result == loadStructureLeavesFile || result == loadNestedTooDeep ||
                   result == loadTooManyItems);
        return;
    }
    FUZZ_CHECK(result == loadOk);
    CheckLoadedMovie(movie, static_cast<std::size_t>(FileBytesLength));
    const std::vector<ItemFacts> got = Facts(movie);
    if (exact) {
        CheckSameItems(got, wanted);
    } else {
        CheckSameItems(TopLevelOnly(got), TopLevelOnly(wanted));
    }
}

// A saved file is the input's signature and version, the new length, the rest of the input's
// header unchanged, and then the input's bytes from `parts`, in order.
void CheckSavedBytes(const std::string& path, const std::uint8_t* input, std::int64_t headerLength,
                     const std::vector<std::pair<std::int64_t, std::int64_t>>& parts,
                     std::uint32_t declaredLength) {
    const std::vector<std::uint8_t> saved = ReadWhole(path);
    std::vector<std::uint8_t> wanted(input, input + 4);
    const auto length = static_cast<std::uint32_t>(saved.size());
    for (int shift = 0; shift < 32; shift += 8) {
        wanted.push_back(static_cast<std::uint8_t>(length >> shift));
    }
    wanted.insert(wanted.end(), input + 8, input + headerLength);
    for (const auto& [from, to] : parts) {
        wanted.insert(wanted.end(), input + from, input + to);
    }
    FUZZ_CHECK(saved == wanted);
    FUZZ_CHECK(declaredLength == saved.size());
}

// A folder of its own for one input's saved files, so that the writer's temporary files have a
// home; gone again when the input is done, however the fuzzer later exits.
class SaveFolder {
  public:
    SaveFolder() {
        char pattern[] = "/dev/shm/velpin-fuzz-XXXXXX";
        char tmpPattern[] = "/tmp/velpin-fuzz-XXXXXX";
        const char* made = mkdtemp(pattern);
        if (made == nullptr) {
            made = mkdtemp(tmpPattern);
        }
        FUZZ_CHECK(made != nullptr);
        path_ = made;
    }
    ~SaveFolder() {
        for (const char* name : {"saved.swf", "removed.swf"}) {
            unlink(File(name).c_str());
        }
        rmdir(path_.c_str());
    }
    std::string File(const char* name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// A choice that depends on every input byte, so the fuzzer can steer it.
std::size_t Pick(const std::uint8_t* data, std::size_t size, std::size_t salt, std::size_t count) {
    std::size_t h = salt;
    for (std::size_t i = 0; i < size; ++i) {
        h = h * 31 + data[i];
    }
    return h % count;
}

void CheckSaveDeleteReload(CInputScript& movie, NodeStore& tree, NodeView& view,
                           const std::uint8_t* data, std::size_t size) {
    const SaveFolder folder;
    const std::vector<ItemFacts> items = Facts(movie);
    const std::int64_t headerLength = HeaderLength();
    const std::int64_t coverageEnd = CoverageEnd(items, FileBytesLength);
    const bool withinCoverage = WithinCoverage(items, coverageEnd);
    const bool contained = SpritesContained(items);

    const std::string saved = folder.File("saved.swf");
    FUZZ_CHECK(SaveMovieFile(movie, saved) == 0);
    CheckSavedBytes(saved, data, headerLength, {{headerLength, coverageEnd}},
                    movie.Header.FileLength);

    std::unordered_map<const TagItem*, TreeNode> nodeOf = CheckTree(tree, movie);
    std::vector<const TagItem*> itemAt;
    std::vector<std::size_t> topLevelIndices;
    std::vector<std::size_t> nestedIndices;
    for (const TagItem* item = movie.FirstTag; item != nullptr; item = item->Next) {
        (item->Depth == 0 ? topLevelIndices : nestedIndices).push_back(itemAt.size());
        itemAt.push_back(item);
    }

    // A nested tag is not deleted: its bytes stay inside its sprite's, which is saved whole.
    if (!nestedIndices.empty()) {
        const std::size_t index = nestedIndices[Pick(data, size, 1, nestedIndices.size())];
        const std::size_t nodesBefore = tree.LiveNodeCount();
        DeleteSelectedTag(movie, tree, view, nodeOf.at(itemAt[index]));
        FUZZ_CHECK(tree.LiveNodeCount() == nodesBefore);
        FUZZ_CHECK(tree.Data(nodeOf.at(itemAt[index])) == itemAt[index]);
        CheckLinks(movie);
    }

    std::vector<ItemFacts> wanted;
    std::vector<std::pair<std::int64_t, std::int64_t>> parts{{headerLength, coverageEnd}};
    if (!topLevelIndices.empty()) {
        const std::size_t index = topLevelIndices[Pick(data, size, 2, topLevelIndices.size())];
        const ItemFacts gone = items[index];
        // The tree drops the tag's node with the nested nodes under it; the items of a removed
        // sprite's contents stay in the list, unseen.
        std::size_t nestedUnder = 0;
        for (std::size_t i = index + 1; i < items.size() && items[i].depth != 0; ++i) {
            ++nestedUnder;
        }
        const std::size_t nodesBefore = tree.LiveNodeCount();
        DeleteSelectedTag(movie, tree, view, nodeOf.at(itemAt[index]));
        FUZZ_CHECK(tree.LiveNodeCount() == nodesBefore - 1 - nestedUnder);
        for (const TagItem* item = movie.FirstTag; item != nullptr; item = item->Next) {
            FUZZ_CHECK(item != itemAt[index]);
        }
        CheckLinks(movie);

        // The removed tag's own nested items follow it up to the next top-level item.
        std::size_t nextTopLevel = index + 1;
        while (nextTopLevel < items.size() && items[nextTopLevel].depth != 0) {
            ++nextTopLevel;
        }
        const std::int64_t goneLength = gone.end - gone.offset;
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (i >= index && i < nextTopLevel) {
                continue;
            }
            ItemFacts item = items[i];
            if (i > index) {
                item.offset -= goneLength;
                item.end -= goneLength;
                if (item.depth == 0 && gone.code == tagShowFrame) {
                    --item.frame;
                }
            }
            wanted.push_back(item);
        }
        parts = {{headerLength, gone.offset}, {gone.end, coverageEnd}};
    } else {
        wanted = items;
    }
    const std::string removed = folder.File("removed.swf");
    FUZZ_CHECK(SaveMovieFile(movie, removed) == 0);
    CheckSavedBytes(removed, data, headerLength, parts, movie.Header.FileLength);

    // Loading into the same document also releases what it held, the removed sprite's contents
    // included.
    CheckReload(movie, saved, items, withinCoverage);
    CheckReload(movie, removed, wanted, contained);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static MemoryFile input;
    // Kept across inputs, so that every open also releases the previous document and tree.
    static CInputScript movie;
    static NodeStore tree;
    static FrameNodeTable frameNodes;
    HeadlessShell view;

    const std::string& path = input.Fill(data, size);
    // The same bytes loaded from memory, released before the file's load takes over FileBytes.
    static ScopedMovie inMemory;
    const std::int32_t memoryResult = LoadMovieFromBytes(inMemory.movie, path, data, size);
    const std::vector<ItemFacts> memoryFacts =
        memoryResult == loadOk ? Facts(inMemory.movie) : std::vector<ItemFacts>{};
    inMemory.Release();
    CheckLenientReadAndRepair(data, size, memoryResult, memoryFacts);

    tree.Clear();
    const std::int32_t result = LoadMovieFile(movie, path);
    // A load from memory gives what the load of a file holding those bytes gives, item for item.
    FUZZ_CHECK(result == memoryResult);
    if (result != loadOk) {
        CheckFailedLoadState(movie);
        return result == loadTooManyItems ? kRejectFromCorpus : 0;
    }
    BuildMovieTree(movie, tree, frameNodes);
    CheckLoadedMovie(movie, size);
    CheckSameItems(Facts(movie), memoryFacts);
    CheckSameHeader(movie.Header, inMemory.movie.Header);
    if (Facts(movie).size() > kLargestFullyCheckedList) {
        CheckTree(tree, movie);
        return kRejectFromCorpus;
    }
    CheckSaveDeleteReload(movie, tree, view, data, size);
    return 0;
}
