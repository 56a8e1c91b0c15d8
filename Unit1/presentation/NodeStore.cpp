#include "Unit1/presentation/NodeStore.h"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <utility>

bool NodeStore::IsLive(TreeNode node) const {
    return node < nodeCount_ && Slot(node).parent != kGone;
}

std::vector<TreeNode>* NodeStore::ChildrenOf(TreeNode parent) {
    return const_cast<std::vector<TreeNode>*>(std::as_const(*this).ChildrenOf(parent));
}

const std::vector<TreeNode>* NodeStore::ChildrenOf(TreeNode parent) const {
    if (parent == kNoNode) {
        return &topLevel_;
    }
    if (!IsLive(parent) || (Slot(parent).row & kHasChildList) == 0) {
        return nullptr;
    }
    if (parent == lastParent_) {
        return lastParentChildren_;
    }
    return &children_.at(parent);
}

void NodeStore::Clear() {
    // Swapped with empty containers, so that the memory goes back now, not at the next growth.
    decltype(nodeBlocks_)().swap(nodeBlocks_);
    nodeCount_ = 0;
    liveNodes_ = 0;
    decltype(topLevel_)().swap(topLevel_);
    decltype(children_)().swap(children_);
    lastParent_ = kNoNode;
    lastParentChildren_ = nullptr;
    texts_.Clear();
    longest_ = kNoNode;
    longestLength_ = 0;
    longestKnown_ = true;
}

TextId NodeStore::StoreText(std::string_view text) {
    return texts_.Store(text);
}

TreeNode NodeStore::Append(TreeNode parent, TextId text, TagItem* data) {
    if (parent != kNoNode && !IsLive(parent)) {
        return kNoNode;
    }
    if (!texts_.Holds(text)) {
        throw std::out_of_range("no such tree text");
    }
    if (nodeCount_ >= kMaxNodes) {
        throw std::length_error("too many tree nodes");
    }
    // Everything that can fail is done before the node is added.
    std::vector<TreeNode>* siblings = nullptr;
    if (parent == kNoNode) {
        siblings = &topLevel_;
    } else if (parent == lastParent_) {
        siblings = lastParentChildren_;
    } else {
        siblings = &children_[parent];
        Slot(parent).row |= kHasChildList;
        lastParent_ = parent;
        lastParentChildren_ = siblings;
    }
    if (siblings->size() == siblings->capacity()) {
        siblings->reserve(std::max<std::size_t>(4, siblings->capacity() * 2));
    }
    if (nodeCount_ == nodeBlocks_.size() * kNodesPerBlock) {
        std::unique_ptr<Node[]> block(new Node[kNodesPerBlock]);
        nodeBlocks_.push_back(std::move(block));
    }

    const auto node = static_cast<TreeNode>(nodeCount_);
    const std::size_t row = siblings->size();
    Slot(node) = Node{data, parent, static_cast<std::uint32_t>(row), text, 0, 0};
    siblings->push_back(node);
    ++nodeCount_;
    ++liveNodes_;
    ConsiderLongest(node, texts_.Length(text));
    return node;
}

TreeNode NodeStore::AddTopLevel(std::string_view text, TagItem* data) {
    return Append(kNoNode, StoreText(text), data);
}

TreeNode NodeStore::AddChildLast(TreeNode parent, std::string_view text, TagItem* data) {
    if (!IsLive(parent)) {
        return kNoNode;
    }
    return Append(parent, StoreText(text), data);
}

TreeNode NodeStore::AddChildLast(TreeNode parent, TextId text, TagItem* data) {
    if (!IsLive(parent)) {
        return kNoNode;
    }
    return Append(parent, text, data);
}

