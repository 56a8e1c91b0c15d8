#include "MemoryTree.h"

#include <cstring>
#include <functional>
#include <limits>
#include <stdexcept>
#include <utility>

MemoryTree::MemoryTree(SelectionListener onSelectionChange)
    : onSelectionChange_(std::move(onSelectionChange)) {}

void MemoryTree::SetSelectionListener(SelectionListener onSelectionChange) {
    onSelectionChange_ = std::move(onSelectionChange);
}

const MemoryTree::Node& MemoryTree::At(TreeNode node) const {
    if (node >= nodes_.size() || !nodes_[node].live) {
        throw std::out_of_range("no such tree node");
    }
    return nodes_[node];
}

MemoryTree::Node& MemoryTree::At(TreeNode node) {
    return const_cast<Node&>(std::as_const(*this).At(node));
}

void MemoryTree::BeginUpdate() {
    ++updateDepth_;
}

void MemoryTree::EndUpdate() {
    if (updateDepth_ == 0) {
        throw std::logic_error("EndUpdate without BeginUpdate");
    }
    --updateDepth_;
}

void MemoryTree::Clear() {
    nodes_.clear();
    texts_.clear();
    firstTop_ = kNoNode;
    lastTop_ = kNoNode;
    liveNodes_ = 0;
    if (selected_ != kNoNode) {
        ChangeSelection(kNoNode);
    }
}

std::uint32_t MemoryTree::StoreText(std::string_view text) {
    if (texts_.size() + text.size() > std::numeric_limits<std::uint32_t>::max()) {
        throw std::length_error("tree texts exceed 4 GiB");
    }
    const auto offset = static_cast<std::uint32_t>(texts_.size());
    texts_.append(text.data(), text.size());
    return offset;
}

TreeNode MemoryTree::Append(TreeNode parent, std::string_view text, TagItem* data) {
    // kNoNode itself must never become a handle.
    if (nodes_.size() >= kNoNode) {
        throw std::length_error("too many tree nodes");
    }
    if (parent != kNoNode) {
        At(parent);
    }
    const auto node = static_cast<TreeNode>(nodes_.size());
    const std::uint32_t offset = StoreText(text);
    const TreeNode previous = parent == kNoNode ? lastTop_ : nodes_[parent].lastChild;
    nodes_.push_back(Node{data, offset, static_cast<std::uint32_t>(text.size()), parent, kNoNode,
                          kNoNode, previous, kNoNode, 0, 0, false, true});
    // Taken after the push_back, which may have moved the parent.
    TreeNode& last = parent == kNoNode ? lastTop_ : nodes_[parent].lastChild;
    if (last == kNoNode) {
        (parent == kNoNode ? firstTop_ : nodes_[parent].firstChild) = node;
    } else {
        nodes_[last].nextSibling = node;
    }
    last = node;
    ++liveNodes_;
    return node;
}

TreeNode MemoryTree::AddTopLevel(std::string_view text, TagItem* data) {
    return Append(kNoNode, text, data);
}

TreeNode MemoryTree::AddChildLast(TreeNode parent, std::string_view text, TagItem* data) {
    if (parent == kNoNode) {
        throw std::out_of_range("no such tree node");
    }
    return Append(parent, text, data);
}

void MemoryTree::SetImages(TreeNode node, int imageIndex, int selectedImageIndex) {
    Node& n = At(node);
    n.image = imageIndex;
    n.selectedImage = selectedImageIndex;
}

std::string_view MemoryTree::TextView(TreeNode node) const {
    const Node& n = At(node);
    return std::string_view(texts_).substr(n.textOffset, n.textLength);
}

std::string MemoryTree::Text(TreeNode node) const {
    return std::string(TextView(node));
}

void MemoryTree::SetText(TreeNode node, std::string_view text) {
    Node& n = At(node);
    const std::less<const char*> before;
    if (!before(text.data(), texts_.data()) && before(text.data(), texts_.data() + texts_.size())) {
        const std::string copy(text);
        SetText(node, copy);
        return;
    }
    // The presentation mostly extends the text of the node it added last, which sits at the end
    // of the store and can grow where it is.
    const bool atEnd = std::size_t{n.textOffset} + n.textLength == texts_.size();
    if (atEnd && text.size() >= n.textLength &&
        std::memcmp(texts_.data() + n.textOffset, text.data(), n.textLength) == 0) {
        StoreText(text.substr(n.textLength));
    } else if (text.size() <= n.textLength) {
        texts_.replace(n.textOffset, text.size(), text.data(), text.size());
    } else {
        n.textOffset = StoreText(text);
    }
    n.textLength = static_cast<std::uint32_t>(text.size());
}

