#include "TreeModel.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace {

// A node text longer than this is cut; only a file path could come near it.
constexpr std::size_t kLongestText = std::numeric_limits<std::uint16_t>::max();
// Enough to hold every tag name and first-action name a movie can show.
constexpr std::size_t kRecentTextsKept = 4096;

}  // namespace

TreeModel::TreeModel(QObject* parent) : QAbstractItemModel(parent), selection_(this) {
    connect(&selection_, &QItemSelectionModel::selectionChanged, this, &TreeModel::ReportSelection);
}

TreeModel::~TreeModel() = default;

void TreeModel::SetImageList(std::vector<QPixmap> images) {
    images_ = std::move(images);
    icons_.clear();
}

bool TreeModel::IsLive(TreeNode node) const {
    return node < nodeCount_ && At(node).live;
}

TreeModel::Node& TreeModel::At(TreeNode node) {
    return nodeChunks_[node >> kNodeChunkBits][node & (kNodesPerChunk - 1)];
}

const TreeModel::Node& TreeModel::At(TreeNode node) const {
    return nodeChunks_[node >> kNodeChunkBits][node & (kNodesPerChunk - 1)];
}

std::uint32_t TreeModel::StoreText(std::string_view text) {
    text = text.substr(0, kLongestText);
    if (const auto seen = recentTexts_.find(text); seen != recentTexts_.end()) {
        return seen->second;
    }
    if (kTextChunkBytes - textUsedInLastChunk_ < text.size()) {
        if (textChunks_.size() >= (std::size_t{1} << 32) / kTextChunkBytes) {
            throw std::length_error("tree texts exceed 4 GiB");
        }
        textChunks_.push_back(std::make_unique<char[]>(kTextChunkBytes));
        textUsedInLastChunk_ = 0;
    }
    char* const stored = textChunks_.back().get() + textUsedInLastChunk_;
    const std::size_t offset = (textChunks_.size() - 1) * kTextChunkBytes + textUsedInLastChunk_;
    std::memcpy(stored, text.data(), text.size());
    textUsedInLastChunk_ += text.size();
    if (recentTexts_.size() >= kRecentTextsKept) {
        recentTexts_.clear();
    }
    recentTexts_.emplace(std::string_view(stored, text.size()), static_cast<std::uint32_t>(offset));
    return static_cast<std::uint32_t>(offset);
}

std::vector<TreeNode>& TreeModel::ChildrenOf(TreeNode parent) {
    if (parent == kNoNode) {
        return topLevel_;
    }
    Node& node = At(parent);
    if (node.children == kNoList) {
        node.children = static_cast<std::uint32_t>(childLists_.size());
        childLists_.emplace_back();
    }
    return childLists_[node.children];
}

const std::vector<TreeNode>* TreeModel::ChildrenIfAny(TreeNode parent) const {
    if (parent == kNoNode) {
        return &topLevel_;
    }
    const Node& node = At(parent);
    return node.children == kNoList ? nullptr : &childLists_[node.children];
}

TreeNode TreeModel::Append(TreeNode parent, std::string_view text, TagItem* data) {
    if (parent != kNoNode && !IsLive(parent)) {
        return kNoNode;
    }
    // kNoNode itself must never become a handle.
    if (nodeCount_ == kNoNode - 1) {
        throw std::length_error("too many tree nodes");
    }
    if (updateDepth_ > 0 && !resetOpen_) {
        selectedBeforeReset_ = SelectedNodeNow();
        beginResetModel();
        resetOpen_ = true;
    }

    const TreeNode node = nodeCount_;
    if ((node & (kNodesPerChunk - 1)) == 0) {
        nodeChunks_.push_back(std::make_unique<Node[]>(kNodesPerChunk));
    }
    std::vector<TreeNode>& siblings = ChildrenOf(parent);
    const auto row = static_cast<std::uint32_t>(siblings.size());
    Node& added = At(node);
    added.data = data;
    added.parent = parent;
    added.row = row;
    added.children = kNoList;
    added.textOffset = StoreText(text);
    added.textLength = static_cast<std::uint16_t>(std::min(text.size(), kLongestText));
    added.image = 0;
    added.selectedImage = 0;
    added.live = false;

    // Grown before views hear of the row, so that a failed allocation leaves them consistent.
    if (siblings.size() == siblings.capacity()) {
        siblings.reserve(std::max<std::size_t>(1, siblings.capacity() * 2));
    }
    if (!resetOpen_) {
        beginInsertRows(IndexOf(parent), static_cast<int>(row), static_cast<int>(row));
    }
    siblings.push_back(node);
    ++nodeCount_;
    added.live = true;
    if (!resetOpen_) {
        endInsertRows();
    }
    return node;
}

