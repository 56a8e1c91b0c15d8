// Saves the loaded movie: the header rebuilt with a recomputed file length, then the stored bytes
// of every top-level tag that is still in the document's list, copied unchanged from FileBytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "swfff/document.h"

// Returns 0 when the whole file was written and put in place, -1 when a write failed (the output
// is then discarded, and a file that was there keeps its old bytes) or when no movie is loaded.
// Raises EInOutError when the output cannot be created or closed.
std::int32_t SaveMovieFile(CInputScript& script, const std::string& path);

// The bytes SaveMovieFile would write, in memory, for a movie that is compressed before it goes to
// a file; empty when no movie is loaded. Stores the new file length in the header as a save does.
std::vector<std::uint8_t> SavedMovieBytes(CInputScript& script);

// Writes the header to the open OutFile, as SaveMovieFile does before the tags: each field with a
// write of its own, the file length recomputed and stored in header.FileLength. Returns 0, or -1
// after discarding the output.
std::int32_t WriteMovieHeader(MovieHeader& header, CInputScript& script);

// An item's stored bytes, its tag header included: what a save copies of it.
std::size_t StoredItemBytes(const TagItem& item);

// The length of the header a save writes, as long as the loaded file's frame rectangle makes it.
// Needs a loaded movie.
std::uint32_t SavedHeaderLength();

// The bytes of every depth-0 item, headers included: exactly what follows the file header.
std::uint32_t TopLevelTagBytes(const CInputScript& script);

// The length of the file a save writes: the header, as long as its frame rectangle makes it, and
// the top-level tags. Needs a loaded movie.
std::uint32_t SavedMovieLength(const CInputScript& script);

// The bytes of the loaded file that a save drops: whatever follows the end of the last top-level
// tag the loader kept. Needs a loaded movie.
std::int64_t TrailingBytes(const CInputScript& script);
