#include "Unit1/presentation/BuildMovieTree.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "Unit1/presentation/DeleteTag.h"
#include "Unit1/presentation/NodeStore.h"
#include "Unit1/presentation/OneDecimal.h"
#include "swfff/errors.h"
#include "swfff/loader.h"
#include "swfff/scoped_movie.h"
#include "swfff/vocabulary.h"
#include "tests/support/HeadlessShell.h"
#include "tests/support/movie_builder.h"

namespace {

using namespace testmovie;

Bytes Body(std::size_t length) {
    return Bytes(length, 0xAB);
}

class TreeBuilderTest : public ::testing::Test {
  protected:
    // Loads `bytes` and builds their tree, the root selected as the window selects it, and gives
    // the whole tree as text.
    std::string Open(const Bytes& bytes) {
        path = dir.Write("movie.swf", bytes);
        ClearShown(tree, view());
        EXPECT_EQ(LoadMovieFile(movie, path), loadOk);
        view().Select(BuildMovieTree(movie, tree, frameNodes));
        return Dump(tree.FirstTopLevel(), 0);
    }

    // Each node as "[image,selectedImage] text", indented two blanks per level; the root's text
    // shows as FILE.
    std::string Dump(TreeNode from, int baseDepth) const {
        std::string out;
        tree.VisitPreOrder([&](TreeNode node, int depth) {
            if (!IsWithin(node, from)) {
                return;
            }
            out.append(static_cast<std::size_t>(depth - baseDepth) * 2, ' ');
            out += "[" + std::to_string(tree.Image(node)) + "," +
                   std::to_string(tree.SelectedImage(node)) + "] ";
            const std::string text = tree.Text(node);
            out += node == tree.FirstTopLevel() && text == path ? "FILE" : text;
            out += "\n";
        });
        return out;
    }

    // The root's children after the Header group: the frame nodes and what hangs under them.
    std::string DumpFrames() const {
        std::string out;
        for (TreeNode node = tree.NextSibling(frameNodes.at(0)); node != kNoNode;
             node = tree.NextSibling(node)) {
            out += Dump(node, 1);
        }
        return out;
    }

    bool IsWithin(TreeNode node, TreeNode ancestor) const {
        for (TreeNode at = node; at != kNoNode; at = tree.Parent(at)) {
            if (at == ancestor) {
                return true;
            }
        }
        return false;
    }

    // The node whose text is `text`, searched in tree order.
    TreeNode Find(const std::string& text, int occurrence = 0) const {
        TreeNode found = kNoNode;
        tree.VisitPreOrder([&](TreeNode node, int) {
            if (found == kNoNode && tree.Text(node) == text && occurrence-- == 0) {
                found = node;
            }
        });
        return found;
    }

    std::vector<std::string> ListNames() const {
        std::vector<std::string> names;
        const TagItem* previous = nullptr;
        for (const TagItem* item = movie.FirstTag; item != nullptr; item = item->Next) {
            EXPECT_EQ(item->Prev, previous);
            names.push_back(std::to_string(item->TagCode) + "@" + std::to_string(item->Depth));
            previous = item;
        }
        return names;
    }

    void SelectAndDelete(TreeNode node) {
        view().Select(node);
        DeleteSelectedTag(movie, tree, view(), selectedNode);
    }
    HeadlessShell& view() { return shell; }

