// The two forms of `tree`: the window's tree as indented lines, and as one JSON object whose
// nodes nest as the tree's do.
#pragma once

#include "Unit1/presentation/NodeStore.h"
#include "input/movie_input.h"
#include "swfff/document.h"

namespace velpin {

// One node per line, indented by two blanks per level.
void PrintTreeText(const NodeStore& tree);

// The envelope (after a lenient read, the faults) and the root in "tree", one node per line,
// indented by its depth; a node's children follow on the lines after it. Tag nodes name their
// item by its index in `movie`'s list.
void PrintTreeJson(const NodeStore& tree, const CInputScript& movie, const LoadedInput& loaded);

}  // namespace velpin
