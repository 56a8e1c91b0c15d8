// Reads one uncompressed SWF movie into the document.
#pragma once

#include <cstdint>
#include <string>

#include "swfff/document.h"

constexpr std::int64_t kSmallestMovieBytes = 21;
constexpr std::int64_t kLargestMovieBytes = 4194304;
// A list longer than this can only come from run-on sprites multiplying the tags after them.
constexpr std::int64_t kMaxTagItems = 4194304;
constexpr int kMaxDepth = 65535;

// Returns a LoadResult; raises EInOutError when the file cannot be opened, sized or closed and
// EOutOfMemory when a tag item cannot be allocated.
std::int32_t LoadMovieFile(CInputScript& script, const std::string& path);

// Loads a movie held in memory, `length` bytes from `bytes`, exactly as LoadMovieFile loads a
// file holding those bytes: the same checks, result codes and document, with `name` as FileName.
// The bytes are copied into FileBytes, so the caller keeps its own. Raises EOutOfMemory when a
// tag item cannot be allocated.
std::int32_t LoadMovieFromBytes(CInputScript& script, const std::string& name,
                                const std::uint8_t* bytes, std::int64_t length);

// Returns 0, or -1, -2, -3 for a wrong first, second or third signature byte.
std::int32_t ReadMovieHeader(MovieHeader& header, CInputScript& script);

// Appends the items of one level, and of every sprite inside it, to the list. Returns 0, or
// loadStructureLeavesFile, loadNestedTooDeep or loadTooManyItems.
std::int32_t ParseTagList(CInputScript& script, bool atSpriteBody, std::uint16_t depth);