    TempDir dir;
    std::string path;
    ScopedMovie held;
    CInputScript& movie = held.movie;
    FrameNodeTable frameNodes;
    TreeNode selectedNode = kNoNode;
    NodeStore tree;
    HeadlessShell shell{
        [this](TreeNode reported) { TrackSelection(view(), reported, selectedNode); }};
};

TEST_F(TreeBuilderTest, TwelveFpsExampleGivesTheWholeTree) {
    const Bytes tags = Cat({Tag(2, Body(1226)), ShowFrame(), End()});
    EXPECT_EQ(Open(Movie(tags)),
              "[5,5] FILE\n"
              "  [3,3] Header\n"
              "    [4,4] Sign SWF\n"
              "    [4,4] Version 6\n"
              "    [4,4] File length 1257\n"
              "    [4,4] FrameSize 0 11000 0 8000\n"
              "      [4,4] Movie Width 550 pixels\n"
              "      [4,4] Movie Height 400 pixels\n"
              "    [4,4] FrameRate 12 fps\n"
              "    [4,4] FrameCount 1\n"
              "  [0,0] Frame     0 (1234 bytes so far) (Time:0.1 s.) (14.5 kb/s so far)\n"
              "    [2,2]  DefineShape\n"
              "    [1,1]  ShowFrame 0\n"
              "  [0,0] Frame     1\n"
              "    [1,1]  End\n");

    EXPECT_EQ(frameNodes.size(), 3u);
    EXPECT_EQ(tree.Text(frameNodes[0]), "Header");
    EXPECT_EQ(tree.Text(frameNodes[2]), "Frame     1");
}

TEST_F(TreeBuilderTest, ThreeShowFramesAtTwelveAndAHalfFps) {
    HeaderSpec spec;
    spec.frameRate = 0x0C80;
    spec.frameCount = 3;
    const Bytes tags = Cat({Tag(2, Body(1018)), ShowFrame(), ShowFrame(), ShowFrame(), End()});
    // The fraction byte is dropped: 12 fps, and the statistics divide by 12. Frame 2 ends at
    // 0.25 s, which shows as 0.3.
    EXPECT_EQ(Open(Movie(spec, tags)),
              "[5,5] FILE\n"
              "  [3,3] Header\n"
              "    [4,4] Sign SWF\n"
              "    [4,4] Version 6\n"
              "    [4,4] File length 1053\n"
              "    [4,4] FrameSize 0 11000 0 8000\n"
              "      [4,4] Movie Width 550 pixels\n"
              "      [4,4] Movie Height 400 pixels\n"
              "    [4,4] FrameRate 12 fps\n"
              "    [4,4] FrameCount 3\n"
              "  [0,0] Frame     0 (1026 bytes so far) (Time:0.1 s.) (12.0 kb/s so far)\n"
              "    [2,2]  DefineShape\n"
              "    [1,1]  ShowFrame 0\n"
              "  [0,0] Frame     1 (1028 bytes so far) (Time:0.2 s.) (6.0 kb/s so far)\n"
              "    [1,1]  ShowFrame 1\n"
              "  [0,0] Frame     2 (1030 bytes so far) (Time:0.3 s.) (4.0 kb/s so far)\n"
              "    [1,1]  ShowFrame 2\n"
              "  [0,0] Frame     3\n"
              "    [1,1]  End\n");
}

TEST_F(TreeBuilderTest, SpritesDoActionsAndBytesCountedOnce) {
    HeaderSpec spec;
    spec.frameCount = 2;
    const Bytes stop = DoAction({0x07, 0x00});
    const Bytes gotoFrame7 = DoAction({0x81, 0x02, 0x00, 0x07, 0x00, 0x00});
    const Bytes sprite = Sprite(Cat({Tag(26), gotoFrame7, ShowFrame(), stop,
                                     Sprite(Cat({ShowFrame(), End()})), ShowFrame(), End()}));
    ASSERT_EQ(sprite.size(), 36u);
    const Bytes tags = Cat({stop, ShowFrame(), sprite, Tag(26), ShowFrame(), End()});
    Open(Movie(spec, tags));
    // The sprite's 36 bytes count once: 6 + 36 + 2 + 2. Nested tags of every depth hang under
    // the top-level sprite, its End included, and their ShowFrames touch no frame node.
    EXPECT_EQ(DumpFrames(),
              "[0,0] Frame     0 (6 bytes so far) (Time:0.1 s.) (0.1 kb/s so far)\n"
              "  [1,1]  DoAction Stop\n"
              "  [1,1]  ShowFrame 0\n"
              "[0,0] Frame     1 (46 bytes so far) (Time:0.2 s.) (0.3 kb/s so far)\n"
              "  [2,2]  DefineSprite\n"
              "    [1,1]  PlaceObject2\n"
              "    [1,1]  DoAction GotoFrame 7\n"
              "    [1,1]  ShowFrame 0\n"
              "    [1,1]  DoAction Stop\n"
              "    [2,2]  DefineSprite\n"
              "    [1,1]  ShowFrame 0\n"
              "    [1,1]  End\n"
              "    [1,1]  ShowFrame 1\n"
              "    [1,1]  End\n"
              "  [1,1]  PlaceObject2\n"
              "  [1,1]  ShowFrame 1\n"
              "[0,0] Frame     2\n"
              "  [1,1]  End\n");
}

TEST_F(TreeBuilderTest, FrameCountZeroWithoutShowFrameGivesOneFrame) {
    HeaderSpec spec;
    spec.frameCount = 0;
    Open(Movie(spec, Cat({Tag(26), Tag(99), DoAction({0x8C}), End()})));
    EXPECT_EQ(DumpFrames(),
              "[0,0] Frame     0\n"
              "  [1,1]  PlaceObject2\n"
              "  [3,3]  Unknown\n"
              "  [1,1]  DoAction GotoLabel\n"
              "  [1,1]  End\n");
}

TEST_F(TreeBuilderTest, FrameRectangleTextsAndTruncatingDivisions) {
    struct Row {
        int fieldWidth;
        std::int32_t xMin, xMax, yMin, yMax;
        const char* expected;
    };
    const Row rows[] = {
        {15, -200, 11000, 0, 8000,
         "[4,4] FrameSize -200 11000 0 8000\n"
         "  [4,4] Movie Width 560 pixels\n"
         "  [4,4] Movie Height 400 pixels\n"},
        {15, 0, 8010, 0, 8000,
         "[4,4] FrameSize 0 8010 0 8000\n"
         "  [4,4] Movie Width 400 pixels\n"
         "  [4,4] Movie Height 400 pixels\n"},
        // Toward zero, not down: -1.5 gives -1 and -0.95 gives 0.
        {15, 0, -30, 10, -9,
         "[4,4] FrameSize 0 -30 10 -9\n"
         "  [4,4] Movie Width -1 pixels\n"
         "  [4,4] Movie Height 0 pixels\n"},
        // The widest rectangle the 5-bit field width can encode.
        {31, -1073741824, 1073741823, 0, 0,
         "[4,4] FrameSize -1073741824 1073741823 0 0\n"
         "  [4,4] Movie Width 107374182 pixels\n"
         "  [4,4] Movie Height 0 pixels\n"},
        {0, 0, 0, 0, 0,
         "[4,4] FrameSize 0 0 0 0\n"
         "  [4,4] Movie Width 0 pixels\n"
         "  [4,4] Movie Height 0 pixels\n"},
    };
    for (const Row& row : rows) {
        HeaderSpec spec;
        spec.fieldWidth = row.fieldWidth;
        spec.xMin = row.xMin;
        spec.xMax = row.xMax;
        spec.yMin = row.yMin;
        spec.yMax = row.yMax;
        // A body keeps the movie above 21 bytes however short the rectangle.
        Open(Movie(spec, Cat({Tag(2, Body(10)), ShowFrame(), End()})));
        const std::string frameSize = "FrameSize " + std::to_string(row.xMin) + " " +
                                      std::to_string(row.xMax) + " " + std::to_string(row.yMin) +
                                      " " + std::to_string(row.yMax);
        EXPECT_EQ(Dump(Find(frameSize), 2), row.expected);
    }
}

TEST_F(TreeBuilderTest, HeaderNumbersKeepTheirSignedness) {
    HeaderSpec spec;
    spec.version = 255;
    spec.frameRate = 0xFF00;
    spec.frameCount = 0;
    Open(Movie(spec, Cat({End()})));
    EXPECT_NE(Find("Version 255"), kNoNode);
    EXPECT_NE(Find("FrameRate 255 fps"), kNoNode);
    EXPECT_NE(Find("FrameCount 0"), kNoNode);
}

TEST_F(TreeBuilderTest, EveryDeclaredFrameGetsItsNode) {
    for (const std::uint16_t frameCount : {9999, 20000}) {
        HeaderSpec spec;
        spec.frameCount = frameCount;
        Open(Movie(spec, Cat({End()})));
        ASSERT_EQ(frameNodes.size(), frameCount + 2u);
        EXPECT_EQ(tree.Text(frameNodes[1]), "Frame     0");
        EXPECT_EQ(tree.Text(frameNodes[43]), "Frame    42");
        EXPECT_EQ(tree.Text(frameNodes[10000]), "Frame  9999");
        EXPECT_EQ(tree.Text(frameNodes.back()), frameCount == 9999 ? "Frame  9999" : "Frame 20000");
        EXPECT_EQ(tree.NextSibling(frameNodes.back()), kNoNode);
    }
}

TEST_F(TreeBuilderTest, FramesBeyondTheDeclaredCountAreAppendedInOrder) {
    HeaderSpec spec;
    spec.frameCount = 1;
    Open(Movie(spec, Cat({ShowFrame(), ShowFrame(), Tag(26), ShowFrame(), End()})));
    EXPECT_EQ(DumpFrames(),
              "[0,0] Frame     0 (2 bytes so far) (Time:0.1 s.) (0.0 kb/s so far)\n"
              "  [1,1]  ShowFrame 0\n"
              "[0,0] Frame     1 (4 bytes so far) (Time:0.2 s.) (0.0 kb/s so far)\n"
              "  [1,1]  ShowFrame 1\n"
              "[0,0] Frame     2 (8 bytes so far) (Time:0.3 s.) (0.0 kb/s so far)\n"
              "  [1,1]  PlaceObject2\n"
              "  [1,1]  ShowFrame 2\n"
              "[0,0] Frame     3\n"
              "  [1,1]  End\n");
    ASSERT_EQ(frameNodes.size(), 5u);
    EXPECT_EQ(tree.Text(frameNodes[4]), "Frame     3");
}

TEST_F(TreeBuilderTest, WrappedFrameIndexReturnsToItsFrameWithinTheTable) {
    // 65,537 ShowFrames with FrameCount 0: frame nodes are appended up to 65,535, the largest
    // FrameIndex, and the 65,537th ShowFrame wraps to frame 0 again.
    HeaderSpec spec;
    spec.frameCount = 0;
    Bytes tags;
    for (int i = 0; i < 65537; ++i) {
        Append(tags, ShowFrame());
    }
    Append(tags, Cat({Tag(26), End()}));
    Open(Movie(spec, tags));
    ASSERT_EQ(frameNodes.size(), 65537u);
    EXPECT_EQ(tree.Text(frameNodes.back()),
              "Frame 65535 (131072 bytes so far) (Time:5461.3 s.) (0.0 kb/s so far)");
    EXPECT_EQ(Dump(frameNodes[1], 1),
              "[0,0] Frame     0 (2 bytes so far) (Time:0.1 s.) (0.0 kb/s so far)"
              " (131074 bytes so far) (Time:0.1 s.) (1536.0 kb/s so far)\n"
              "  [1,1]  ShowFrame 0\n"
              "  [1,1]  ShowFrame 0\n");
    EXPECT_EQ(Dump(frameNodes[2], 1),
              "[0,0] Frame     1 (4 bytes so far) (Time:0.2 s.) (0.0 kb/s so far)\n"
              "  [1,1]  ShowFrame 1\n"
              "  [1,1]  PlaceObject2\n"
              "  [1,1]  End\n");
}

TEST_F(TreeBuilderTest, ManyDistinctTextsCrossTheStoresChunksWhole) {
    // 70,000 DoActions going to spread frame numbers, 2 MB of distinct texts, more than one chunk
    // of the store holds; a ShowFrame after each, so that frame indices wrap and the first frames
    // receive their statistics twice, far apart.
    HeaderSpec spec;
    spec.frameCount = 0;
    Bytes tags;
    for (std::uint32_t i = 0; i < 70000; ++i) {
        const auto frame = static_cast<std::uint16_t>(i * 40503u);
        Append(tags, Cat({DoAction(Cat({{0x81, 0x02, 0x00}, U16(frame), {0x00}})), ShowFrame()}));
    }
    Append(tags, End());
    const std::size_t headerBytes = Header(spec, 0).size();
    Open(Movie(spec, tags));
    std::size_t doActions = 0;
    for (std::size_t slot = 1; slot < frameNodes.size(); ++slot) {
        char expected[32];
        std::snprintf(expected, sizeof expected, "Frame %5zu", slot - 1);
        std::string frameText = expected;
        for (TreeNode node = tree.FirstChild(frameNodes[slot]); node != kNoNode;
             node = tree.NextSibling(node)) {
            const TagItem& item = *tree.Data(node);
            if (item.TagCode == tagDoAction) {
                ASSERT_EQ(tree.Text(node), " DoAction " + FirstActionName(item));
                ++doActions;
            } else if (item.TagCode == tagShowFrame) {
                const std::size_t bytesSoFar = static_cast<std::size_t>(item.Data - FileBytes) +
                                               item.HeaderLength - headerBytes;
                const double seconds = (item.FrameIndex + 1) / 12.0;
                frameText += " (" + std::to_string(bytesSoFar) +
                             " bytes so far) (Time:" + OneDecimalText(seconds) + " s.) (" +
                             OneDecimalText(bytesSoFar / seconds / 1024) + " kb/s so far)";
            }
        }
        ASSERT_EQ(tree.Text(frameNodes[slot]), frameText);
        ASSERT_EQ(tree.TextLength(frameNodes[slot]), frameText.size());
    }
    EXPECT_EQ(doActions, 70000u);
}

TEST_F(TreeBuilderTest, FrameRateBelowOneFpsShowsOnlyTheByteCount) {
    HeaderSpec spec;
    spec.frameRate = 0x0080;
    Open(Movie(spec, Cat({ShowFrame(), End()})));
    EXPECT_NE(Find("FrameRate 0 fps"), kNoNode);
    EXPECT_EQ(DumpFrames(),
              "[0,0] Frame     0 (2 bytes so far)\n"
              "  [1,1]  ShowFrame 0\n"
              "[0,0] Frame     1\n"
              "  [1,1]  End\n");
}

TEST_F(TreeBuilderTest, OneDecimalHalvesRoundAwayFromZeroAsWritten) {
    // 20 fps: frame 2 ends at 3/20 s, stored as 0.1499999..., which reads and shows as 0.2.
    HeaderSpec spec;
    spec.frameRate = 0x1400;
    spec.frameCount = 3;
    Open(Movie(spec, Cat({ShowFrame(), ShowFrame(), ShowFrame(), End()})));
    EXPECT_EQ(tree.Text(frameNodes[3]),
              "Frame     2 (6 bytes so far) (Time:0.2 s.) (0.0 kb/s so far)");

    // 1 fps with 256 bytes: 0.25 kb/s, which shows as 0.3.
    spec.frameRate = 0x0100;
    spec.frameCount = 1;
    Open(Movie(spec, Cat({Tag(2, Body(248)), ShowFrame(), End()})));
    EXPECT_EQ(tree.Text(frameNodes[1]),
              "Frame     0 (256 bytes so far) (Time:1.0 s.) (0.3 kb/s so far)");
}

// Delete Tag.

class DeleteTagTest : public TreeBuilderTest {
  protected:
    void SetUp() override {
        HeaderSpec spec;
        spec.frameCount = 2;
        Open(Movie(spec, Cat({Tag(9, {1, 2, 3}), Tag(26), ShowFrame(),
                              Sprite(Cat({Tag(26), ShowFrame(), End()})), ShowFrame(), End()})));
        before = Dump(tree.FirstTopLevel(), 0);
    }
    std::string before;
};

TEST_F(DeleteTagTest, NodesWithoutATagItemAreNotDeleted) {
    // Right after the open the root is selected.
    DeleteSelectedTag(movie, tree, view(), selectedNode);
    for (const char* text : {"Header", "Sign SWF", "Movie Width 550 pixels", "Frame     2"}) {
        SelectAndDelete(Find(text));
        EXPECT_EQ(selectedNode, Find(text));
    }
    DeleteSelectedTag(movie, tree, view(), kNoNode);
    EXPECT_EQ(Dump(tree.FirstTopLevel(), 0), before);
    EXPECT_EQ(ListNames().size(), 9u);
}

TEST_F(DeleteTagTest, NothingHappensWithoutALoadedMovie) {
    view().Select(Find(" SetBackgroundColor"));
    movie.Loaded = false;
    DeleteSelectedTag(movie, tree, view(), selectedNode);
    EXPECT_EQ(Dump(tree.FirstTopLevel(), 0), before);
    EXPECT_EQ(ListNames().size(), 9u);
}

TEST_F(DeleteTagTest, DeletingTheFirstTagMovesSelectionToTheNextTarget) {
    SelectAndDelete(Find(" SetBackgroundColor"));
    EXPECT_EQ(ListNames(), (std::vector<std::string>{"26@0", "1@0", "39@0", "26@1", "1@1", "0@1",
                                                     "1@0", "0@0"}));
    EXPECT_EQ(movie.FirstTag->TagCode, 26);
    EXPECT_EQ(selectedNode, Find(" PlaceObject2"));
    EXPECT_EQ(tree.Data(selectedNode), movie.FirstTag);

    DeleteSelectedTag(movie, tree, view(), selectedNode);
    EXPECT_EQ(ListNames().front(), "1@0");
    EXPECT_EQ(selectedNode, Find(" ShowFrame 0"));
    DeleteSelectedTag(movie, tree, view(), selectedNode);
    // The frame node keeps its statistics; with no sibling left the frame itself is selected.
    EXPECT_EQ(selectedNode, frameNodes[1]);
    EXPECT_EQ(Dump(frameNodes[1], 1),
              "[0,0] Frame     0 (9 bytes so far) (Time:0.1 s.) (0.1 kb/s so far)\n");
    EXPECT_TRUE(movie.Loaded);
}

TEST_F(DeleteTagTest, DeletingASpriteTakesItsNodesButLeavesItsContentsItems) {
    SelectAndDelete(Find(" DefineSprite"));
    EXPECT_EQ(Dump(frameNodes[2], 1),
              "[0,0] Frame     1 (23 bytes so far) (Time:0.2 s.) (0.1 kb/s so far)\n"
              "  [1,1]  ShowFrame 1\n");
    EXPECT_EQ(ListNames(),
              (std::vector<std::string>{"9@0", "26@0", "1@0", "26@1", "1@1", "0@1", "1@0", "0@0"}));
    EXPECT_EQ(selectedNode, Find(" ShowFrame 1"));
}

TEST_F(DeleteTagTest, ANestedTagIsNotDeletedSinceItsSpriteIsSavedWhole) {
    // Each text with its occurrence inside the sprite, in tree order.
    for (const auto& [nested, occurrence] :
         {std::pair{" PlaceObject2", 1}, std::pair{" ShowFrame 0", 1}, std::pair{" End", 0}}) {
        SCOPED_TRACE(nested);
        const TreeNode node = Find(nested, occurrence);
        SelectAndDelete(node);
        EXPECT_EQ(selectedNode, node);
        EXPECT_NE(tree.Data(node), nullptr);
    }
    EXPECT_EQ(Dump(tree.FirstTopLevel(), 0), before);
    EXPECT_EQ(ListNames().size(), 9u);
}

TEST_F(DeleteTagTest, DeletingAFramesLastTagSelectsThePreviousSibling) {
    SelectAndDelete(Find(" ShowFrame 1"));
    EXPECT_EQ(selectedNode, Find(" DefineSprite"));
    EXPECT_EQ(ListNames(), (std::vector<std::string>{"9@0", "26@0", "1@0", "39@0", "26@1", "1@1",
                                                     "0@1", "0@0"}));
}

TEST_F(DeleteTagTest, DeletingTheLastItemEndsTheListAtItsPredecessor) {
    SelectAndDelete(Find(" End", 1));
    const std::vector<std::string> names = ListNames();
    EXPECT_EQ(names.back(), "1@0");
    EXPECT_EQ(selectedNode, frameNodes[3]);
}

}  // namespace