void NodeStore::SetImages(TreeNode node, int imageIndex, int selectedImageIndex) {
    constexpr int kLowest = std::numeric_limits<std::int16_t>::min();
    constexpr int kHighest = std::numeric_limits<std::int16_t>::max();
    if (imageIndex < kLowest || imageIndex > kHighest || selectedImageIndex < kLowest ||
        selectedImageIndex > kHighest) {
        throw std::out_of_range("image index beyond 16 bits");
    }
    if (!IsLive(node)) {
        return;
    }
    Node& n = Slot(node);
    n.image = static_cast<std::int16_t>(imageIndex);
    n.selectedImage = static_cast<std::int16_t>(selectedImageIndex);
}

std::size_t NodeStore::TextLength(TreeNode node) const {
    return IsLive(node) ? texts_.Length(Slot(node).text) : 0;
}

void NodeStore::AppendTextTo(std::string& out, TreeNode node) const {
    if (IsLive(node)) {
        texts_.AppendTo(out, Slot(node).text);
    }
}

std::string NodeStore::Text(TreeNode node) const {
    std::string text;
    text.reserve(TextLength(node));
    AppendTextTo(text, node);
    return text;
}

void NodeStore::SetText(TreeNode node, std::string_view text) {
    if (!IsLive(node)) {
        return;
    }
    texts_.Replace(Slot(node).text, text);
    ConsiderLongest(node, text.size());
}

void NodeStore::AppendText(TreeNode node, std::string_view tail) {
    if (!IsLive(node)) {
        return;
    }
    texts_.Append(Slot(node).text, tail);
    ConsiderLongest(node, texts_.Length(Slot(node).text));
}

void NodeStore::AppendFrameStatistics(TreeNode node, const FrameStatistics& statistics) {
    if (!IsLive(node)) {
        return;
    }
    texts_.AppendFrameStatistics(Slot(node).text, statistics);
    ConsiderLongest(node, texts_.Length(Slot(node).text));
}

void NodeStore::ConsiderLongest(TreeNode node, std::size_t length) {
    if (!longestKnown_) {
        return;
    }
    if (node == longest_) {
        // A longest text that shrank may have been overtaken: found again when asked.
        longestKnown_ = length >= longestLength_;
        longestLength_ = length;
    } else if (longest_ == kNoNode || length > longestLength_) {
        longest_ = node;
        longestLength_ = length;
    }
}

TreeNode NodeStore::LongestTextNode() const {
    if (!longestKnown_) {
        longest_ = kNoNode;
        longestLength_ = 0;
        for (std::size_t i = 0; i < nodeCount_; ++i) {
            const auto node = static_cast<TreeNode>(i);
            const std::size_t length = TextLength(node);
            if (IsLive(node) && (longest_ == kNoNode || length > longestLength_)) {
                longest_ = node;
                longestLength_ = length;
            }
        }
        longestKnown_ = true;
    }
    return longest_;
}

TreeNode NodeStore::FirstTopLevel() const {
    return topLevel_.empty() ? kNoNode : topLevel_.front();
}

TagItem* NodeStore::Data(TreeNode node) const {
    return IsLive(node) ? Slot(node).data : nullptr;
}

void NodeStore::ClearData(TreeNode node) {
    if (IsLive(node)) {
        Slot(node).data = nullptr;
    }
}

bool NodeStore::IsWithin(TreeNode node, TreeNode ancestor) const {
    if (!IsLive(node) || !IsLive(ancestor)) {
        return false;
    }
    for (TreeNode at = node; at != kNoNode; at = Slot(at).parent) {
        if (at == ancestor) {
            return true;
        }
    }
    return false;
}

void NodeStore::DeleteWithDescendants(TreeNode node) {
    if (!IsLive(node)) {
        return;
    }
    std::vector<TreeNode>& siblings = *ChildrenOf(Slot(node).parent);
    const std::size_t row = RowOf(Slot(node));
    siblings.erase(siblings.begin() + static_cast<std::ptrdiff_t>(row));
    for (std::size_t i = row; i < siblings.size(); ++i) {
        Node& moved = Slot(siblings[i]);
        moved.row = static_cast<std::uint32_t>(i) | (moved.row & kHasChildList);
    }
    ReleaseSubtree(node);
}

