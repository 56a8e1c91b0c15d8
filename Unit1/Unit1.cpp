#include "Unit1/Unit1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QMessageBox>
#include <QScreen>
#include <QShortcut>
#include <QStyle>
#include <QWindow>
#include <vector>

#include "Unit1/ErrorBox.h"
#include "Unit1/FileDialog.h"
#include "Unit1/Prompter.h"
#include "Unit1/TreeColumnFitter.h"
#include "Unit1/TreeModel.h"
#include "Unit1/VelpinApplication.h"
#include "Unit1/presentation/BuildMovieTree.h"
#include "Unit1/presentation/DeleteTag.h"
#include "Unit1/presentation/MessageTexts.h"
#include "swfff/errors.h"
#include "swfff/loader.h"
#include "swfff/writer.h"
#include "ui_Unit1.h"

namespace {

// The client area, below the menu bar.
constexpr int kClientWidth = 594;
constexpr int kClientHeight = 477;
// Widths of the tree's panel and the right-hand panel, either side of the 4-pixel splitter.
constexpr int kTreePanelWidth = 452;
constexpr int kRightPanelWidth = 138;
constexpr int kImageCount = 6;

constexpr char kStatusText[] = "[STILL IN DEVELOPMENT - NOT EVEN ALPHA]";
constexpr char kSwfFilter[] = "Shockwave Flash (*.swf)";
// "*" is the pattern that matches every file here; "*.*" would miss names without a dot.
constexpr char kAllFilesFilter[] = "All files (*)";

// fontconfig hides this face as bitmap-only, so it is loaded by path.
constexpr char kWindowFontFile[] = "/usr/share/wine/fonts/ms_sans_serif.ttf";
// 8 point at the design resolution of 96 pixels per inch.
constexpr int kWindowFontPixels = 11;

QFont WindowFont() {
    static const QString family = [] {
        if (!QFile::exists(QString::fromLatin1(kWindowFontFile))) {
            return QString();
        }
        const int id = QFontDatabase::addApplicationFont(QString::fromLatin1(kWindowFontFile));
        const QStringList families =
            id < 0 ? QStringList() : QFontDatabase::applicationFontFamilies(id);
        return families.isEmpty() ? QString() : families.first();
    }();
    QFont font(family.isEmpty() ? QStringLiteral("Sans Serif") : family);
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(kWindowFontPixels);
    return font;
}

std::vector<QPixmap> ImageList1() {
    std::vector<QPixmap> images;
    for (int i = 0; i < kImageCount; ++i) {
        images.emplace_back(QStringLiteral(":/images/list%1.xpm").arg(i));
    }
    return images;
}

std::string FileSystemPath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

// The busy cursor and the view's suspended redrawing while a movie is opened, both given back
// however the opening ends, the cursor first.
class OpeningScope {
  public:
    OpeningScope(TForm1& form, NodeView& view) : form_(form), view_(view) {
        form_.SetBusyCursor();
        view_.BeginUpdate();
    }
    OpeningScope(const OpeningScope&) = delete;
    OpeningScope& operator=(const OpeningScope&) = delete;
    ~OpeningScope() {
        form_.SetDefaultCursor();
        view_.EndUpdate();
    }

  private:
    TForm1& form_;
    NodeView& view_;
};

// The view's reset around the building of a new tree, ended however the building ends: the view
// meets the tree once it is whole.
class ViewReset {
  public:
    explicit ViewReset(NodeView& view) : view_(view) { view_.WillReset(); }
    ViewReset(const ViewReset&) = delete;
    ViewReset& operator=(const ViewReset&) = delete;
    ~ViewReset() { view_.DidReset(); }

  private:
    NodeView& view_;
};

}  // namespace