void TreeModel::BeginUpdate() {
    ++updateDepth_;
}

void TreeModel::EndUpdate() {
    if (updateDepth_ == 0) {
        return;
    }
    if (--updateDepth_ == 0) {
        Flush();
    }
}

void TreeModel::Flush() {
    if (!resetOpen_) {
        return;
    }
    resetOpen_ = false;
    endResetModel();
    // A reset drops the selection without a word; put it back, which reports it again.
    const TreeNode keep = std::exchange(selectedBeforeReset_, kNoNode);
    if (IsLive(keep)) {
        selection_.setCurrentIndex(IndexOf(keep), QItemSelectionModel::ClearAndSelect);
    }
}

void TreeModel::DropStore() {
    nodeChunks_ = decltype(nodeChunks_)();
    nodeCount_ = 0;
    textChunks_ = decltype(textChunks_)();
    textUsedInLastChunk_ = kTextChunkBytes;
    recentTexts_ = decltype(recentTexts_)();
    childLists_ = decltype(childLists_)();
    topLevel_ = decltype(topLevel_)();
}

void TreeModel::Clear() {
    Flush();
    if (SelectedNodeNow() != kNoNode) {
        selection_.clear();
    }
    // Announced at once even while suspended: the window may show a message box before redrawing
    // resumes, and its views must not meet nodes that are gone.
    beginResetModel();
    DropStore();
    endResetModel();
}

TreeNode TreeModel::AddTopLevel(std::string_view text, TagItem* data) {
    return Append(kNoNode, text, data);
}

TreeNode TreeModel::AddChildLast(TreeNode parent, std::string_view text, TagItem* data) {
    if (parent == kNoNode) {
        return kNoNode;
    }
    return Append(parent, text, data);
}

void TreeModel::EmitNodeChanged(TreeNode node, const QList<int>& roles) {
    if (!resetOpen_) {
        const QModelIndex index = IndexOf(node);
        emit dataChanged(index, index, roles);
    }
}

void TreeModel::SetImages(TreeNode node, int imageIndex, int selectedImageIndex) {
    if (!IsLive(node)) {
        return;
    }
    // Indices outside the six-picture list show no picture; clamping keeps them outside.
    auto narrow = [](int image) { return static_cast<std::int8_t>(std::clamp(image, -1, 127)); };
    Node& n = At(node);
    n.image = narrow(imageIndex);
    n.selectedImage = narrow(selectedImageIndex);
    EmitNodeChanged(node, {Qt::DecorationRole});
}

std::string TreeModel::Text(TreeNode node) const {
    if (!IsLive(node)) {
        return {};
    }
    const Node& n = At(node);
    const char* chunk = textChunks_[n.textOffset / kTextChunkBytes].get();
    return std::string(chunk + n.textOffset % kTextChunkBytes, n.textLength);
}