TreeNode MemoryTree::FirstTopLevel() const {
    return firstTop_;
}

void MemoryTree::ChangeSelection(TreeNode node) {
    selected_ = node;
    if (onSelectionChange_) {
        onSelectionChange_(node);
    }
}

void MemoryTree::Select(TreeNode node) {
    At(node);
    if (selected_ != node) {
        ChangeSelection(node);
    }
}

void MemoryTree::ExpandOneLevel(TreeNode node) {
    At(node).expanded = true;
}

TagItem* MemoryTree::Data(TreeNode node) const {
    return At(node).data;
}

void MemoryTree::ClearData(TreeNode node) {
    At(node).data = nullptr;
}

bool MemoryTree::IsSelected(TreeNode node) const {
    At(node);
    return selected_ == node;
}

bool MemoryTree::IsWithin(TreeNode node, TreeNode ancestor) const {
    for (TreeNode at = node; at != kNoNode; at = nodes_[at].parent) {
        if (at == ancestor) {
            return true;
        }
    }
    return false;
}

void MemoryTree::DeleteWithDescendants(TreeNode node) {
    Node& doomed = At(node);
    const bool losesSelection = selected_ != kNoNode && IsWithin(selected_, node);
    TreeNode successor = doomed.nextSibling;
    if (successor == kNoNode) {
        successor = doomed.prevSibling != kNoNode ? doomed.prevSibling : doomed.parent;
    }

    const TreeNode parent = doomed.parent;
    TreeNode& first = parent == kNoNode ? firstTop_ : nodes_[parent].firstChild;
    TreeNode& last = parent == kNoNode ? lastTop_ : nodes_[parent].lastChild;
    (doomed.prevSibling == kNoNode ? first : nodes_[doomed.prevSibling].nextSibling) =
        doomed.nextSibling;
    (doomed.nextSibling == kNoNode ? last : nodes_[doomed.nextSibling].prevSibling) =
        doomed.prevSibling;

    // Walks the detached subtree along its own links; no stack, however deep it is nested.
    TreeNode at = node;
    while (at != kNoNode) {
        Node& n = nodes_[at];
        n.live = false;
        n.data = nullptr;
        --liveNodes_;
        if (n.firstChild != kNoNode) {
            at = n.firstChild;
            continue;
        }
        while (at != node && nodes_[at].nextSibling == kNoNode) {
            at = nodes_[at].parent;
        }
        at = at == node ? kNoNode : nodes_[at].nextSibling;
    }

    if (losesSelection) {
        ChangeSelection(successor);
    }
}

int MemoryTree::Image(TreeNode node) const {
    return At(node).image;
}

int MemoryTree::SelectedImage(TreeNode node) const {
    return At(node).selectedImage;
}

bool MemoryTree::IsExpanded(TreeNode node) const {
    return At(node).expanded;
}

TreeNode MemoryTree::Parent(TreeNode node) const {
    return At(node).parent;
}

TreeNode MemoryTree::FirstChild(TreeNode node) const {
    return At(node).firstChild;
}

TreeNode MemoryTree::NextSibling(TreeNode node) const {
    return At(node).nextSibling;
}

void MemoryTree::VisitPreOrder(const std::function<void(TreeNode node, int depth)>& visit) const {
    TreeNode at = firstTop_;
    int depth = 0;
    while (at != kNoNode) {
        visit(at, depth);
        const Node& n = nodes_[at];
        if (n.firstChild != kNoNode) {
            at = n.firstChild;
            ++depth;
            continue;
        }
        while (at != kNoNode && nodes_[at].nextSibling == kNoNode) {
            at = nodes_[at].parent;
            --depth;
        }
        if (at != kNoNode) {
            at = nodes_[at].nextSibling;
        }
    }
}
