// Reads one uncompressed SWF movie into the document.
#pragma once

#include <cstdint>
#include <string>

#include "swfff/document.h"

constexpr std::int64_t kSmallestMovieBytes = 21;
// The window's limit, and every load's unless its caller gives another.
constexpr std::int64_t kLargestMovieBytes = 4194304;
// The most a caller may allow: the document's offsets and lengths are signed 32-bit.
constexpr std::int64_t kMostMovieBytesAllowed = 2147483647;
// A list longer than this can only come from run-on sprites multiplying the tags after them.
constexpr std::int64_t kMaxTagItems = 4194304;
constexpr int kMaxDepth = 65535;

// Where a tag walk stopped short of its End: the code the load fails with, why in words, and the
// offset and level of the tag it stopped at (the cut tag, the sprite whose fields are cut or that
// nests too deep, or the tag that would pass the item limit).
struct WalkStop {
    std::int32_t result = loadOk;
    const char* reason = nullptr;
    std::int64_t offset = 0;
    std::uint16_t depth = 0;
};

// What a lenient load found. A lenient load makes the checks of a strict one and returns the same
// code, but a movie whose header it could read is kept as far as it goes: the declared length is
// not compared with the size, and the walk keeps the items it appended before the point where it
// stops. `readable` says whether that happened; the rest is meaningful only then.
struct LoadFaults {
    bool readable = false;
    bool lengthDiffers = false;
    std::uint32_t declaredLength = 0;
    std::int64_t size = 0;  // the bytes held, which the walk runs over
    WalkStop walk;          // result loadOk when the walk reached its End
};

// Returns a LoadResult; raises EInOutError when the file cannot be opened, sized or closed and
// EOutOfMemory when a tag item cannot be allocated. With `lenient`, loads as described there;
// the document is Loaded only when the result is 0, and otherwise keeps the items read. A file
// over `largestBytes` (from kSmallestMovieBytes to kMostMovieBytesAllowed) gives loadTooLarge.
std::int32_t LoadMovieFile(CInputScript& script, const std::string& path,
                           LoadFaults* lenient = nullptr,
                           std::int64_t largestBytes = kLargestMovieBytes);

// Loads a movie held in memory, `length` bytes from `bytes`, exactly as LoadMovieFile loads a
// file holding those bytes: the same checks, result codes and document, with `name` as FileName.
// The bytes are copied into FileBytes, so the caller keeps its own. Raises EOutOfMemory when a
// tag item cannot be allocated.
std::int32_t LoadMovieFromBytes(CInputScript& script, const std::string& name,
                                const std::uint8_t* bytes, std::int64_t length,
                                LoadFaults* lenient = nullptr,
                                std::int64_t largestBytes = kLargestMovieBytes);

// Returns 0, or -1, -2, -3 for a wrong first, second or third signature byte.
std::int32_t ReadMovieHeader(MovieHeader& header, CInputScript& script);

// Appends the items of one level, and of every sprite inside it, to the list. Returns 0, or
// loadStructureLeavesFile, loadNestedTooDeep or loadTooManyItems, and then says where in `stop`
// when given; the items appended up to there stay in the list.
std::int32_t ParseTagList(CInputScript& script, bool atSpriteBody, std::uint16_t depth,
                          WalkStop* stop = nullptr);
