// The main window Form1: the movie's tree and the commands Open, Save As, Delete Tag, Help and
// About. Each handler makes one call into the presentation or the movie file unit.
#pragma once

#include <QMainWindow>
#include <QString>
#include <memory>
#include <optional>
#include <string>

#include "Unit1/presentation/BuildMovieTree.h"
#include "Unit1/presentation/NodeStore.h"
#include "swfff/document.h"
#include "swfff/scoped_movie.h"

class QCloseEvent;
class QShowEvent;
class FileDialog;
class Prompter;
class TreeModel;

namespace Ui {
class TForm1;
}

// The one-line credit of the status bar and the About box.
inline constexpr char kCreditLine[] = "Written by the Velpin developers";

class TForm1 : public QMainWindow {
    Q_OBJECT

  public:
    explicit TForm1(Prompter& prompter, QWidget* parent = nullptr);
    ~TForm1() override;

    // The handlers, connected to the menu, the tool buttons, the tree and the window.
    void FormCreate();
    void FormClose();
    void tvChange(TreeNode node);
    void Open1Click();
    void Saveas1Click();
    void Button1Click();
    void HelpContents1Click();
    void About1Click();

    // Loads the file at `path` (as the file system spells it) and shows it in the tree. A raised
    // load error passes through, with the cursor and the redrawing restored on the way out.
    void OpenMovie(const std::string& path);

    void SetBusyCursor();
    void SetDefaultCursor();
    // A modal box owned by the window with one OK button and no icon.
    void ShowMessage(const std::string& text, const std::string& caption);

    // The model behind the tree view tv.
    TreeModel& Tree() { return *treeModel_; }

  private:
    // Releases the document's items and FileBytes when the window goes.
    ScopedMovie movieOwner_;

  public:
    // The window's unit-level state.
    CInputScript& Movie = movieOwner_.movie;
    FrameNodeTable FrameNodes;
    TreeNode SelectedNode = kNoNode;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Runs a handler's body; an error escaping it goes to the application's error box, with the
    // default cursor back, and the window goes on.
    template <typename Body>
    void RunHandler(Body&& body);
    std::unique_ptr<FileDialog> OpenDialog();
    std::unique_ptr<FileDialog> SaveDialog();
    // Runs a file dialog, started in the loaded movie's folder, else in the last folder used,
    // with the name chosen last in `lastName` selected. The dialog goes when it closes, and with
    // it its watching of the folders it showed.
    std::optional<QString> RunFileDialog(std::unique_ptr<FileDialog> dialog, QString& lastName);
    // After Open the keyboard is on the tree, as it is after start: the tool buttons never take it.
    void FocusTree();
    void CentreOnScreen();
    // What Alt alone does: the menu bar takes the keyboard, its first menu highlighted.
    void FocusMenuBar();

    std::unique_ptr<Ui::TForm1> ui;
    Prompter& prompter_;
    TreeModel* treeModel_;
    // The folder of the path chosen last in either dialog; empty before the first.
    QString lastFolder_;
    // The file name chosen last in each dialog, selected when it opens again.
    QString lastOpenName_;
    QString lastSaveName_;
    bool busy_ = false;
    bool placed_ = false;
};