void TreeModel::SetText(TreeNode node, std::string_view text) {
    if (!IsLive(node)) {
        return;
    }
    // The old text stays behind in its chunk until Clear: the presentation replaces a text at most
    // twice.
    const std::uint32_t offset = StoreText(text);
    Node& n = At(node);
    n.textOffset = offset;
    n.textLength = static_cast<std::uint16_t>(std::min(text.size(), kLongestText));
    EmitNodeChanged(node, {Qt::DisplayRole});
}

TreeNode TreeModel::FirstTopLevel() const {
    return topLevel_.empty() ? kNoNode : topLevel_.front();
}

void TreeModel::Select(TreeNode node) {
    Flush();
    if (IsLive(node)) {
        selection_.setCurrentIndex(IndexOf(node), QItemSelectionModel::ClearAndSelect);
    }
}

void TreeModel::ExpandOneLevel(TreeNode node) {
    Flush();
    if (IsLive(node)) {
        emit ExpandRequested(IndexOf(node));
    }
}

TagItem* TreeModel::Data(TreeNode node) const {
    return IsLive(node) ? At(node).data : nullptr;
}

void TreeModel::ClearData(TreeNode node) {
    if (IsLive(node)) {
        At(node).data = nullptr;
    }
}

bool TreeModel::IsSelected(TreeNode node) const {
    if (!IsLive(node)) {
        return false;
    }
    if (resetOpen_) {
        return node == selectedBeforeReset_;
    }
    return selection_.isSelected(IndexOf(node));
}

void TreeModel::DeleteWithDescendants(TreeNode node) {
    Flush();
    if (!IsLive(node)) {
        return;
    }
    bool losesSelection = false;
    for (TreeNode at = SelectedNodeNow(); at != kNoNode; at = At(at).parent) {
        if (at == node) {
            losesSelection = true;
            break;
        }
    }
    if (losesSelection) {
        const Node& doomed = At(node);
        const std::vector<TreeNode>& siblings = *ChildrenIfAny(doomed.parent);
        TreeNode successor = doomed.parent;
        if (doomed.row + 1 < siblings.size()) {
            successor = siblings[doomed.row + 1];
        } else if (doomed.row > 0) {
            successor = siblings[doomed.row - 1];
        }
        if (successor != kNoNode) {
            selection_.setCurrentIndex(IndexOf(successor), QItemSelectionModel::ClearAndSelect);
        } else {
            selection_.clear();
        }
        // The report ran the window's tracking, which must not have taken the node away; if
        // anything did, there is nothing left to delete.
        if (!IsLive(node)) {
            return;
        }
    }

    // Gathered before views hear of the removal, so that a failed allocation leaves them
    // consistent.
    std::vector<TreeNode> subtree{node};
    for (std::size_t i = 0; i < subtree.size(); ++i) {
        if (const std::vector<TreeNode>* children = ChildrenIfAny(subtree[i])) {
            subtree.insert(subtree.end(), children->begin(), children->end());
        }
    }

    const Node& doomed = At(node);
    const std::uint32_t row = doomed.row;
    std::vector<TreeNode>& siblings = ChildrenOf(doomed.parent);
    beginRemoveRows(ParentIndexOf(node), static_cast<int>(row), static_cast<int>(row));
    siblings.erase(siblings.begin() + row);
    for (std::size_t i = row; i < siblings.size(); ++i) {
        At(siblings[i]).row = static_cast<std::uint32_t>(i);
    }
    for (const TreeNode gone : subtree) {
        Node& n = At(gone);
        n.live = false;
        n.data = nullptr;
        if (n.children != kNoList) {
            std::vector<TreeNode>().swap(childLists_[n.children]);
        }
    }
    endRemoveRows();
}

int TreeModel::Image(TreeNode node) const {
    return IsLive(node) ? At(node).image : -1;
}

int TreeModel::SelectedImage(TreeNode node) const {
    return IsLive(node) ? At(node).selectedImage : -1;
}

QModelIndex TreeModel::IndexOf(TreeNode node) const {
    if (!IsLive(node)) {
        return {};
    }
    return createIndex(static_cast<int>(At(node).row), 0, quintptr{node});
}

