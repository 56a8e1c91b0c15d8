// The main window driven through its handlers, menu items and tool buttons, with a scripted person
// answering its dialogs and boxes.
#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>
#include <QTreeView>
#include <functional>
#include <new>
#include <stdexcept>

#include "Unit1/TreeModel.h"
#include "Unit1/Unit1.h"
#include "Unit1/presentation/BuildMovieTree.h"
#include "Unit1/presentation/NodeStore.h"
#include "swfff/errors.h"
#include "swfff/loader.h"
#include "swfff/scoped_movie.h"
#include "tests/support/HeadlessShell.h"
#include "tests/support/model_dump.h"
#include "tests/support/movie_builder.h"
#include "tests/support/scripted_prompter.h"

namespace {

using namespace testmovie;

// The tags of the movie under test, in file order.
struct Tags {
    Bytes background = Tag(9, {0xFF, 0xFF, 0xFF});
    Bytes stop = DoAction({0x07, 0x00});
    Bytes firstShowFrame = ShowFrame();
    Bytes sprite = Sprite(Cat({DoAction({0x06, 0x00}), ShowFrame(), End()}));
    Bytes secondShowFrame = ShowFrame();
    Bytes end = End();
};

HeaderSpec TwoFrames() {
    HeaderSpec spec;
    spec.frameCount = 2;
    return spec;
}

Bytes MovieOf(std::initializer_list<Bytes> tags) {
    return Movie(TwoFrames(), Cat(tags));
}

Bytes WholeMovie() {
    const Tags t;
    return MovieOf({t.background, t.stop, t.firstShowFrame, t.sprite, t.secondShowFrame, t.end});
}

class WindowTest : public testing::Test {
  protected:
    WindowTest() : form(prompter) { moviePath = dir.Write("movie.swf", WholeMovie()); }

    template <typename T>
    T* Part(const char* name) {
        T* part = form.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(part, nullptr) << name;
        return part;
    }
    QTreeView* tv() { return Part<QTreeView>("tv"); }

    void Open(const std::string& path) {
        prompter.answers.push_back(QString::fromStdString(path));
        form.Open1Click();
    }

    // Saves under a fresh name and gives back what was written.
    Bytes SaveAs() {
        const std::string path = dir.File("saved" + std::to_string(++saves) + ".swf");
        prompter.answers.push_back(QString::fromStdString(path));
        form.Saveas1Click();
        return ReadFile(path);
    }

    // The first node whose text starts with `prefix`, in pre-order, below `within` if given.
    TreeNode Find(const std::string& prefix, TreeNode within = kNoNode) {
        std::function<TreeNode(const QModelIndex&)> search = [&](const QModelIndex& parent) {
            for (int row = 0; row < form.Tree().rowCount(parent); ++row) {
                const QModelIndex index = form.Tree().index(row, 0, parent);
                if (index.data().toString().toStdString().rfind(prefix, 0) == 0) {
                    return form.Tree().NodeOf(index);
                }
                if (const TreeNode found = search(index); found != kNoNode) {
                    return found;
                }
            }
            return kNoNode;
        };
        return search(form.Tree().IndexOf(within));
    }

