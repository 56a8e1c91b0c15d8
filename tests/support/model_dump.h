// One indented text for a tree, printed from the Qt model through its item-model interface and
// from a node store directly, so that what views see can be compared with the store line by line.
#pragma once

#include <string>

class NodeStore;
class NodeView;
class TreeModel;

// One line per node in pre-order: two blanks per level, the text, " [image/selected image]", and
// " *" on the selected node.
std::string DumpModel(const TreeModel& model);
std::string DumpNodeStore(const NodeStore& tree, const NodeView& view);
