// One indented text for a tree, printed from the Qt model through its item-model interface and
// from the in-memory tree, so the two adapters of the presentation can be compared line by line.
#pragma once

#include <string>

class MemoryTree;
class TreeModel;

// One line per node in pre-order: two blanks per level, the text, " [image/selected image]", and
// " *" on the selected node.
std::string DumpModel(const TreeModel& model);
std::string DumpMemoryTree(const MemoryTree& tree);