TForm1::TForm1(Prompter& prompter, QWidget* parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::TForm1>()), prompter_(prompter) {
    // The pictures live in a static library; naming them here keeps the linker from dropping them.
    Q_INIT_RESOURCE(images);
    ui->setupUi(this);
    setWindowTitle(QString::fromLatin1(kApplicationTitle));
    setFont(WindowFont());
    ui->StatusBar1->showMessage(QString::fromLatin1(kStatusText) + QLatin1Char(' ') +
                                QString::fromLatin1(kCreditLine));

    // Made after the layout, so that the view goes before its model when the window goes.
    treeModel_ = new TreeModel(this);
    treeModel_->SetImageList(ImageList1());
    ui->tv->setModel(treeModel_);
    ui->tv->setSelectionModel(treeModel_->Selection());
    connect(treeModel_, &TreeModel::ExpandRequested, ui->tv, &QTreeView::expand);
    connect(treeModel_, &TreeModel::RedrawSuspended, ui->tv,
            [this](bool suspended) { ui->tv->setUpdatesEnabled(!suspended); });
    new TreeColumnFitter(*ui->tv, *treeModel_);
    connect(treeModel_, &TreeModel::SelectionChanged, this, &TForm1::tvChange);

    connect(ui->Open1, &QAction::triggered, this, &TForm1::Open1Click);
    connect(ui->SpeedButton4, &QToolButton::clicked, this, &TForm1::Open1Click);
    connect(ui->Saveas1, &QAction::triggered, this, &TForm1::Saveas1Click);
    connect(ui->SpeedButton2, &QToolButton::clicked, this, &TForm1::Saveas1Click);
    connect(ui->SpeedButton3, &QToolButton::clicked, this, &TForm1::Button1Click);
    connect(ui->Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
    connect(ui->HelpContents1, &QAction::triggered, this, &TForm1::HelpContents1Click);
    connect(ui->SpeedButton1, &QToolButton::clicked, this, &TForm1::HelpContents1Click);
    connect(ui->About1, &QAction::triggered, this, &TForm1::About1Click);
    // The window's key, not a menu item's: F10 reaches the menu bar as Alt does.
    connect(new QShortcut(QKeySequence(Qt::Key_F10), this), &QShortcut::activated, this,
            &TForm1::FocusMenuBar);

    resize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
    ui->Splitter1->setSizes({kTreePanelWidth, kRightPanelWidth});
    FormCreate();
}

TForm1::~TForm1() {
    treeModel_->disconnect(this);
}

void TForm1::FocusTree() {
    ui->tv->setFocus(Qt::OtherFocusReason);
}

void TForm1::showEvent(QShowEvent* event) {
    // Placed when it first opens. The window manager's frame is known only once the window is on
    // screen, so it is placed again then, by its outer frame.
    if (!placed_) {
        placed_ = true;
        CentreOnScreen();
        windowHandle()->installEventFilter(this);
    }
    QMainWindow::showEvent(event);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == windowHandle() && event->type() == QEvent::Expose) {
        watched->removeEventFilter(this);
        if (frameGeometry() != geometry()) {
            CentreOnScreen();
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::CentreOnScreen() {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect centred = QStyle::alignedRect(
            Qt::LeftToRight, Qt::AlignCenter, frameGeometry().size(), screen->availableGeometry());
        move(centred.topLeft());
    }
}

void TForm1::FocusMenuBar() {
    // The menu bar enters its keyboard mode only on a tap of Alt, which it watches the window
    // for; F10 hands it one, as the platform delivers it.
    QKeyEvent altOverride(QEvent::ShortcutOverride, Qt::Key_Alt, Qt::AltModifier);
    QCoreApplication::sendEvent(this, &altOverride);
    QKeyEvent altPressed(QEvent::KeyPress, Qt::Key_Alt, Qt::AltModifier);
    QCoreApplication::sendEvent(this, &altPressed);
    QKeyEvent altReleased(QEvent::KeyRelease, Qt::Key_Alt, Qt::NoModifier);
    QCoreApplication::sendEvent(this, &altReleased);
}

template <typename Body>
void TForm1::RunHandler(Body&& body) {
    try {
        body();
    } catch (...) {
        SetDefaultCursor();
        ShowErrorBoxForCurrentException(prompter_, this);
    }
}

void TForm1::FormCreate() {
    SelectedNode = kNoNode;
}

void TForm1::FormClose() {
    RunHandler([this] {
        FreeMovieBytes();
        // The items pointed into the released bytes; nothing may save them now.
        Movie.Loaded = false;
    });
}

void TForm1::closeEvent(QCloseEvent* event) {
    FormClose();
    QMainWindow::closeEvent(event);
}

void TForm1::tvChange(TreeNode node) {
    RunHandler([&] { TrackSelection(*treeModel_, node, SelectedNode); });
}

void TForm1::Open1Click() {
    RunHandler([this] {
        const std::optional<QString> path = RunFileDialog(OpenDialog(), lastOpenName_);
        if (path) {
            OpenMovie(FileSystemPath(*path));
            FocusTree();
        }
    });
}

void TForm1::OpenMovie(const std::string& path) {
    NodeStore& tv = treeModel_->Store();
    NodeView& view = *treeModel_;
    const OpeningScope opening(*this, view);
    ClearShown(tv, view);
    // The table would otherwise hold nodes of the tree just cleared.
    FrameNodes.clear();
    if (LoadMovieFile(Movie, path) != loadOk) {
        // The message is read with the default cursor, over the tree still held back.
        SetDefaultCursor();
        ShowMessage(kOpenFailedText, kApplicationTitle);
        Movie.Loaded = false;
        return;
    }
    TreeNode root;
    {
        const ViewReset reset(view);
        root = BuildMovieTree(Movie, tv, FrameNodes);
    }
    view.Select(root);
    view.ExpandOneLevel(root);
}

void TForm1::Saveas1Click() {
    RunHandler([this] {
        if (!Movie.Loaded) {
            return;
        }
        const std::optional<QString> path = RunFileDialog(SaveDialog(), lastSaveName_);
        if (!path) {
            return;
        }
        SetBusyCursor();
        const std::int32_t result = SaveMovieFile(Movie, FileSystemPath(*path));
        SetDefaultCursor();
        if (result != 0) {
            ShowMessage(kSaveFailedText, kApplicationTitle);
        }
    });
}

void TForm1::Button1Click() {
    RunHandler(
        [this] { DeleteSelectedTag(Movie, treeModel_->Store(), *treeModel_, SelectedNode); });
}

void TForm1::HelpContents1Click() {
    RunHandler([this] { ShowMessage("Not available!", "Not even alpha!"); });
}

void TForm1::About1Click() {
    RunHandler([this] { ShowMessage(kCreditLine, "Velpin [Dev. Build 1] (Not even alpha!)"); });
}

std::optional<QString> TForm1::RunFileDialog(std::unique_ptr<FileDialog> dialog,
                                             QString& lastName) {
    const QString folder =
        Movie.Loaded
            ? QFileInfo(QFile::decodeName(QByteArray::fromStdString(Movie.FileName))).absolutePath()
            : lastFolder_;
    if (!folder.isEmpty()) {
        dialog->setDirectory(folder);
    }
    if (!lastName.isEmpty()) {
        dialog->selectFile(lastName);
    }
    std::optional<QString> path = prompter_.RunFileDialog(*dialog);
    if (path) {
        const QFileInfo chosen(*path);
        lastFolder_ = chosen.absolutePath();
        lastName = chosen.fileName();
    }
    return path;
}

std::unique_ptr<FileDialog> TForm1::OpenDialog() {
    auto dialog = std::make_unique<FileDialog>(prompter_, this);
    dialog->setObjectName(QStringLiteral("dOpen1"));
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setNameFilters({QString::fromLatin1(kSwfFilter), QString::fromLatin1(kAllFilesFilter)});
    dialog->selectNameFilter(QString::fromLatin1(kSwfFilter));
    return dialog;
}

std::unique_ptr<FileDialog> TForm1::SaveDialog() {
    auto dialog = std::make_unique<FileDialog>(prompter_, this);
    dialog->setObjectName(QStringLiteral("dSave1"));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setNameFilter(QString::fromLatin1(kSwfFilter));
    dialog->setDefaultSuffix(QStringLiteral("swf"));
    dialog->setOption(QFileDialog::DontConfirmOverwrite, false);
    dialog->setWindowTitle(QStringLiteral("Save As"));
    return dialog;
}

void TForm1::SetBusyCursor() {
    if (!busy_) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        busy_ = true;
    }
}

void TForm1::SetDefaultCursor() {
    if (busy_) {
        QApplication::restoreOverrideCursor();
        busy_ = false;
    }
}

void TForm1::ShowMessage(const std::string& text, const std::string& caption) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(caption),
                    QString::fromStdString(text), QMessageBox::Ok, this);
    prompter_.RunMessageBox(box);
}
