// How a subcommand writes the movie it made: through the writer and the safe output file, in the
// container the movie came in.
#pragma once

#include <string>

#include "cli/codec/container.h"
#include "swfff/document.h"

// Saves the loaded `movie` to `out` as Save As does, compressed again when it came in a compressed
// `container`, unless `fws` asks for it uncompressed. Returns false when a write failed; the
// output is then discarded and a file that was there keeps its bytes.
bool SaveMovieIn(CInputScript& movie, Container container, bool fws, const std::string& out);
