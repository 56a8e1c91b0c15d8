#include "MemoryTree.h"

#include <algorithm>
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
    if (node >= nodeCount_ || !Slot(node).live) {
        throw std::out_of_range("no such tree node");
    }
    return Slot(node);
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
    nodeBlocks_.clear();
    nodeCount_ = 0;
    textChunks_.clear();
    abandonedTextBytes_ = 0;
    firstTop_ = kNoNode;
    lastTop_ = kNoNode;
    liveNodes_ = 0;
    if (selected_ != kNoNode) {
        ChangeSelection(kNoNode);
    }
}

const char* MemoryTree::StoreText(std::string_view text) {
    if (text.size() > std::numeric_limits<std::uint32_t>::max()) {
        throw std::length_error("tree text exceeds 4 GiB");
    }
    if (textChunks_.empty() ||
        textChunks_.back().capacity - textChunks_.back().used < text.size()) {
        const std::size_t capacity = std::max(kTextChunkBytes, text.size());
        // Left uninitialised: only the bytes written are ever read.
        textChunks_.push_back(TextChunk{std::unique_ptr<char[]>(new char[capacity]), capacity, 0});
    }
    TextChunk& chunk = textChunks_.back();
    char* const stored = chunk.bytes.get() + chunk.used;
    if (!text.empty()) {
        std::memcpy(stored, text.data(), text.size());
    }
    chunk.used += text.size();
    return stored;
}

TreeNode MemoryTree::Append(TreeNode parent, std::string_view text, TagItem* data) {
    // kNoNode itself must never become a handle.
    if (nodeCount_ >= kNoNode) {
        throw std::length_error("too many tree nodes");
    }
    if (parent != kNoNode) {
        At(parent);
    }
    if (nodeCount_ == nodeBlocks_.size() * kNodesPerBlock) {
        nodeBlocks_.push_back(std::unique_ptr<Node[]>(new Node[kNodesPerBlock]));
    }
    const auto node = static_cast<TreeNode>(nodeCount_);
    TreeNode& last = parent == kNoNode ? lastTop_ : Slot(parent).lastChild;
    Slot(node) = Node{data,   StoreText(text), static_cast<std::uint32_t>(text.size()),
                      parent, kNoNode,         kNoNode,
                      last,   kNoNode,         0,
                      0,      false,           true};
    ++nodeCount_;
    if (last == kNoNode) {
        (parent == kNoNode ? firstTop_ : Slot(parent).firstChild) = node;
    } else {
        Slot(last).nextSibling = node;
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
    constexpr int kLowest = std::numeric_limits<std::int16_t>::min();
    constexpr int kHighest = std::numeric_limits<std::int16_t>::max();
    if (imageIndex < kLowest || imageIndex > kHighest || selectedImageIndex < kLowest ||
        selectedImageIndex > kHighest) {
        throw std::out_of_range("image index beyond 16 bits");
    }
    n.image = static_cast<std::int16_t>(imageIndex);
    n.selectedImage = static_cast<std::int16_t>(selectedImageIndex);
}

std::string_view MemoryTree::TextView(TreeNode node) const {
    const Node& n = At(node);
    return std::string_view(n.text, n.textLength);
}

std::string MemoryTree::Text(TreeNode node) const {
    return std::string(TextView(node));
}

void MemoryTree::SetText(TreeNode node, std::string_view text) {
    Node& n = At(node);
    if (text.size() > std::numeric_limits<std::uint32_t>::max()) {
        throw std::length_error("tree text exceeds 4 GiB");
    }
    // The presentation mostly extends the text of the node it added last, which ends where the
    // newest chunk's free room begins and can grow in place.
    TextChunk* const newest = textChunks_.empty() ? nullptr : &textChunks_.back();
    const bool endsAtFreeRoom =
        newest != nullptr && n.text + n.textLength == newest->bytes.get() + newest->used;
    if (endsAtFreeRoom && text.size() >= n.textLength &&
        text.size() - n.textLength <= newest->capacity - newest->used &&
        std::memcmp(n.text, text.data(), n.textLength) == 0) {
        StoreText(text.substr(n.textLength));
    } else if (text.size() <= n.textLength) {
        // Overwriting in place; memmove, because `text` may be a view of these very bytes.
        std::memmove(const_cast<char*>(n.text), text.data(), text.size());
    } else {
        abandonedTextBytes_ += n.textLength;
        n.text = StoreText(text);
    }
    n.textLength = static_cast<std::uint32_t>(text.size());
    CompactTexts();
}

void MemoryTree::CompactTexts() {
    constexpr std::size_t kWorthCompacting = std::size_t{16} << 20;
    std::size_t storedBytes = 0;
    for (const TextChunk& chunk : textChunks_) {
        storedBytes += chunk.used;
    }
    if (abandonedTextBytes_ < kWorthCompacting || abandonedTextBytes_ < storedBytes / 2) {
        return;
    }
    std::vector<TextChunk> old;
    old.swap(textChunks_);
    for (std::size_t i = 0; i < nodeCount_; ++i) {
        Node& n = Slot(static_cast<TreeNode>(i));
        if (n.live) {
            n.text = StoreText(std::string_view(n.text, n.textLength));
        }
    }
    abandonedTextBytes_ = 0;
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
    for (TreeNode at = node; at != kNoNode; at = Slot(at).parent) {
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
    TreeNode& first = parent == kNoNode ? firstTop_ : Slot(parent).firstChild;
    TreeNode& last = parent == kNoNode ? lastTop_ : Slot(parent).lastChild;
    (doomed.prevSibling == kNoNode ? first : Slot(doomed.prevSibling).nextSibling) =
        doomed.nextSibling;
    (doomed.nextSibling == kNoNode ? last : Slot(doomed.nextSibling).prevSibling) =
        doomed.prevSibling;

    // Walks the detached subtree along its own links; no stack, however deep it is nested.
    TreeNode at = node;
    while (at != kNoNode) {
        Node& n = Slot(at);
        n.live = false;
        n.data = nullptr;
        --liveNodes_;
        if (n.firstChild != kNoNode) {
            at = n.firstChild;
            continue;
        }
        while (at != node && Slot(at).nextSibling == kNoNode) {
            at = Slot(at).parent;
        }
        at = at == node ? kNoNode : Slot(at).nextSibling;
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
        const Node& n = Slot(at);
        if (n.firstChild != kNoNode) {
            at = n.firstChild;
            ++depth;
            continue;
        }
        while (at != kNoNode && Slot(at).nextSibling == kNoNode) {
            at = Slot(at).parent;
            --depth;
        }
        if (at != kNoNode) {
            at = Slot(at).nextSibling;
        }
    }
}
