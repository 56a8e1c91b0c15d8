// The Qt model of the tree: checked by Qt's own model tester, against the headless view that
// implements the same operations, and for what the window relies on (selection reports, one reset
// per build, suspended redrawing, pictures).
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QImage>
#include <QSignalSpy>
#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "Unit1/TreeModel.h"
#include "Unit1/presentation/DeleteTag.h"
#include "Unit1/presentation/NodeStore.h"
#include "Unit1/presentation/NodeView.h"
#include "tests/support/HeadlessShell.h"
#include "tests/support/model_dump.h"

namespace {

// Collects what Qt's model tester complains about while a test runs.
class ModelTesterWarnings {
  public:
    ModelTesterWarnings() {
        Collected().clear();
        previous_ = qInstallMessageHandler(&Handler);
    }
    ~ModelTesterWarnings() { qInstallMessageHandler(previous_); }
    const std::vector<std::string>& List() const { return Collected(); }

  private:
    static std::vector<std::string>& Collected() {
        static std::vector<std::string> warnings;
        return warnings;
    }
    static void Handler(QtMsgType, const QMessageLogContext& context, const QString& message) {
        if (context.category != nullptr &&
            std::string(context.category).rfind("qt.modeltest", 0) == 0) {
            Collected().push_back(message.toStdString());
        }
    }
    QtMessageHandler previous_;
};

// The window's selection tracking, fed by a view's reports.
struct Tracker {
    TreeNode selected = kNoNode;
    int reports = 0;
};

void Track(const NodeView& view, TreeNode reported, Tracker& tracker) {
    ++tracker.reports;
    TrackSelection(view, reported, tracker.selected);
}

// Changes the store as a build does: nothing selected, the view told before and after.
template <typename Change>
void Rebuild(NodeView& view, Change&& change) {
    view.Select(kNoNode);
    view.WillReset();
    change();
    view.DidReset();
}

class TreeModelTest : public testing::Test {
  protected:
    TreeModelTest() {
        QObject::connect(&model, &TreeModel::SelectionChanged,
                         [this](TreeNode node) { Track(model, node, tracked); });
    }

    // Root "a" with children "b", "c", "d"; "c" has children "e" and "f".
    void BuildSample() {
        Rebuild(model, [this] {
            store().Clear();
            a = store().AddTopLevel("a", nullptr);
            b = store().AddChildLast(a, "b", nullptr);
            c = store().AddChildLast(a, "c", nullptr);
            d = store().AddChildLast(a, "d", nullptr);
            e = store().AddChildLast(c, "e", nullptr);
            f = store().AddChildLast(c, "f", nullptr);
        });
    }
    NodeStore& store() { return model.Store(); }

