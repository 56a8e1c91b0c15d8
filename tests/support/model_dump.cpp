#include "tests/support/model_dump.h"

#include "Unit1/TreeModel.h"
#include "Unit1/presentation/NodeStore.h"
#include "Unit1/presentation/NodeView.h"

namespace {

std::string Line(int depth, const std::string& text, int image, int selectedImage, bool selected) {
    return std::string(static_cast<std::size_t>(depth) * 2, ' ') + text + " [" +
           std::to_string(image) + "/" + std::to_string(selectedImage) + "]" +
           (selected ? " *" : "") + "\n";
}

void DumpRows(const TreeModel& model, const QModelIndex& parent, int depth, std::string& out) {
    for (int row = 0; row < model.rowCount(parent); ++row) {
        const QModelIndex index = model.index(row, 0, parent);
        const TreeNode node = model.NodeOf(index);
        const NodeStore& store = model.Store();
        out += Line(depth, model.data(index).toString().toStdString(), store.Image(node),
                    store.SelectedImage(node), model.IsSelected(node));
        DumpRows(model, index, depth + 1, out);
    }
}

}  // namespace

std::string DumpModel(const TreeModel& model) {
    std::string out;
    DumpRows(model, QModelIndex(), 0, out);
    return out;
}

std::string DumpNodeStore(const NodeStore& tree, const NodeView& view) {
    std::string out;
    tree.VisitPreOrder([&](TreeNode node, int depth) {
        out += Line(depth, tree.Text(node), tree.Image(node), tree.SelectedImage(node),
                    view.IsSelected(node));
    });
    return out;
}