void NodeStore::Release(TreeNode node) {
    Node& n = Slot(node);
    if ((n.row & kHasChildList) != 0) {
        children_.erase(node);
    }
    if (node == lastParent_) {
        lastParent_ = kNoNode;
        lastParentChildren_ = nullptr;
    }
    texts_.Release(n.text);
    if (node == longest_) {
        longestKnown_ = false;
    }
    n.parent = kGone;
    n.data = nullptr;
    --liveNodes_;
}

// Walks the subtree in post-order along the nodes' own links, so that any depth of nesting takes
// no stack and no memory that could run out while a view waits for the removal to end.
void NodeStore::ReleaseSubtree(TreeNode node) {
    auto firstLeafUnder = [this](TreeNode at) {
        for (;;) {
            const std::vector<TreeNode>* children = ChildrenOf(at);
            if (children == nullptr || children->empty()) {
                return at;
            }
            at = children->front();
        }
    };
    TreeNode at = firstLeafUnder(node);
    // The siblings of `at`, looked up once per parent rather than once per node.
    TreeNode siblingsParent = kNoNode;
    const std::vector<TreeNode>* siblings = nullptr;
    while (at != node) {
        const TreeNode parent = Slot(at).parent;
        const std::size_t row = RowOf(Slot(at));
        if (parent != siblingsParent || siblings == nullptr) {
            siblings = ChildrenOf(parent);
            siblingsParent = parent;
        }
        const bool lastChild = row + 1 >= siblings->size();
        const TreeNode next = lastChild ? parent : firstLeafUnder((*siblings)[row + 1]);
        Release(at);
        if (lastChild) {
            // The parent's list goes with the parent, after its last child.
            siblings = nullptr;
        }
        at = next;
    }
    Release(node);
}

int NodeStore::Image(TreeNode node) const {
    return IsLive(node) ? Slot(node).image : -1;
}

int NodeStore::SelectedImage(TreeNode node) const {
    return IsLive(node) ? Slot(node).selectedImage : -1;
}

TreeNode NodeStore::Parent(TreeNode node) const {
    return IsLive(node) ? Slot(node).parent : kNoNode;
}

std::size_t NodeStore::Row(TreeNode node) const {
    return IsLive(node) ? RowOf(Slot(node)) : 0;
}

std::size_t NodeStore::ChildCount(TreeNode parent) const {
    const std::vector<TreeNode>* children = ChildrenOf(parent);
    return children == nullptr ? 0 : children->size();
}

TreeNode NodeStore::Child(TreeNode parent, std::size_t row) const {
    const std::vector<TreeNode>* children = ChildrenOf(parent);
    return children == nullptr || row >= children->size() ? kNoNode : (*children)[row];
}

TreeNode NodeStore::FirstChild(TreeNode node) const {
    return node == kNoNode ? kNoNode : Child(node, 0);
}

TreeNode NodeStore::NextSibling(TreeNode node) const {
    if (!IsLive(node)) {
        return kNoNode;
    }
    return Child(Slot(node).parent, RowOf(Slot(node)) + 1);
}

void NodeStore::VisitPreOrder(const std::function<void(TreeNode node, int depth)>& visit) const {
    // One entry per open level: the siblings being walked and the position in them.
    struct Level {
        const std::vector<TreeNode>* siblings;
        std::size_t row;
    };
    std::vector<Level> levels;
    if (!topLevel_.empty()) {
        levels.push_back({&topLevel_, 0});
    }
    while (!levels.empty()) {
        Level& level = levels.back();
        if (level.row == level.siblings->size()) {
            levels.pop_back();
            continue;
        }
        const TreeNode node = (*level.siblings)[level.row++];
        visit(node, static_cast<int>(levels.size()) - 1);
        const std::vector<TreeNode>* children = ChildrenOf(node);
        if (children != nullptr && !children->empty()) {
            levels.push_back({children, 0});
        }
    }
}
