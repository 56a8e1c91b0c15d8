#include "Unit1/presentation/NodeStore.h"

#include <gtest/gtest.h>

#include "Unit1/presentation/NodeView.h"
#include "tests/support/HeadlessShell.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

class NodeStoreTest : public ::testing::Test {
  protected:
    std::string Dump() const {
        std::string out;
        tree.VisitPreOrder([&](TreeNode node, int depth) {
            out.append(static_cast<std::size_t>(depth) * 2, ' ');
            out += tree.Text(node) + "\n";
        });
        return out;
    }

    std::vector<TreeNode> reports;
    NodeStore tree;
    HeadlessShell view{[this](TreeNode node) { reports.push_back(node); }};
};

TEST_F(NodeStoreTest, KeepsInsertionOrderAtEveryLevel) {
    const TreeNode a = tree.AddTopLevel("a", nullptr);
    const TreeNode b = tree.AddTopLevel("b", nullptr);
    const TreeNode a1 = tree.AddChildLast(a, "a1", nullptr);
    tree.AddChildLast(b, "b1", nullptr);
    tree.AddChildLast(a, "a2", nullptr);
    tree.AddChildLast(a1, "a1x", nullptr);
    EXPECT_EQ(Dump(), "a\n  a1\n    a1x\n  a2\nb\n  b1\n");
    EXPECT_EQ(tree.FirstTopLevel(), a);
    EXPECT_EQ(tree.LiveNodeCount(), 6u);
}

TEST_F(NodeStoreTest, ReplacedTextsLeaveTheOthersAlone) {
    const TreeNode frame = tree.AddTopLevel("Frame 0", nullptr);
    const TreeNode tag = tree.AddChildLast(frame, " ShowFrame", nullptr);
    // Extending the newest text, which grows in place.
    tree.SetText(tag, tree.Text(tag) + " 0");
    // Growing an older text, shrinking it, and setting it from its own bytes.
    tree.SetText(frame, tree.Text(frame) + " (2 bytes so far)");
    const TreeNode next = tree.AddChildLast(frame, " End", nullptr);
    tree.SetText(tag, "x");
    tree.SetText(frame, tree.Text(frame).substr(2));
    tree.SetText(next, tree.Text(next));
    EXPECT_EQ(Dump(), "ame 0 (2 bytes so far)\n  x\n   End\n");
}

TEST_F(NodeStoreTest, TextsExtendedOverAndOverStayIntact) {
    // Frame nodes whose index wraps are extended in turns, each time copying the whole text, so
    // the store must reclaim the old copies without losing any text in use.
    std::vector<TreeNode> frames;
    std::vector<std::string> expected;
    for (int i = 0; i < 64; ++i) {
        frames.push_back(tree.AddTopLevel("Frame " + std::to_string(i), nullptr));
        expected.push_back("Frame " + std::to_string(i));
    }
    const TreeNode deleted = tree.AddChildLast(frames[0], "gone", nullptr);
    DeleteShown(tree, view, deleted);
    const std::string piece(1000, 's');
    for (int round = 0; round < 40; ++round) {
        for (std::size_t i = 0; i < frames.size(); ++i) {
            const std::string text = tree.Text(frames[i]);
            tree.SetText(frames[i], text.substr(0, 6) + piece + text.substr(6));
            expected[i].insert(6, piece);
        }
    }
    for (std::size_t i = 0; i < frames.size(); ++i) {
        ASSERT_EQ(tree.Text(frames[i]), expected[i]) << i;
    }
}

// A large text that does not fit in what is left of the newest chunk gets a block of its own,
// which no text after it shares: they go on filling the chunk.
TEST_F(NodeStoreTest, ALargeTextKeepsItsBlockToItself) {
    std::vector<std::string> texts{"small", std::string(900 * 1024, 'f'),
                                   std::string(300 * 1024, 'L')};
    for (int i = 0; i < 3000; ++i) {
        texts.push_back(std::to_string(i) + std::string(300, 't'));
    }
    std::vector<TreeNode> nodes;
    for (const std::string& text : texts) {
        nodes.push_back(tree.AddTopLevel(text, nullptr));
    }
    for (std::size_t i = 0; i < texts.size(); ++i) {
        ASSERT_EQ(tree.Text(nodes[i]), texts[i]) << i;
    }
}

TEST_F(NodeStoreTest, SelectionReportsOnlyChanges) {
    tree.AddTopLevel("a", nullptr);
    tree.AddTopLevel("b", nullptr);
    ClearShown(tree, view);  // nothing was selected: no report
    EXPECT_TRUE(reports.empty());

    const TreeNode c = tree.AddTopLevel("c", nullptr);
    view.Select(c);
    view.Select(c);
    EXPECT_TRUE(view.IsSelected(c));
    ClearShown(tree, view);
    EXPECT_EQ(reports, (std::vector<TreeNode>{c, kNoNode}));
    EXPECT_EQ(view.Selected(), kNoNode);
}

