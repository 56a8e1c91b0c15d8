#include "swfff/loader.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "swfff/errors.h"
#include "swfff/reader.h"
#include "swfff/vocabulary.h"

namespace {

constexpr std::int64_t kHeaderBlockBytes = 21;
constexpr int kShortTagHeaderBytes = 2;
constexpr int kLongTagHeaderBytes = 6;
constexpr std::uint16_t kLongLengthMarker = 0x3F;

// Why a walk stopped, in the words its faults are reported in.
constexpr const char* kTagHeaderCut = "a tag header runs past the end";
constexpr const char* kTagBodyCut = "a tag runs past the end";
constexpr const char* kSpriteFieldsCut = "a sprite's fields run past the end";
constexpr const char* kTooDeep = "sprites nest too deep";
constexpr const char* kItemLimit = "the tag items pass their limit";

std::int64_t BytesLeft(const CInputScript& script) {
    return FileBytesLength - script.Position;
}

// Appends at the tail in constant time; the walk is the only writer of the list while it runs.
class ListAppender {
  public:
    explicit ListAppender(CInputScript& script) : script_(script) {
        for (TagItem* item = script.FirstTag; item != nullptr; item = item->Next) {
            tail_ = item;
            ++count_;
        }
    }

    std::int64_t Count() const { return count_; }

    TagItem* Append() {
        auto* item = new (std::nothrow) TagItem;
        if (item == nullptr) {
            throw EOutOfMemory();
        }
        InitTagItem(*item);
        if (tail_ == nullptr) {
            script_.FirstTag = item;
        } else {
            tail_->Next = item;
            item->Prev = tail_;
        }
        tail_ = item;
        ++count_;
        return item;
    }

  private:
    CInputScript& script_;
    TagItem* tail_ = nullptr;
    std::int64_t count_ = 0;
};

bool SkipSpriteFields(CInputScript& script) {
    if (BytesLeft(script) < kSpriteFieldsBytes) {
        return false;
    }
    ReadU16(script);  // character id
    ReadU16(script);  // frame count
    return true;
}

// Ends a load that failed after the input was opened: nothing of it is kept.
template <class Input>
std::int32_t Abandon(CInputScript& script, Input& in, std::int32_t result) {
    FreeTagList(script);
    FreeMovieBytes();
    in.Close();
    return result;
}

bool HasSwfSignature(const std::uint8_t* bytes) {
    return bytes[0] == 'F' && bytes[1] == 'W' && bytes[2] == 'S';
}

// Replaces the header block with one of `length` bytes holding the rest of a long header.
template <class Input>
std::int32_t ExtendHeaderBlock(Input& in, std::int64_t length) {
    auto* block = new (std::nothrow) std::uint8_t[static_cast<std::size_t>(length)];
    if (block == nullptr) {
        return loadNoHeaderMemory;
    }
    for (std::int64_t i = 0; i < FileBytesLength; ++i) {
        block[i] = FileBytes[i];
    }
    const std::int64_t missing = length - FileBytesLength;
    const std::int64_t got = in.Read(block + FileBytesLength, missing);
    FreeMovieBytes();
    FileBytes = block;
    FileBytesLength = length;
    return got == missing ? loadOk : loadHeaderReadFailed;
}

// A movie already in memory, read through the same calls as a file, so that a load from bytes
// makes every check, and gives every code, that a load of a file holding them would.
class MemoryInput {
  public:
    MemoryInput(const std::uint8_t* bytes, std::int64_t length) : bytes_(bytes), length_(length) {}

    std::int64_t Size() const { return length_; }
    bool SeekToStart() {
        position_ = 0;
        return true;
    }
    std::int64_t Read(void* buffer, std::int64_t count) {
        const std::int64_t got = std::min(count, length_ - position_);
        std::memcpy(buffer, bytes_ + position_, static_cast<std::size_t>(got));
        position_ += got;
        return got;
    }
    void Close() {}
    void CloseQuietly() noexcept {}

