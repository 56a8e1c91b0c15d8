// The movie document: one loaded movie as a header record and a flat, doubly linked list of tag
// items that point into the module-level buffer FileBytes.
#pragma once

#include <cstdint>
#include <string>

#include "swfff/fileio.h"
#include "swfff/outfile.h"

// In twips (twentieths of a pixel).
struct FrameRectangle {
    std::int32_t XMin = 0;
    std::int32_t XMax = 0;
    std::int32_t YMin = 0;
    std::int32_t YMax = 0;
};

struct MovieHeader {
    std::uint8_t Signature[3] = {0, 0, 0};
    std::uint8_t Version = 0;
    std::uint32_t FileLength = 0;
    FrameRectangle FrameRect;
    std::uint16_t FrameRate = 0;  // 8.8 fixed point
    std::uint16_t FrameCount = 0;
};

struct TagItem {
    std::uint8_t* Data;  // first header byte, inside FileBytes
    TagItem* Next;
    TagItem* Prev;
    std::int32_t BodyLength;
    std::uint16_t HeaderLength;  // 2 or 6
    std::uint16_t TagCode;       // 0 to 1023
    std::uint16_t FrameIndex;    // ShowFrames before this item at its own level
    std::uint16_t Depth;         // 0 at the movie's level, d + 1 inside a sprite at depth d
    std::uint16_t IconIndex;     // TagIconIndex of TagCode
};

struct CInputScript {
    TagItem* FirstTag = nullptr;
    std::string FileName;
    std::int32_t Position = 0;
    std::int32_t BitCount = 0;
    std::int32_t BitBuffer = 0;
    std::int32_t TagStart = 0;
    std::int32_t NextTagPos = 0;
    // Holds the header's 32-bit length field bit for bit; lengths of 2^31 and more read negative
    // here and are caught by the loader's bounds checks before anything uses them.
    std::int32_t TagBodyLength = 0;
    std::int32_t TagHeaderLength = 0;
    MovieHeader Header;
    bool Loaded = false;
    InputFile InFile;
    OutputFile OutFile;
};

// Load result codes of LoadMovieFile.
enum LoadResult : std::int32_t {
    loadOk = 0,
    loadTooLarge = -1,
    loadTooSmall = -2,
    loadNoHeaderMemory = -3,
    loadHeaderReadFailed = -4,
    loadNotUncompressedSwf = -5,
    loadLengthMismatch = -6,
    loadNoFileMemory = -7,
    loadFileReadFailed = -8,
    loadStructureLeavesFile = -9,
    loadNestedTooDeep = -10,
    loadTooManyItems = -11,
};

// A short reason in words for a load result code, for messages that name the code.
const char* LoadResultReason(std::int32_t result);

// The loaded file, from its first signature byte on; null when nothing is held. One per thread:
// a document and the buffer its items point into belong to the thread that loaded it, so that
// velpin-cli can load several movies at once while the window, which has one thread, sees the
// one buffer the format's tools have always had.
extern thread_local std::uint8_t* FileBytes;
// How many bytes FileBytes holds, so that every read can be checked against it.
extern thread_local std::int64_t FileBytesLength;

void InitTagItem(TagItem& item);
void FreeMovieBytes();

// Unlinks one item from the document's list and releases it. Items inside a removed sprite stay
// in the list.
void RemoveTagItem(CInputScript& movie, TagItem* item);

// Releases every item of the document's list and leaves the list empty.
void FreeTagList(CInputScript& movie);