TEST_F(NodeStoreTest, DeletingMovesTheSelectionOnlyWhenItLayInTheSubtree) {
    // Which node is deleted, which was selected, and where the selection goes.
    struct Row {
        const char* deleted;
        const char* selected;
        const char* expectedSelection;  // null: no report
        const char* remaining;
    };
    const Row rows[] = {
        {"f1", "f1", "f2", "root\n  f0\n    t0\n  f2\n"},
        {"f2", "f2", "f1", "root\n  f0\n    t0\n  f1\n    t1\n    t2\n"},
        {"t0", "t0", "f0", "root\n  f0\n  f1\n    t1\n    t2\n  f2\n"},
        {"f1", "t2", "f2", "root\n  f0\n    t0\n  f2\n"},
        {"t1", "t0", nullptr, "root\n  f0\n    t0\n  f1\n    t2\n  f2\n"},
        {"root", "t1", "", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.deleted);
        ClearShown(tree, view);
        const TreeNode root = tree.AddTopLevel("root", nullptr);
        const TreeNode f0 = tree.AddChildLast(root, "f0", nullptr);
        tree.AddChildLast(f0, "t0", nullptr);
        const TreeNode f1 = tree.AddChildLast(root, "f1", nullptr);
        tree.AddChildLast(f1, "t1", nullptr);
        tree.AddChildLast(f1, "t2", nullptr);
        tree.AddChildLast(root, "f2", nullptr);
        auto find = [&](const std::string& text) {
            TreeNode found = kNoNode;
            tree.VisitPreOrder([&](TreeNode node, int) {
                if (tree.Text(node) == text) {
                    found = node;
                }
            });
            return found;
        };
        view.Select(find(row.selected));
        const TreeNode expected = row.expectedSelection == nullptr || *row.expectedSelection == '\0'
                                      ? kNoNode
                                      : find(row.expectedSelection);
        EXPECT_EQ(SelectionAfterDeleting(tree, view.Selected(), find(row.deleted)),
                  row.expectedSelection == nullptr ? view.Selected() : expected);
        reports.clear();
        DeleteShown(tree, view, find(row.deleted));
        if (row.expectedSelection == nullptr) {
            EXPECT_TRUE(reports.empty());
        } else {
            EXPECT_EQ(reports, std::vector<TreeNode>{expected});
        }
        EXPECT_EQ(Dump(), row.remaining);
    }
}

TEST_F(NodeStoreTest, GoneNodesAreInertHandles) {
    const TreeNode root = tree.AddTopLevel("root", nullptr);
    const TreeNode child = tree.AddChildLast(root, "child", nullptr);
    const TreeNode kept = tree.AddTopLevel("kept", nullptr);
    view.Select(child);
    DeleteShown(tree, view, root);
    EXPECT_EQ(tree.FirstTopLevel(), kept);
    EXPECT_EQ(tree.LiveNodeCount(), 1u);
    reports.clear();
    for (const TreeNode gone : {root, child}) {
        EXPECT_EQ(tree.Text(gone), "");
        EXPECT_EQ(tree.Image(gone), -1);
        EXPECT_EQ(tree.Parent(gone), kNoNode);
        EXPECT_EQ(tree.AddChildLast(gone, "x", nullptr), kNoNode);
        tree.SetText(gone, "x");
        tree.AppendText(gone, "x");
        tree.SetImages(gone, 1, 1);
        DeleteShown(tree, view, gone);
        EXPECT_FALSE(tree.IsWithin(gone, gone));
    }
    EXPECT_TRUE(reports.empty());
    EXPECT_EQ(Dump(), "kept\n");
    EXPECT_THROW(tree.SetImages(kept, 32768, 0), std::out_of_range);
    view.EndUpdate();  // unmatched: ignored
    EXPECT_EQ(view.UpdateDepth(), 0);
}

// Nothing in the window changes the tree while a selection is reported, but were a node taken
// away then, there would be nothing left to remove: the view hears of no removal.
TEST_F(NodeStoreTest, ANodeTakenAwayWhileTheSelectionIsReportedIsNotRemovedAgain) {
    struct CountingView : HeadlessShell {
        using HeadlessShell::HeadlessShell;
        void WillRemove(TreeNode) override { ++removals; }
        int removals = 0;
    };
    const TreeNode root = tree.AddTopLevel("root", nullptr);
    const TreeNode child = tree.AddChildLast(root, "child", nullptr);
    bool takeAway = false;
    CountingView counting([&](TreeNode) {
        if (takeAway) {
            tree.DeleteWithDescendants(child);
        }
    });
    counting.Select(child);
    takeAway = true;
    DeleteShown(tree, counting, child);
    EXPECT_EQ(counting.removals, 0);
    EXPECT_EQ(Dump(), "root\n");
}

TEST_F(NodeStoreTest, HugeSpritesDeleteWholeInDepthAndBreadth) {
    // A sprite node with 100,000 children, and a chain 100,000 deep: neither may recurse.
    const TreeNode root = tree.AddTopLevel("root", nullptr);
    const TreeNode wide = tree.AddChildLast(root, "wide", nullptr);
    for (int i = 0; i < 100000; ++i) {
        tree.AddChildLast(wide, "tag", nullptr);
    }
    TreeNode deep = tree.AddChildLast(root, "deep", nullptr);
    const TreeNode deepTop = deep;
    for (int i = 0; i < 100000; ++i) {
        deep = tree.AddChildLast(deep, "tag", nullptr);
    }
    int deepest = 0;
    tree.VisitPreOrder([&](TreeNode, int depth) { deepest = std::max(deepest, depth); });
    EXPECT_EQ(deepest, 100001);

    view.Select(deep);
    DeleteShown(tree, view, wide);
    EXPECT_EQ(tree.LiveNodeCount(), 100002u);
    DeleteShown(tree, view, deepTop);
    EXPECT_EQ(Dump(), "root\n");
    EXPECT_EQ(reports.back(), root);
}

}  // namespace
