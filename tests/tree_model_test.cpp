// The Qt model of the tree: checked by Qt's own model tester, against the in-memory tree that
// implements the same operations, and for what the window relies on (selection reports, batched
// building, pictures).
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
#include "Unit1/presentation/NodeStore.h"
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

// The window's selection tracking, fed by a tree's reports.
struct Tracker {
    TreeNode selected = kNoNode;
    int reports = 0;
};

void Track(const NodeStore& tree, TreeNode reported, Tracker& tracker) {
    ++tracker.reports;
    if (reported == kNoNode) {
        tracker.selected = kNoNode;
    } else if (tree.IsSelected(reported)) {
        tracker.selected = reported;
    }
}

class TreeModelTest : public testing::Test {
  protected:
    TreeModelTest() {
        QObject::connect(&model, &TreeModel::SelectionChanged,
                         [this](TreeNode node) { Track(model.Store(), node, tracked); });
    }

    // Root "a" with children "b", "c", "d"; "c" has children "e" and "f".
    void BuildSample() {
        a = model.Store().AddTopLevel("a", nullptr);
        b = model.Store().AddChildLast(a, "b", nullptr);
        c = model.Store().AddChildLast(a, "c", nullptr);
        d = model.Store().AddChildLast(a, "d", nullptr);
        e = model.Store().AddChildLast(c, "e", nullptr);
        f = model.Store().AddChildLast(c, "f", nullptr);
    }

    TreeModel model;
    Tracker tracked;
    TreeNode a = kNoNode, b = kNoNode, c = kNoNode, d = kNoNode, e = kNoNode, f = kNoNode;
};

TEST_F(TreeModelTest, QtModelTesterFindsNothingWrongInAnyOperation) {
    ModelTesterWarnings warnings;
    QAbstractItemModelTester tester(&model,
                                    QAbstractItemModelTester::FailureReportingMode::Warning);

    BuildSample();
    model.Store().SetText(e, "e2");
    model.Store().SetImages(f, 1, 2);
    model.Store().Select(e);
    model.Store().BeginUpdate();
    model.Store().BeginUpdate();
    for (int i = 0; i < 50; ++i) {
        model.Store().AddChildLast(d, "x" + std::to_string(i), nullptr);
    }
    model.Store().EndUpdate();
    model.Store().EndUpdate();
    model.Store().DeleteWithDescendants(c);
    model.Store().DeleteWithDescendants(b);
    model.Store().ExpandOneLevel(a);
    model.Store().Clear();
    model.Store().AddTopLevel("again", nullptr);

    EXPECT_TRUE(warnings.List().empty()) << warnings.List().front();
}

TEST_F(TreeModelTest, AddsWhileSuspendedReachViewsAsOneResetAtTheOutermostEnd) {
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);

    model.Store().BeginUpdate();
    model.Store().BeginUpdate();
    BuildSample();
    model.Store().EndUpdate();
    EXPECT_EQ(reset.count(), 0);
    model.Store().EndUpdate();
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(inserted.count(), 0);
    EXPECT_EQ(DumpModel(model),
              "a [0/0]\n  b [0/0]\n  c [0/0]\n    e [0/0]\n    f [0/0]\n  d [0/0]\n");

    model.Store().AddChildLast(b, "g", nullptr);
    EXPECT_EQ(inserted.count(), 1);
    model.Store().EndUpdate();  // unmatched: ignored
    EXPECT_EQ(reset.count(), 1);
}

TEST_F(TreeModelTest, SelectingReportsSynchronouslyAndASuspendedBuildKeepsTheSelection) {
    BuildSample();
    model.Store().Select(c);
    EXPECT_EQ(tracked.selected, c);
    EXPECT_TRUE(model.Store().IsSelected(c));

    model.Store().BeginUpdate();
    model.Store().AddChildLast(f, "g", nullptr);
    EXPECT_TRUE(model.Store().IsSelected(c));
    model.Store().EndUpdate();
    EXPECT_TRUE(model.Store().IsSelected(c));
    EXPECT_EQ(tracked.selected, c);

    // Selecting inside a suspension shows the nodes added so far first.
    model.Store().BeginUpdate();
    const TreeNode h = model.Store().AddChildLast(a, "h", nullptr);
    model.Store().Select(h);
    EXPECT_EQ(tracked.selected, h);
    model.Store().EndUpdate();
    EXPECT_EQ(tracked.selected, h);

    model.Store().Clear();
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
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        model.Store().Clear();
        BuildSample();
        const std::map<char, TreeNode> named{{'a', a}, {'b', b}, {'c', c},
                                             {'d', d}, {'e', e}, {'f', f}};
        model.Store().Select(named.at(row.selected));
        model.Store().DeleteWithDescendants(named.at(row.deleted));
        EXPECT_EQ(tracked.selected, named.at(row.expected));
        EXPECT_TRUE(model.Store().IsSelected(named.at(row.expected)));
    }

    model.Store().Clear();
    BuildSample();
    model.Store().DeleteWithDescendants(f);
    model.Store().Select(e);
    model.Store().DeleteWithDescendants(e);
    EXPECT_EQ(tracked.selected, c) << "the parent, once no sibling is left";
    model.Store().Select(a);
    model.Store().DeleteWithDescendants(a);
    EXPECT_EQ(tracked.selected, kNoNode);
    EXPECT_EQ(model.rowCount(), 0);
}