    // Selects the node as a click on it would.
    void Click(TreeNode node) {
        ASSERT_NE(node, kNoNode);
        tv()->selectionModel()->setCurrentIndex(
            form.Tree().IndexOf(node),
            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }

    TempDir dir;
    std::string moviePath;
    ScriptedPrompter prompter;
    TForm1 form;
    int saves = 0;
};

TEST_F(WindowTest, WithNothingLoadedSaveAsAndDeleteTagDoNothing) {
    form.Saveas1Click();
    form.Button1Click();
    EXPECT_TRUE(prompter.dialogs.empty());
    EXPECT_TRUE(prompter.boxes.empty());
    EXPECT_EQ(form.Tree().rowCount(), 0);
}

TEST_F(WindowTest, OpenShowsTheMovieWithTheRootSelectedAndExpandedOneLevel) {
    NodeStore expected;
    HeadlessShell expectedView;
    {
        ScopedMovie held;
        FrameNodeTable frames;
        ASSERT_EQ(LoadMovieFile(held.movie, moviePath), loadOk);
        expectedView.Select(BuildMovieTree(held.movie, expected, frames));
    }
    // The root's selection is reported while redrawing is still suspended.
    std::vector<bool> redrawnAtReport;
    QObject::connect(&form.Tree(), &TreeModel::SelectionChanged, &form,
                     [&] { redrawnAtReport.push_back(tv()->updatesEnabled()); });

    Open(moviePath);

    ASSERT_EQ(prompter.dialogs.size(), 1u);
    const FileDialogSeen& open = prompter.dialogs[0];
    EXPECT_EQ(open.name, "dOpen1");
    EXPECT_EQ(open.nameFilters, QStringList({"Shockwave Flash (*.swf)", "All files (*)"}));
    EXPECT_EQ(open.selectedNameFilter, "Shockwave Flash (*.swf)");
    EXPECT_EQ(open.fileMode, QFileDialog::ExistingFile);
    EXPECT_EQ(open.acceptMode, QFileDialog::AcceptOpen);
    EXPECT_EQ(open.title, QFileDialog().windowTitle()) << "the default title";
    EXPECT_EQ(open.owner, &form);

    EXPECT_TRUE(form.Movie.Loaded);
    EXPECT_TRUE(prompter.boxes.empty());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(DumpModel(form.Tree()), DumpNodeStore(expected, expectedView));
    const TreeNode root = form.Tree().Store().FirstTopLevel();
    EXPECT_EQ(form.Tree().Store().Text(root), moviePath);
    EXPECT_EQ(form.SelectedNode, root) << "the root's selection is reported inside the open";
    EXPECT_EQ(redrawnAtReport, std::vector<bool>{false});
    EXPECT_TRUE(tv()->isExpanded(form.Tree().IndexOf(root)));
    EXPECT_TRUE(tv()->updatesEnabled());
    for (const char* collapsed : {"Header", "FrameSize", "Frame     0", "Frame     1"}) {
        EXPECT_FALSE(tv()->isExpanded(form.Tree().IndexOf(Find(collapsed)))) << collapsed;
    }
}

TEST_F(WindowTest, NodeTextsAreNeverElidedAndTheViewScrollsToTheLongest) {
    Open(moviePath);
    const QModelIndex frame0 = form.Tree().IndexOf(Find("Frame     0"));
    const int frame0Width = 2 * tv()->indentation() + tv()->sizeHintForIndex(frame0).width();
    EXPECT_EQ(tv()->textElideMode(), Qt::ElideNone);
    EXPECT_GE(tv()->header()->sectionSize(0), frame0Width);
    form.resize(frame0Width / 2, form.height());
    QApplication::processEvents();
    EXPECT_GT(tv()->horizontalScrollBar()->maximum(), 0);
}

TEST_F(WindowTest, DeleteTagOnANodeWithoutATopLevelTagChangesNothing) {
    // A tag inside a sprite stays: the sprite is saved whole, with the tag in it.
    for (const char* text :
         {"", "Header", "Sign SWF", "FrameSize", "Movie Width", "Frame     0", " DoAction Play"}) {
        SCOPED_TRACE(text);
        Open(moviePath);
        if (*text != '\0') {  // "": the root, selected by the open itself
            Click(Find(text));
        }
        EXPECT_EQ(form.SelectedNode, Find(text));
        const std::string before = DumpModel(form.Tree());
        form.Button1Click();
        EXPECT_EQ(DumpModel(form.Tree()), before);
        EXPECT_EQ(SaveAs(), WholeMovie());
    }
    EXPECT_TRUE(prompter.boxes.empty());
}

TEST_F(WindowTest, DeleteTagTakesTheTagOutOfTheSavedMovie) {
    const Tags t;
    struct Row {
        const char* node;
        const char* goneWithIt;  // a node below it that must go too, or nullptr
        Bytes saved;
        const char* frame = "";  // the frame node to look in, when the text is not unique
    };
    const Row rows[] = {
        {" SetBackgroundColor", nullptr,
         MovieOf({t.stop, t.firstShowFrame, t.sprite, t.secondShowFrame, t.end})},
        {" DefineSprite", " DoAction Play",
         MovieOf({t.background, t.stop, t.firstShowFrame, t.secondShowFrame, t.end})},
        {" End", nullptr,
         MovieOf({t.background, t.stop, t.firstShowFrame, t.sprite, t.secondShowFrame}),
         "Frame     2"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.node);
        Open(moviePath);
        const TreeNode frame = *row.frame != '\0' ? Find(row.frame) : kNoNode;
        Click(Find(row.node, frame));
        form.Button1Click();
        EXPECT_EQ(Find(row.node, frame), kNoNode);
        if (row.goneWithIt != nullptr) {
            EXPECT_EQ(Find(row.goneWithIt), kNoNode);
        }
        EXPECT_EQ(SaveAs(), row.saved);
    }
    EXPECT_TRUE(prompter.boxes.empty());
}

TEST_F(WindowTest, TheNodeSelectedAfterADeletionIsTheNextTarget) {
    const Tags t;
    Open(moviePath);
    Click(Find(" SetBackgroundColor"));
    form.Button1Click();
    EXPECT_EQ(form.Movie.FirstTag->TagCode, 12) << "the DoAction is the first tag now";
    EXPECT_EQ(form.SelectedNode, Find(" DoAction Stop"));
    form.Button1Click();
    EXPECT_EQ(form.SelectedNode, Find(" ShowFrame 0"));
    form.Button1Click();
    // The frame had nothing left, so its node took the selection; it holds no tag.
    EXPECT_EQ(form.SelectedNode, Find("Frame     0"));
    form.Button1Click();
    EXPECT_NE(Find("Frame     0"), kNoNode);
    EXPECT_EQ(SaveAs(), MovieOf({t.sprite, t.secondShowFrame, t.end}));
}

TEST_F(WindowTest, HelpAndAboutShowTheirBoxes) {
    struct Row {
        const char* way;
        std::function<void()> trigger;
        QString text;
        QString caption;
    };
    const Row rows[] = {
        {"Help handler", [&] { form.HelpContents1Click(); }, "Not available!", "Not even alpha!"},
        {"Help menu item", [&] { Part<QAction>("HelpContents1")->trigger(); }, "Not available!",
         "Not even alpha!"},
        {"Help tool button", [&] { Part<QToolButton>("SpeedButton1")->click(); }, "Not available!",
         "Not even alpha!"},
        {"About menu item", [&] { Part<QAction>("About1")->trigger(); }, kCreditLine,
         "Velpin [Dev. Build 1] (Not even alpha!)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.way);
        prompter.boxes.clear();
        row.trigger();
        ASSERT_EQ(prompter.boxes.size(), 1u);
        const BoxSeen& box = prompter.boxes[0];
        EXPECT_EQ(box.text, row.text);
        EXPECT_EQ(box.caption, row.caption);
        EXPECT_EQ(box.icon, QMessageBox::NoIcon);
        EXPECT_EQ(box.buttons, QMessageBox::Ok);
        EXPECT_EQ(box.buttonCount, 1);
        EXPECT_EQ(box.owner, &form);
    }
}

TEST_F(WindowTest, EveryMenuItemAndToolButtonReachesItsCommand) {
    prompter.answers = {std::nullopt, QString::fromStdString(moviePath)};
    Part<QAction>("Open1")->trigger();
    Part<QToolButton>("SpeedButton4")->click();
    ASSERT_EQ(prompter.dialogs.size(), 2u);
    EXPECT_TRUE(form.Movie.Loaded);

    prompter.answers = {std::nullopt, std::nullopt};
    Part<QAction>("Saveas1")->trigger();
    Part<QToolButton>("SpeedButton2")->click();
    ASSERT_EQ(prompter.dialogs.size(), 4u);
    EXPECT_EQ(prompter.dialogs[3].name, "dSave1");

    Click(Find(" SetBackgroundColor"));
    Part<QToolButton>("SpeedButton3")->click();
    EXPECT_EQ(Find(" SetBackgroundColor"), kNoNode);
    Part<QPushButton>("Button1")->click();
    EXPECT_EQ(Find(" DoAction Stop"), kNoNode);
}

TEST_F(WindowTest, SaveAsAsksWithItsOwnDialogAndKeepsTheDocument) {
    Open(moviePath);
    const std::string before = DumpModel(form.Tree());
    EXPECT_EQ(SaveAs(), WholeMovie());
    EXPECT_EQ(SaveAs(), WholeMovie()) << "the same movie saves again";

    const FileDialogSeen& save = prompter.dialogs.back();
    EXPECT_EQ(save.name, "dSave1");
    EXPECT_EQ(save.title, "Save As");
    EXPECT_EQ(save.nameFilters, QStringList({"Shockwave Flash (*.swf)"}));
    EXPECT_EQ(save.defaultSuffix, "swf");
    EXPECT_EQ(save.acceptMode, QFileDialog::AcceptSave);
    EXPECT_TRUE(save.confirmsOverwrite);
    EXPECT_EQ(save.owner, &form);
    EXPECT_EQ(DumpModel(form.Tree()), before);
    EXPECT_EQ(form.Movie.FileName, moviePath);
    EXPECT_EQ(form.windowTitle(), "Velpin");
    EXPECT_TRUE(prompter.boxes.empty());
}

TEST_F(WindowTest, SaveFailuresAreToldAndTheMovieStaysLoaded) {
    Open(moviePath);
    const std::string before = DumpModel(form.Tree());

    prompter.answers.push_back(QStringLiteral("/dev/full"));
    form.Saveas1Click();
    ASSERT_EQ(prompter.boxes.size(), 1u);
    EXPECT_EQ(prompter.boxes[0].text, "Error Saving file!");
    EXPECT_EQ(prompter.boxes[0].caption, "Velpin");
    EXPECT_EQ(prompter.boxes[0].icon, QMessageBox::NoIcon);
    EXPECT_FALSE(prompter.boxes[0].busyCursorShown);

    // A name longer than the file system allows, in a folder that exists.
    prompter.answers.push_back(QString::fromStdString(dir.File(std::string(300, 'n'))));
    form.Saveas1Click();
    ASSERT_EQ(prompter.boxes.size(), 2u);
    EXPECT_EQ(prompter.boxes[1].text, "Invalid filename.");
    EXPECT_EQ(prompter.boxes[1].icon, QMessageBox::Critical);
    EXPECT_FALSE(prompter.boxes[1].busyCursorShown);

    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(form.Movie.Loaded);
    EXPECT_EQ(DumpModel(form.Tree()), before);
    EXPECT_EQ(SaveAs(), WholeMovie());
}

TEST_F(WindowTest, AFailedOpenEmptiesTheTreeAndMakesSaveAndDeleteInert) {
    Open(moviePath);
    Open(dir.Write("short.swf", Bytes(20, 'F')));

    EXPECT_EQ(form.Tree().rowCount(), 0);
    EXPECT_TRUE(form.FrameNodes.empty());
    EXPECT_FALSE(form.Movie.Loaded);
    EXPECT_EQ(form.SelectedNode, kNoNode);
    EXPECT_TRUE(tv()->updatesEnabled());
    ASSERT_EQ(prompter.boxes.size(), 1u);
    EXPECT_EQ(prompter.boxes[0].text, "Error Opening file!");
    EXPECT_EQ(prompter.boxes[0].caption, "Velpin");
    EXPECT_EQ(prompter.boxes[0].icon, QMessageBox::NoIcon);
    EXPECT_EQ(prompter.boxes[0].owner, &form);
    EXPECT_FALSE(prompter.boxes[0].busyCursorShown);

    const std::size_t dialogs = prompter.dialogs.size();
    form.Saveas1Click();
    form.Button1Click();
    EXPECT_EQ(prompter.dialogs.size(), dialogs);
    EXPECT_EQ(prompter.boxes.size(), 1u);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(WindowTest, AMissingFileGoesToTheErrorBoxAndTheWindowGoesOn) {
    Open(moviePath);
    Open(dir.File("missing.swf"));

    ASSERT_EQ(prompter.boxes.size(), 1u);
    const BoxSeen& box = prompter.boxes[0];
    EXPECT_EQ(box.text, "File not found.");
    EXPECT_EQ(box.caption, "Velpin");
    EXPECT_EQ(box.icon, QMessageBox::Critical);
    EXPECT_EQ(box.buttons, QMessageBox::Ok);
    EXPECT_EQ(box.modality, Qt::ApplicationModal);
    EXPECT_FALSE(box.busyCursorShown);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(tv()->updatesEnabled());
    EXPECT_EQ(form.Tree().rowCount(), 0);
    EXPECT_FALSE(form.Movie.Loaded);
    EXPECT_EQ(form.SelectedNode, kNoNode);

    Open(moviePath);
    EXPECT_TRUE(form.Movie.Loaded);
    EXPECT_EQ(form.SelectedNode, form.Tree().Store().FirstTopLevel());
}

TEST_F(WindowTest, CancellingADialogChangesNothing) {
    Open(moviePath);
    const std::string before = DumpModel(form.Tree());
    prompter.answers = {std::nullopt, std::nullopt};
    form.Open1Click();
    form.Saveas1Click();
    EXPECT_TRUE(form.Movie.Loaded);
    EXPECT_EQ(DumpModel(form.Tree()), before);
    EXPECT_TRUE(prompter.boxes.empty());
    EXPECT_EQ(prompter.dialogs.size(), 3u);
}

TEST_F(WindowTest, ClosingReleasesTheMovieAndLeavesNothingToSave) {
    Open(moviePath);
    form.close();
    EXPECT_EQ(FileBytes, nullptr);
    form.Saveas1Click();
    EXPECT_EQ(prompter.dialogs.size(), 1u);
}

TEST_F(WindowTest, APersonClickingTheTreeAndTheDeleteButton) {
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    Open(moviePath);
    const QModelIndex frame = form.Tree().IndexOf(Find("Frame     0"));
    tv()->expand(frame);
    const TreeNode tag = Find(" DoAction Stop");
    const QModelIndex index = form.Tree().IndexOf(tag);
    tv()->scrollTo(index);
    QTest::mouseClick(tv()->viewport(), Qt::LeftButton, {}, tv()->visualRect(index).center());
    EXPECT_EQ(form.SelectedNode, tag);

    auto* deleteButton = Part<QToolButton>("SpeedButton3");
    QTest::mouseClick(deleteButton, Qt::LeftButton, {}, deleteButton->rect().center());
    EXPECT_EQ(Find(" DoAction Stop"), kNoNode);
    EXPECT_EQ(form.SelectedNode, Find(" ShowFrame 0"));

    QTest::keyClick(tv(), Qt::Key_Up);
    EXPECT_EQ(form.SelectedNode, Find(" SetBackgroundColor"));

    // Control-click takes the selection away; Delete Tag then has no target.
    const QModelIndex selected = form.Tree().IndexOf(form.SelectedNode);
    QTest::mouseClick(tv()->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      tv()->visualRect(selected).center());
    EXPECT_EQ(form.SelectedNode, kNoNode);
    QTest::mouseClick(deleteButton, Qt::LeftButton, {}, deleteButton->rect().center());
    EXPECT_NE(Find(" SetBackgroundColor"), kNoNode);
}

TEST_F(WindowTest, ASaveDialogRefusesAMissingFolderAndStaysOpen) {
    Open(moviePath);
    const std::string missing = dir.File("no/such/folder/out.swf");
    const std::string saved = dir.File("saved.swf");
    prompter.answers = {QString::fromStdString(missing), QString::fromStdString(saved)};
    form.Saveas1Click();

    EXPECT_EQ(prompter.dialogs.size(), 2u) << "the open dialog, and the save dialog once";
    ASSERT_EQ(prompter.boxes.size(), 1u);
    EXPECT_EQ(prompter.boxes[0].caption, "Save As");
    EXPECT_TRUE(prompter.boxes[0].text.startsWith(QString::fromStdString(missing)));
    EXPECT_EQ(prompter.boxes[0].ownerName, "dSave1");
    EXPECT_EQ(ReadFile(saved), WholeMovie());
}

TEST_F(WindowTest, ADialogLeavesNothingBehindButTheNameChosenLast) {
    Open(moviePath);
    EXPECT_TRUE(form.findChildren<QFileDialog*>().isEmpty()) << "nothing watches the disk";
    prompter.answers.push_back(std::nullopt);
    form.Open1Click();
    EXPECT_EQ(prompter.dialogs.back().selectedFiles, QStringList({moviePath.c_str()}));
    EXPECT_TRUE(form.findChildren<QFileDialog*>().isEmpty());
}

TEST_F(WindowTest, TheViewShowsTheSelectionOfABuildWithRedrawingSuspended) {
    Open(moviePath);
    Click(Find(" DoAction Stop"));
    form.Tree().BeginUpdate();
    form.OpenMovie(moviePath);
    EXPECT_FALSE(tv()->updatesEnabled());
    form.Tree().EndUpdate();
    EXPECT_TRUE(tv()->updatesEnabled());
    const QModelIndex root = form.Tree().IndexOf(form.Tree().Store().FirstTopLevel());
    EXPECT_EQ(tv()->selectionModel()->selectedIndexes(), QModelIndexList({root}));
    EXPECT_EQ(tv()->currentIndex(), root);
    EXPECT_EQ(form.SelectedNode, form.Tree().NodeOf(root));
}

TEST_F(WindowTest, TheKeyboardIsOnTheTreeAfterStartAndAfterOpen) {
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    EXPECT_EQ(QApplication::focusWidget(), tv());
    for (const char* name : {"SpeedButton4", "SpeedButton2", "SpeedButton3", "SpeedButton1"}) {
        EXPECT_EQ(Part<QToolButton>(name)->focusPolicy(), Qt::NoFocus) << name;
    }
    // Wherever the keyboard was, as after leaving the menus by keyboard.
    form.menuBar()->setFocus();
    prompter.answers.push_back(QString::fromStdString(moviePath));
    auto* openButton = Part<QToolButton>("SpeedButton4");
    QTest::mouseClick(openButton, Qt::LeftButton, {}, openButton->rect().center());
    EXPECT_EQ(QApplication::focusWidget(), tv());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    EXPECT_EQ(form.SelectedNode, Find("Header"));
}

TEST_F(WindowTest, DialogsStartInTheMoviesFolderElseInTheLastOneUsed) {
    const QString folder = QString::fromStdString(dir.Path());
    ASSERT_TRUE(QDir(folder).mkdir("sub"));
    const QString sub = folder + "/sub";
    Open(moviePath);
    prompter.answers = {sub + "/copy.swf", std::nullopt};
    form.Saveas1Click();
    form.Open1Click();
    Open(dir.Write("sub/short.swf", Bytes(20, 'F')));
    prompter.answers = {std::nullopt};
    form.Open1Click();

    QStringList folders;
    for (std::size_t i = 1; i < prompter.dialogs.size(); ++i) {
        folders << prompter.dialogs[i].folder;
    }
    EXPECT_EQ(folders, QStringList({folder, folder, folder, sub}));
}

TEST_F(WindowTest, CollapsingAboveTheSelectionSelectsTheCollapsedNode) {
    const Tags t;
    struct Row {
        const char* selected;
        const char* collapsed;  // "" for the root
        Bytes saved;            // after Delete Tag on the collapsed node
    };
    const Row rows[] = {
        {" DoAction Stop", "Frame     0", WholeMovie()},
        {" DoAction Play", " DefineSprite",
         MovieOf({t.background, t.stop, t.firstShowFrame, t.secondShowFrame, t.end})},
        {" DoAction Play", "", WholeMovie()},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.collapsed);
        Open(moviePath);
        const TreeNode collapsed =
            *row.collapsed != '\0' ? Find(row.collapsed) : form.Tree().Store().FirstTopLevel();
        tv()->expandAll();
        Click(Find(row.selected));
        tv()->collapse(form.Tree().IndexOf(collapsed));
        EXPECT_EQ(form.SelectedNode, collapsed);
        form.Button1Click();
        EXPECT_EQ(SaveAs(), row.saved);
    }
}

TEST_F(WindowTest, StarExpandsEveryNodeWithChildrenBelowTheCurrentOne) {
    Open(moviePath);
    QTest::keyClick(tv(), Qt::Key_Asterisk);
    std::function<void(const QModelIndex&)> check = [&](const QModelIndex& parent) {
        for (int row = 0; row < form.Tree().rowCount(parent); ++row) {
            const QModelIndex index = form.Tree().index(row, 0, parent);
            EXPECT_EQ(tv()->isExpanded(index), form.Tree().hasChildren(index))
                << index.data().toString().toStdString();
            check(index);
        }
    };
    check({});
}

TEST_F(WindowTest, F10PutsTheKeyboardOnTheMenuBarWhoseAccessKeysThenWork) {
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    QTest::keyClick(&form, Qt::Key_F10);
    EXPECT_TRUE(form.menuBar()->hasFocus());
    EXPECT_EQ(form.menuBar()->activeAction(), Part<QMenu>("File1")->menuAction());
    QTest::keyClick(form.menuBar(), Qt::Key_Down);
    ASSERT_TRUE(Part<QMenu>("File1")->isVisible());
    prompter.answers.push_back(std::nullopt);
    QTest::keyClick(Part<QMenu>("File1"), Qt::Key_O);
    ASSERT_EQ(prompter.dialogs.size(), 1u);
    EXPECT_EQ(prompter.dialogs[0].name, "dOpen1");
}

TEST_F(WindowTest, TheStoredLayout) {
    EXPECT_EQ(form.objectName(), "Form1");
    EXPECT_EQ(form.windowTitle(), "Velpin");
    EXPECT_FALSE(form.windowIcon().isNull());
    EXPECT_EQ(form.font().pixelSize(), 11);
    if (QFile::exists("/usr/share/wine/fonts/ms_sans_serif.ttf")) {
        EXPECT_EQ(form.font().family(), "MS Sans Serif");
    }
    EXPECT_EQ(Part<QStatusBar>("StatusBar1")->currentMessage(),
              QString("[STILL IN DEVELOPMENT - NOT EVEN ALPHA] ") + kCreditLine);

    struct Button {
        const char* name;
        int left;
        const char* hint;
        const char* normalPicture;
    };
    for (const Button& b : {Button{"SpeedButton4", 4, "Open", ":/images/open.xpm"},
                            Button{"SpeedButton2", 28, "Save As", ":/images/saveas.xpm"},
                            Button{"SpeedButton3", 60, "Delete Tag", ":/images/delete.xpm"},
                            Button{"SpeedButton1", 92, "Help", ":/images/help.xpm"}}) {
        SCOPED_TRACE(b.name);
        auto* button = Part<QToolButton>(b.name);
        EXPECT_EQ(button->geometry(), QRect(b.left, 4, 21, 21));
        EXPECT_EQ(button->toolTip(), b.hint);
        EXPECT_TRUE(button->autoRaise());
        EXPECT_TRUE(button->isEnabled());
        const QIcon icon = button->icon();
        auto pixels = [](const QImage& image) {
            return image.convertToFormat(QImage::Format_ARGB32);
        };
        EXPECT_EQ(pixels(icon.pixmap(16, 16, QIcon::Normal).toImage()),
                  pixels(QImage(b.normalPicture)));
        // Drawn for us, not the grey rendering Qt would make up.
        EXPECT_EQ(pixels(icon.pixmap(16, 16, QIcon::Disabled).toImage()),
                  pixels(QImage(QString(b.normalPicture).replace(".xpm", "_disabled.xpm"))));
    }

    struct Item {
        const char* name;
        const char* text;
    };
    for (const Item& item :
         {Item{"Open1", "&Open..."}, Item{"Saveas1", "Save &as..."},
          Item{"HelpContents1", "&Help Contents..."}, Item{"About1", "&About..."}}) {
        EXPECT_EQ(Part<QAction>(item.name)->text(), item.text);
        EXPECT_TRUE(Part<QAction>(item.name)->shortcut().isEmpty());
    }
    EXPECT_EQ(Part<QMenu>("File1")->title(), "File");
    EXPECT_EQ(Part<QMenu>("Help1")->title(), "Help");
    EXPECT_EQ(form.menuBar(), Part<QMenuBar>("MainMenu1"));

    QTreeView* tree = tv();
    EXPECT_EQ(tree->indentation(), 19);
    EXPECT_TRUE(tree->uniformRowHeights());
    EXPECT_TRUE(tree->isHeaderHidden());
    EXPECT_FALSE(tree->isSortingEnabled());
    EXPECT_EQ(tree->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_EQ(tree->model(), &form.Tree());

    auto* button1 = Part<QPushButton>("Button1");
    EXPECT_EQ(button1->text(), "delete");
    EXPECT_EQ(button1->geometry(), QRect(420, 84, 121, 21));

    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_FALSE(button1->isVisible());
    QWidget* client = form.centralWidget();
    EXPECT_EQ(client->size(), QSize(594, 477));
    EXPECT_EQ(form.size(), QSize(594, 477 + form.menuBar()->height()));
    auto at = [&](const char* name) {
        QWidget* part = Part<QWidget>(name);
        return QRect(part->mapTo(client, QPoint(0, 0)), part->size());
    };
    EXPECT_EQ(at("Panel2"), QRect(0, 0, 594, 29));
    EXPECT_EQ(at("Panel1"), QRect(0, 29, 452, 427));
    EXPECT_EQ(at("tv"), QRect(1, 30, 450, 425));
    EXPECT_EQ(at("Panel4"), QRect(456, 29, 138, 427));
    EXPECT_EQ(at("Panel3"), QRect(0, 456, 594, 21));
    EXPECT_EQ(at("StatusBar1"), QRect(1, 457, 592, 19));
    QSplitterHandle* handle = Part<QSplitter>("Splitter1")->handle(1);
    EXPECT_EQ(QRect(handle->mapTo(client, QPoint(0, 0)), handle->size()), QRect(452, 29, 4, 427));
    EXPECT_EQ(handle->cursor().shape(), Qt::SplitHCursor);
    const QRect screen = form.screen()->availableGeometry();
    EXPECT_LE((form.frameGeometry().center() - screen.center()).manhattanLength(), 2)
        << form.frameGeometry().x() << "," << form.frameGeometry().y() << " "
        << form.frameGeometry().width() << "x" << form.frameGeometry().height() << " on "
        << screen.width() << "x" << screen.height();
}

// The application object shows whatever escapes the handling of an event, and the event loop
// goes on.
class Thrower : public QObject {
  public:
    std::function<void()> raise;
    bool event(QEvent*) override {
        raise();
        return true;
    }
};

TEST(ApplicationErrorBox, ShowsWhatEscapesAnEventAndGoesOn) {
    struct Row {
        std::function<void()> raise;
        QString text;
    };
    const Row rows[] = {
        {[] { throw EInOutError(ioFileNotFound); }, "File not found."},
        {[] { throw EInOutError(ioOtherBase + 32); }, "I/O error 1032."},
        {[] { throw EOutOfMemory(); }, "Out of memory."},
        {[] { throw std::bad_alloc(); }, "Out of memory."},
        {[] { throw std::runtime_error("Gone (for good)"); }, "Gone (for good)"},
        {[] { throw std::runtime_error("Stop!"); }, "Stop!"},
        {[] { throw 42; }, "Unexpected error."},
    };
    ScriptedPrompter& prompter = ApplicationPrompter();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text.toStdString());
        prompter.boxes.clear();
        Thrower thrower;
        thrower.raise = row.raise;
        QEvent event(QEvent::User);
        EXPECT_FALSE(QCoreApplication::sendEvent(&thrower, &event));
        ASSERT_EQ(prompter.boxes.size(), 1u);
        EXPECT_EQ(prompter.boxes[0].text, row.text);
        EXPECT_EQ(prompter.boxes[0].caption, "Velpin");
        EXPECT_EQ(prompter.boxes[0].icon, QMessageBox::Critical);
        EXPECT_EQ(prompter.boxes[0].buttons, QMessageBox::Ok);
        EXPECT_EQ(prompter.boxes[0].modality, Qt::ApplicationModal);
    }
}

}  // namespace