    TreeModel model;
    Tracker tracked;
    TreeNode a = kNoNode, b = kNoNode, c = kNoNode, d = kNoNode, e = kNoNode, f = kNoNode;
};

TEST_F(TreeModelTest, QtModelTesterFindsNothingWrongInAnyOperation) {
    ModelTesterWarnings warnings;
    QAbstractItemModelTester tester(&model,
                                    QAbstractItemModelTester::FailureReportingMode::Warning);

    BuildSample();
    model.Select(e);
    model.BeginUpdate();
    model.BeginUpdate();
    Rebuild(model, [this] {
        store().SetText(e, "e2");
        store().SetImages(f, 1, 2);
        for (int i = 0; i < 50; ++i) {
            store().AddChildLast(d, "x" + std::to_string(i), nullptr);
        }
    });
    model.EndUpdate();
    model.EndUpdate();
    model.Select(e);
    DeleteShown(store(), model, c);
    DeleteShown(store(), model, b);
    model.ExpandOneLevel(a);
    ClearShown(store(), model);
    Rebuild(model, [this] { store().AddTopLevel("again", nullptr); });

    EXPECT_TRUE(warnings.List().empty()) << warnings.List().front();
}

TEST_F(TreeModelTest, ABuildReachesViewsAsOneResetAndRedrawingResumesAtTheOutermostEnd) {
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    QSignalSpy suspended(&model, &TreeModel::RedrawSuspended);

    model.BeginUpdate();
    model.BeginUpdate();
    BuildSample();
    model.EndUpdate();
    EXPECT_EQ(suspended.count(), 1);
    model.EndUpdate();
    ASSERT_EQ(suspended.count(), 2);
    EXPECT_EQ(suspended[0][0].toBool(), true);
    EXPECT_EQ(suspended[1][0].toBool(), false);
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(inserted.count(), 0);
    EXPECT_EQ(DumpModel(model),
              "a [0/0]\n  b [0/0]\n  c [0/0]\n    e [0/0]\n    f [0/0]\n  d [0/0]\n");
    model.EndUpdate();  // unmatched: ignored
    EXPECT_EQ(suspended.count(), 2);
    EXPECT_EQ(model.UpdateDepth(), 0);
}

TEST_F(TreeModelTest, SelectingReportsSynchronouslyThroughTheSelectionModel) {
    BuildSample();
    model.Select(c);
    EXPECT_EQ(tracked.selected, c);
    EXPECT_TRUE(model.IsSelected(c));
    EXPECT_TRUE(model.Selection()->isSelected(model.IndexOf(c)));
    model.Select(c);
    EXPECT_EQ(tracked.reports, 1) << "only changes are reported";

    // A person's click goes the same way.
    model.Selection()->setCurrentIndex(model.IndexOf(f), QItemSelectionModel::ClearAndSelect);
    EXPECT_EQ(tracked.selected, f);
    EXPECT_EQ(model.Selected(), f);

    ClearShown(store(), model);
    EXPECT_EQ(tracked.selected, kNoNode);
    EXPECT_EQ(model.rowCount(), 0);
}

TEST_F(TreeModelTest, DeletingTheSelectionMovesItNextThenPreviousThenToTheParent) {
    struct Row {
        const char* name;
        char selected;
        char deleted;
        char expected;
    };
    const Row rows[] = {
        {"next sibling", 'b', 'b', 'c'},
        {"previous sibling when last", 'd', 'd', 'c'},
        {"selection inside the deleted subtree", 'e', 'c', 'd'},
        {"parent when alone", 'f', 'f', 'e'},
        {"selection outside the deleted subtree", 'e', 'b', 'e'},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        BuildSample();
        const std::map<char, TreeNode> named{{'a', a}, {'b', b}, {'c', c},
                                             {'d', d}, {'e', e}, {'f', f}};
        model.Select(named.at(row.selected));
        DeleteShown(store(), model, named.at(row.deleted));
        EXPECT_EQ(tracked.selected, named.at(row.expected));
        EXPECT_TRUE(model.IsSelected(named.at(row.expected)));
    }

    BuildSample();
    DeleteShown(store(), model, f);
    model.Select(e);
    DeleteShown(store(), model, e);
    EXPECT_EQ(tracked.selected, c) << "the parent, once no sibling is left";
    model.Select(a);
    DeleteShown(store(), model, a);
    EXPECT_EQ(tracked.selected, kNoNode);
    EXPECT_EQ(model.rowCount(), 0);
}

TEST_F(TreeModelTest, DeletedNodesAreInertHandles) {
    BuildSample();
    int dummy = 0;
    auto* item = reinterpret_cast<TagItem*>(&dummy);
    TreeNode tagged = kNoNode;
    Rebuild(model, [&] { tagged = store().AddChildLast(e, "tag", item); });
    DeleteShown(store(), model, c);
    const int reports = tracked.reports;

    for (TreeNode gone : {c, e, tagged}) {
        EXPECT_EQ(store().Text(gone), "");
        EXPECT_EQ(store().Data(gone), nullptr);
        EXPECT_FALSE(model.IsSelected(gone));
        EXPECT_FALSE(model.IndexOf(gone).isValid());
        EXPECT_EQ(store().AddChildLast(gone, "x", nullptr), kNoNode);
        store().SetText(gone, "x");
        DeleteShown(store(), model, gone);
    }
    EXPECT_EQ(tracked.reports, reports);
    EXPECT_EQ(DumpModel(model), "a [0/0]\n  b [0/0]\n  d [0/0]\n");
}

TEST_F(TreeModelTest, ShowsTheSelectedPictureOnlyWhenSelected) {
    std::vector<QPixmap> images;
    for (QColor color : {Qt::red, Qt::green, Qt::blue}) {
        QPixmap picture(16, 16);
        picture.fill(color);
        images.push_back(picture);
    }
    model.SetImageList(images);
    BuildSample();
    Rebuild(model, [this] {
        store().SetImages(b, 1, 2);
        store().SetImages(c, 7, 7);
    });

    auto colorOf = [&](TreeNode node, QIcon::Mode mode) {
        const auto icon = model.data(model.IndexOf(node), Qt::DecorationRole).value<QIcon>();
        return icon.pixmap(16, 16, mode).toImage().pixelColor(8, 8);
    };
    EXPECT_EQ(colorOf(b, QIcon::Normal), QColor(Qt::green));
    EXPECT_EQ(colorOf(b, QIcon::Selected), QColor(Qt::blue));
    EXPECT_EQ(colorOf(a, QIcon::Normal), QColor(Qt::red)) << "a new node shows picture 0";
    EXPECT_EQ(colorOf(a, QIcon::Selected), QColor(Qt::red)) << "untinted when selected";
    EXPECT_TRUE(model.data(model.IndexOf(c), Qt::DecorationRole).value<QIcon>().isNull());
    EXPECT_FALSE(model.flags(model.IndexOf(b)) & Qt::ItemIsEditable);
}

// The Qt model and the headless view are two views of one set of operations: driven by the same
// random script over two stores they must show the same tree and leave the tracking on the same
// node.
TEST(TreeModelAgainstHeadlessView, SameScriptSameTreeAndSameSelection) {
    ModelTesterWarnings warnings;
    TreeModel model;
    QAbstractItemModelTester tester(&model,
                                    QAbstractItemModelTester::FailureReportingMode::Warning);
    Tracker modelTracked;
    QObject::connect(&model, &TreeModel::SelectionChanged,
                     [&](TreeNode node) { Track(model, node, modelTracked); });
    NodeStore memory;
    Tracker memoryTracked;
    HeadlessShell headless([&](TreeNode node) { Track(headless, node, memoryTracked); });

    std::mt19937 random(20240601);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    std::vector<TreeNode> live;
    int depth = 0;
    // Both stores change alike, inside one build each.
    auto build = [&](auto&& change) {
        Rebuild(model, [&] { change(model.Store()); });
        Rebuild(headless, [&] { change(memory); });
    };
    for (int step = 0; step < 3000; ++step) {
        SCOPED_TRACE(step);
        const int op = pick(100);
        const TreeNode node =
            live.empty() ? kNoNode
                         : live[static_cast<std::size_t>(pick(static_cast<int>(live.size())))];
        if (live.empty() || op < 20) {
            // A burst of nodes, each added at the top level or under a node added before.
            const int count = 1 + pick(8);
            std::vector<std::pair<std::size_t, int>> shape;
            for (int i = 0; i < count; ++i) {
                shape.emplace_back(random(), pick(10));
            }
            std::vector<TreeNode> added;
            build([&](NodeStore& tree) {
                added.clear();
                for (const auto& [where, kind] : shape) {
                    const std::string text =
                        "n" + std::to_string(step) + "." + std::to_string(added.size());
                    std::vector<TreeNode> parents = live;
                    parents.insert(parents.end(), added.begin(), added.end());
                    TreeNode made = kNoNode;
                    if (parents.empty() || kind == 0) {
                        made = tree.AddTopLevel(text, nullptr);
                    } else {
                        made = tree.AddChildLast(parents[where % parents.size()], text, nullptr);
                    }
                    if (kind == 1) {
                        tree.AppendText(made, "&");
                    } else if (kind == 2) {
                        tree.SetImages(made, step % 6, (step + 1) % 6);
                    } else if (kind == 3 && !parents.empty()) {
                        const TreeNode changed = parents[where % parents.size()];
                        tree.SetText(changed, tree.Text(changed) + "+");
                    }
                    added.push_back(made);
                }
            });
            live.insert(live.end(), added.begin(), added.end());
        } else if (op < 60) {
            model.Select(node);
            headless.Select(node);
        } else if (op < 80) {
            DeleteShown(model.Store(), model, node);
            DeleteShown(memory, headless, node);
            live.erase(std::remove_if(live.begin(), live.end(),
                                      [&](TreeNode n) { return !memory.IsLive(n); }),
                       live.end());
        } else if (op < 88) {
            model.ExpandOneLevel(node);
            headless.ExpandOneLevel(node);
        } else if (op < 94) {
            model.BeginUpdate();
            headless.BeginUpdate();
            ++depth;
        } else if (op < 99 && depth > 0) {
            model.EndUpdate();
            headless.EndUpdate();
            --depth;
        } else if (op == 99) {
            ClearShown(model.Store(), model);
            ClearShown(memory, headless);
            live.clear();
        }
        ASSERT_EQ(DumpModel(model), DumpNodeStore(memory, headless));
        ASSERT_EQ(modelTracked.selected, memoryTracked.selected);
        ASSERT_EQ(model.UpdateDepth(), headless.UpdateDepth());
    }
    EXPECT_TRUE(warnings.List().empty()) << warnings.List().front();
}

}  // namespace
