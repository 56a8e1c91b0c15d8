// The two forms of `tags`: one item per line, and one JSON object with the header and the items.
#pragma once

#include "input/movie_input.h"
#include "swfff/document.h"

namespace velpin {

// Index, offset, code, name, header and body length, depth, frame and icon, and a DoAction's
// first action, separated by blanks.
void PrintTagsText(const CInputScript& movie);

// The envelope (after a lenient read, the faults), "header" and "tags", one item per line. The
// header's signature is what the file holds, or the embedded data: `loaded.head`'s when read.
void PrintTagsJson(const CInputScript& movie, const LoadedInput& loaded);

}  // namespace velpin