  private:
    const std::uint8_t* bytes_;
    std::int64_t length_;
    std::int64_t position_ = 0;
};

// The previous document's items and buffer go, whatever the new load's outcome.
void ResetDocument(CInputScript& script, const std::string& name) {
    FreeTagList(script);
    FreeMovieBytes();
    script.Position = 0;
    script.BitCount = 0;
    script.BitBuffer = 0;
    script.Loaded = false;
    script.FileName = name;
}

// Reads the header from the first 21 bytes, or from the whole header when a frame rectangle of
// wide fields makes it longer, and releases the bytes read. Returns loadOk, or the result the
// load fails with, the input then closed.
template <class Input>
std::int32_t ReadHeaderBlock(CInputScript& script, Input& in, std::int64_t size) {
    FileBytes = new (std::nothrow) std::uint8_t[kHeaderBlockBytes];
    if (FileBytes == nullptr) {
        in.Close();
        return loadNoHeaderMemory;
    }
    FileBytesLength = kHeaderBlockBytes;
    if (in.Read(FileBytes, kHeaderBlockBytes) != kHeaderBlockBytes) {
        return Abandon(script, in, loadHeaderReadFailed);
    }
    // A frame rectangle with fields wider than 16 bits makes the header longer than the first
    // 21 bytes; such a header is read whole when the file holds it.
    const std::int64_t headerLength = 12 + FrameRectByteLength(FileBytes[8]);
    if (headerLength > FileBytesLength && HasSwfSignature(FileBytes)) {
        if (headerLength > size) {
            return Abandon(script, in, loadStructureLeavesFile);
        }
        const std::int32_t extended = ExtendHeaderBlock(in, headerLength);
        if (extended != loadOk) {
            return Abandon(script, in, extended);
        }
    }
    if (ReadMovieHeader(script.Header, script) != 0) {
        return Abandon(script, in, loadNotUncompressedSwf);
    }
    FreeMovieBytes();
    return loadOk;
}

// Reads the whole input, `size` bytes, into FileBytes. Returns loadOk, or the result the load
// fails with, the input then closed.
template <class Input>
std::int32_t ReadWholeInput(Input& in, std::int64_t size) {
    FileBytes = new (std::nothrow) std::uint8_t[static_cast<std::size_t>(size)];
    if (FileBytes == nullptr) {
        in.Close();
        return loadNoFileMemory;
    }
    FileBytesLength = size;
    if (!in.SeekToStart() || in.Read(FileBytes, size) != size) {
        // The block stays held, as callers of this code have always found it.
        in.Close();
        return loadFileReadFailed;
    }
    return loadOk;
}

// Everything a load does once its input is open: the size limits, the header, the declared
// length, the whole input into FileBytes and the tag walk.
template <class Input>
std::int32_t LoadOpenedMovie(CInputScript& script, Input& in, LoadFaults* lenient,
                             std::int64_t largestBytes) {
    struct CloseOnRaise {
        Input& input;
        ~CloseOnRaise() { input.CloseQuietly(); }
    } closeOnRaise{in};

    const std::int64_t size = in.Size();
    if (size > largestBytes) {
        in.Close();
        return loadTooLarge;
    }
    if (size < kSmallestMovieBytes) {
        in.Close();
        return loadTooSmall;
    }
    const std::int32_t header = ReadHeaderBlock(script, in, size);
    if (header != loadOk) {
        return header;
    }

    std::int32_t result = loadOk;
    if (script.Header.FileLength != size) {
        if (lenient == nullptr) {
            in.Close();
            return loadLengthMismatch;
        }
        lenient->lengthDiffers = true;
        result = loadLengthMismatch;
    }
    const std::int32_t read = ReadWholeInput(in, size);
    if (read != loadOk) {
        return read;
    }

    if (lenient != nullptr) {
        lenient->readable = true;
        lenient->declaredLength = script.Header.FileLength;
        lenient->size = size;
    }
    const std::int32_t walked =
        ParseTagList(script, false, 0, lenient != nullptr ? &lenient->walk : nullptr);
    if (walked != loadOk) {
        if (lenient == nullptr) {
            return Abandon(script, in, walked);
        }
        result = result != loadOk ? result : walked;
    }
    in.Close();
    script.Loaded = result == loadOk;
    return result;
}

}  // namespace

std::int32_t ReadMovieHeader(MovieHeader& header, CInputScript& script) {
    static constexpr std::uint8_t kSignature[3] = {'F', 'W', 'S'};
    for (int i = 0; i < 3; ++i) {
        // Stored before it is compared, so a mismatch leaves the bytes read so far in the record.
        header.Signature[i] = ReadU8(script);
        if (header.Signature[i] != kSignature[i]) {
            return -(i + 1);
        }
    }
    header.Version = ReadU8(script);
    header.FileLength = ReadU32(script);
    ReadFrameRect(script, header.FrameRect);
    header.FrameRate = ReadU16(script);
    header.FrameCount = ReadU16(script);
    return 0;
}

