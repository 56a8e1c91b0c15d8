// How a command writes what it made: through the safe output file, and a movie through the writer,
// in the signature it came in.
#pragma once

#include <functional>
#include <string>

#include "codec/signature.h"
#include "codec/swfcodec.h"
#include "swfff/document.h"

namespace velpin {

// Writes the file `path` through the safe output file: `produce` hands the bytes to the sink it
// is given, and the file appears, complete, only when every byte was written. Returns false when
// a write failed: the sink drops what comes after it, the output is discarded and a file that was
// there keeps its bytes. What OutputFile's Create and Commit raise is raised as an unwritable
// Error about the output (CurrentOutputError); what `produce` raises passes through, the output
// discarded.
bool WriteOutputFile(const std::string& path, const std::function<void(const ByteSink&)>& produce);

// Saves the loaded `movie` to `out` as Save As does, compressed again when it came with a
// compressed `signature`, unless `fws` asks for it uncompressed. Returns false when a write
// failed, and raises when the output cannot be created or put in place, as WriteOutputFile does.
// A coder that cannot start raises an Error about the output.
bool SaveMovieIn(CInputScript& movie, Signature signature, bool fws, const std::string& out);

}  // namespace velpin