TreeNode TreeModel::NodeOf(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != this) {
        return kNoNode;
    }
    const auto node = static_cast<TreeNode>(index.internalId());
    return IsLive(node) ? node : kNoNode;
}

QModelIndex TreeModel::ParentIndexOf(TreeNode node) const {
    return IsLive(node) ? IndexOf(At(node).parent) : QModelIndex();
}

TreeNode TreeModel::SelectedNodeNow() const {
    if (resetOpen_) {
        return selectedBeforeReset_;
    }
    const QModelIndexList selected = selection_.selectedIndexes();
    return selected.isEmpty() ? kNoNode : NodeOf(selected.first());
}

void TreeModel::ReportSelection() {
    emit SelectionChanged(SelectedNodeNow());
}

QModelIndex TreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (row < 0 || column != 0 || (parent.isValid() && parent.model() != this)) {
        return {};
    }
    const TreeNode parentNode = parent.isValid() ? NodeOf(parent) : kNoNode;
    if (parent.isValid() && parentNode == kNoNode) {
        return {};
    }
    const std::vector<TreeNode>* children = ChildrenIfAny(parentNode);
    if (children == nullptr || static_cast<std::size_t>(row) >= children->size()) {
        return {};
    }
    return createIndex(row, 0, quintptr{(*children)[static_cast<std::size_t>(row)]});
}

QModelIndex TreeModel::parent(const QModelIndex& child) const {
    const TreeNode node = NodeOf(child);
    return node == kNoNode ? QModelIndex() : IndexOf(At(node).parent);
}

int TreeModel::rowCount(const QModelIndex& parent) const {
    if (parent.column() > 0) {
        return 0;
    }
    const TreeNode parentNode = parent.isValid() ? NodeOf(parent) : kNoNode;
    if (parent.isValid() && parentNode == kNoNode) {
        return 0;
    }
    const std::vector<TreeNode>* children = ChildrenIfAny(parentNode);
    return children == nullptr ? 0 : static_cast<int>(children->size());
}

int TreeModel::columnCount(const QModelIndex& parent) const {
    return parent.column() > 0 ? 0 : 1;
}

bool TreeModel::hasChildren(const QModelIndex& parent) const {
    return rowCount(parent) > 0;
}

QVariant TreeModel::data(const QModelIndex& index, int role) const {
    const TreeNode node = NodeOf(index);
    if (node == kNoNode) {
        return {};
    }
    const Node& n = At(node);
    switch (role) {
        case Qt::DisplayRole: {
            const char* chunk = textChunks_[n.textOffset / kTextChunkBytes].get();
            return QString::fromUtf8(chunk + n.textOffset % kTextChunkBytes, n.textLength);
        }
        case Qt::DecorationRole:
            return IconFor(n.image, n.selectedImage);
        default:
            return {};
    }
}

Qt::ItemFlags TreeModel::flags(const QModelIndex& index) const {
    if (NodeOf(index) == kNoNode) {
        return Qt::NoItemFlags;
    }
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

QIcon TreeModel::IconFor(int image, int selectedImage) const {
    auto valid = [this](int i) { return i >= 0 && static_cast<std::size_t>(i) < images_.size(); };
    if (!valid(image)) {
        return {};
    }
    const auto key = std::make_pair(image, selectedImage);
    auto cached = icons_.find(key);
    if (cached == icons_.end()) {
        QIcon icon;
        icon.addPixmap(images_[static_cast<std::size_t>(image)], QIcon::Normal);
        // Given explicitly even when it is the same picture, so the style does not tint it.
        const int selected = valid(selectedImage) ? selectedImage : image;
        icon.addPixmap(images_[static_cast<std::size_t>(selected)], QIcon::Selected);
        cached = icons_.emplace(key, icon).first;
    }
    return cached->second;
}