TEST_F(TreeModelTest, DeletedNodesAreInertHandles) {
    BuildSample();
    int dummy = 0;
    auto* item = reinterpret_cast<TagItem*>(&dummy);
    const TreeNode tagged = model.Store().AddChildLast(e, "tag", item);
    model.Store().DeleteWithDescendants(c);
    const int reports = tracked.reports;

    for (TreeNode gone : {c, e, tagged}) {
        EXPECT_EQ(model.Store().Text(gone), "");
        EXPECT_EQ(model.Store().Data(gone), nullptr);
        EXPECT_FALSE(model.Store().IsSelected(gone));
        EXPECT_FALSE(model.IndexOf(gone).isValid());
        EXPECT_EQ(model.Store().AddChildLast(gone, "x", nullptr), kNoNode);
        model.Store().SetText(gone, "x");
        model.Store().Select(gone);
        model.Store().DeleteWithDescendants(gone);
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
    model.Store().SetImages(b, 1, 2);
    model.Store().SetImages(c, 7, 7);

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

// The Qt model and the in-memory tree are two adapters of one set of operations: driven by the
// same random script they must hold the same tree and leave the tracking on the same node.
TEST(TreeModelAgainstMemoryTree, SameScriptSameTreeAndSameSelection) {
    ModelTesterWarnings warnings;
    TreeModel model;
    QAbstractItemModelTester tester(&model,
                                    QAbstractItemModelTester::FailureReportingMode::Warning);
    Tracker modelTracked;
    QObject::connect(&model, &TreeModel::SelectionChanged,
                     [&](TreeNode node) { Track(model.Store(), node, modelTracked); });
    NodeStore memory;
    Tracker memoryTracked;
    memory.SetSelectionListener([&](TreeNode node) { Track(memory, node, memoryTracked); });

    std::mt19937 random(20240601);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    std::vector<TreeNode> live;
    int depth = 0;
    for (int step = 0; step < 3000; ++step) {
        SCOPED_TRACE(step);
        const int op = pick(100);
        if (live.empty() || op < 5) {
            const std::string text = "top" + std::to_string(step);
            const TreeNode added = model.Store().AddTopLevel(text, nullptr);
            ASSERT_EQ(added, memory.AddTopLevel(text, nullptr));
            live.push_back(added);
        } else if (op < 55) {
            const TreeNode parent =
                live[static_cast<std::size_t>(pick(static_cast<int>(live.size())))];
            const std::string text = "n" + std::to_string(step);
            const TreeNode added = model.Store().AddChildLast(parent, text, nullptr);
            ASSERT_EQ(added, memory.AddChildLast(parent, text, nullptr));
            live.push_back(added);
        } else {
            const TreeNode node =
                live[static_cast<std::size_t>(pick(static_cast<int>(live.size())))];
            if (op < 59) {
                model.Store().SetText(node, model.Store().Text(node) + "+");
                memory.SetText(node, memory.Text(node) + "+");
            } else if (op < 62) {
                model.Store().AppendText(node, "&");
                memory.AppendText(node, "&");
            } else if (op < 67) {
                model.Store().SetImages(node, op % 6, (op + 1) % 6);
                memory.SetImages(node, op % 6, (op + 1) % 6);
            } else if (op < 80) {
                model.Store().Select(node);
                memory.Select(node);
            } else if (op < 92) {
                model.Store().DeleteWithDescendants(node);
                memory.DeleteWithDescendants(node);
                live.erase(
                    std::remove_if(live.begin(), live.end(),
                                   [&](TreeNode n) { return model.Store().Text(n).empty(); }),
                    live.end());
            } else if (op < 96) {
                model.Store().BeginUpdate();
                memory.BeginUpdate();
                ++depth;
            } else if (op < 99 && depth > 0) {
                model.Store().EndUpdate();
                memory.EndUpdate();
                --depth;
            } else if (op == 99) {
                model.Store().Clear();
                memory.Clear();
                live.clear();
            }
        }
        if (depth == 0) {
            ASSERT_EQ(DumpModel(model), DumpNodeStore(memory));
            ASSERT_EQ(modelTracked.selected, memoryTracked.selected);
        }
    }
    EXPECT_TRUE(warnings.List().empty()) << warnings.List().front();
}

}  // namespace
