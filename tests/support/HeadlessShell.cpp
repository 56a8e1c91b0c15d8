#include "tests/support/HeadlessShell.h"

#include <utility>

HeadlessShell::HeadlessShell(SelectionListener onSelectionChange)
    : onSelectionChange_(std::move(onSelectionChange)) {}

void HeadlessShell::EndUpdate() {
    if (updateDepth_ > 0) {
        --updateDepth_;
    }
}

void HeadlessShell::Select(TreeNode node) {
    if (node == selected_) {
        return;
    }
    selected_ = node;
    if (onSelectionChange_) {
        onSelectionChange_(node);
    }
}
