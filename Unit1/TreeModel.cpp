#include "Unit1/TreeModel.h"

TreeModel::TreeModel(QObject* parent) : QAbstractItemModel(parent), selection_(this) {
    connect(&selection_, &QItemSelectionModel::selectionChanged, this, &TreeModel::ReportSelection);
}

void TreeModel::SetImageList(std::vector<QPixmap> images) {
    images_ = std::move(images);
    icons_.clear();
}

QModelIndex TreeModel::IndexOf(TreeNode node) const {
    if (!store_.IsLive(node)) {
        return {};
    }
    return createIndex(static_cast<int>(store_.Row(node)), 0, quintptr{node});
}

TreeNode TreeModel::NodeOf(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != this) {
        return kNoNode;
    }
    const auto node = static_cast<TreeNode>(index.internalId());
    return store_.IsLive(node) ? node : kNoNode;
}

QModelIndex TreeModel::LongestTextIndex() const {
    return resetOpen_ ? QModelIndex() : IndexOf(store_.LongestTextNode());
}

void TreeModel::BeginUpdate() {
    if (updateDepth_++ == 0) {
        emit RedrawSuspended(true);
    }
}

void TreeModel::EndUpdate() {
    if (updateDepth_ > 0 && --updateDepth_ == 0) {
        emit RedrawSuspended(false);
    }
}

void TreeModel::WillReset() {
    beginResetModel();
    resetOpen_ = true;
}

void TreeModel::DidReset() {
    resetOpen_ = false;
    endResetModel();
}

void TreeModel::WillRemove(TreeNode node) {
    const int row = static_cast<int>(store_.Row(node));
    beginRemoveRows(IndexOf(store_.Parent(node)), row, row);
}

void TreeModel::DidRemove() {
    endRemoveRows();
}

void TreeModel::Select(TreeNode node) {
    if (node == kNoNode) {
        selection_.clear();
    } else {
        selection_.setCurrentIndex(IndexOf(node), QItemSelectionModel::ClearAndSelect);
    }
}

TreeNode TreeModel::Selected() const {
    const QModelIndexList shown = selection_.selectedIndexes();
    return shown.isEmpty() ? kNoNode : NodeOf(shown.first());
}

void TreeModel::ExpandOneLevel(TreeNode node) {
    emit ExpandRequested(IndexOf(node));
}

void TreeModel::ReportSelection() {
    emit SelectionChanged(Selected());
}

QModelIndex TreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (row < 0 || column != 0 || (parent.isValid() && parent.model() != this)) {
        return {};
    }
    const TreeNode parentNode = parent.isValid() ? NodeOf(parent) : kNoNode;
    if (parent.isValid() && parentNode == kNoNode) {
        return {};
    }
    const TreeNode child = store_.Child(parentNode, static_cast<std::size_t>(row));
    return child == kNoNode ? QModelIndex() : createIndex(row, 0, quintptr{child});
}

QModelIndex TreeModel::parent(const QModelIndex& child) const {
    const TreeNode node = NodeOf(child);
    return node == kNoNode ? QModelIndex() : IndexOf(store_.Parent(node));
}

int TreeModel::rowCount(const QModelIndex& parent) const {
    if (parent.column() > 0) {
        return 0;
    }
    const TreeNode parentNode = parent.isValid() ? NodeOf(parent) : kNoNode;
    if (parent.isValid() && parentNode == kNoNode) {
        return 0;
    }
    return static_cast<int>(store_.ChildCount(parentNode));
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
    switch (role) {
        case Qt::DisplayRole:
            return QString::fromStdString(store_.Text(node));
        case Qt::DecorationRole:
            return IconFor(store_.Image(node), store_.SelectedImage(node));
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