std::int32_t ParseTagList(CInputScript& script, bool atSpriteBody, std::uint16_t depth,
                          WalkStop* stop) {
    // One entry per open level, innermost last, instead of one call per nesting level: even a
    // 4 MiB file can nest sprites hundreds of thousands deep.
    struct Level {
        std::uint16_t frame;    // wraps after 65535, as the format's frame counts do
        std::int32_t resumeAt;  // where the enclosing level goes on: this sprite's declared end
    };
    std::vector<Level> levels;
    levels.push_back({0, 0});
    const auto stopAt = [stop](std::int32_t result, const char* reason, std::int64_t offset,
                               std::uint16_t atDepth) {
        if (stop != nullptr) {
            *stop = {result, reason, offset, atDepth};
        }
        return result;
    };
    if (atSpriteBody && !SkipSpriteFields(script)) {
        return stopAt(loadStructureLeavesFile, kSpriteFieldsCut, script.Position, depth);
    }
    ListAppender list(script);

    // Leaves the innermost level; its enclosing level resumes at the sprite's declared end,
    // wherever the contents' walk stopped.
    auto closeLevel = [&]() {
        const std::int32_t resumeAt = levels.back().resumeAt;
        levels.pop_back();
        if (!levels.empty()) {
            script.Position = resumeAt;
        }
    };

    while (!levels.empty()) {
        // A level that reaches the end of the file at a tag boundary ends there without its End
        // tag, as real players accept.
        if (BytesLeft(script) == 0) {
            closeLevel();
            continue;
        }
        const auto levelDepth = static_cast<std::uint16_t>(depth + levels.size() - 1);
        if (BytesLeft(script) < kShortTagHeaderBytes ||
            ((FileBytes[script.Position] & kLongLengthMarker) == kLongLengthMarker &&
             BytesLeft(script) < kLongTagHeaderBytes)) {
            return stopAt(loadStructureLeavesFile, kTagHeaderCut, script.Position, levelDepth);
        }
        const std::uint16_t code = ReadTagHeader(script);
        // The length field is 32 bits; compare it to the bytes left in 64 bits.
        const auto bodyLength = static_cast<std::uint32_t>(script.TagBodyLength);
        if (static_cast<std::int64_t>(bodyLength) > BytesLeft(script)) {
            return stopAt(loadStructureLeavesFile, kTagBodyCut, script.TagStart, levelDepth);
        }
        if (list.Count() >= kMaxTagItems) {
            return stopAt(loadTooManyItems, kItemLimit, script.TagStart, levelDepth);
        }
        TagItem* const item = list.Append();
        item->Data = FileBytes + script.TagStart;
        item->BodyLength = script.TagBodyLength;
        item->TagCode = code;
        item->FrameIndex = levels.back().frame;
        item->Depth = levelDepth;
        item->IconIndex = static_cast<std::uint16_t>(TagIconIndex(code));
        item->HeaderLength = static_cast<std::uint16_t>(script.TagHeaderLength);
        const std::int32_t end = script.NextTagPos;

        switch (code) {
            case tagEnd:
                closeLevel();
                continue;
            case tagShowFrame:
                ++levels.back().frame;
                break;
            case tagDefineSprite:
                if (levelDepth >= kMaxDepth) {
                    return stopAt(loadNestedTooDeep, kTooDeep, script.TagStart, levelDepth);
                }
                levels.push_back({0, end});
                if (!SkipSpriteFields(script)) {
                    return stopAt(loadStructureLeavesFile, kSpriteFieldsCut, script.TagStart,
                                  levelDepth);
                }
                continue;
            default:
                break;
        }
        script.Position = end;
    }
    return loadOk;
}

std::int32_t LoadMovieFile(CInputScript& script, const std::string& path, LoadFaults* lenient,
                           std::int64_t largestBytes) {
    ResetDocument(script, path);
    if (lenient != nullptr) {
        *lenient = LoadFaults{};
    }
    script.InFile.Open(path);
    return LoadOpenedMovie(script, script.InFile, lenient, largestBytes);
}

std::int32_t LoadMovieFromBytes(CInputScript& script, const std::string& name,
                                const std::uint8_t* bytes, std::int64_t length, LoadFaults* lenient,
                                std::int64_t largestBytes) {
    ResetDocument(script, name);
    if (lenient != nullptr) {
        *lenient = LoadFaults{};
    }
    MemoryInput in(bytes, length);
    return LoadOpenedMovie(script, in, lenient, largestBytes);
}
