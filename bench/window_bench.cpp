// Opens a 4 MiB movie of about 2,100,000 tags in the main window (offscreen) until the tree is
// built and painted, then deletes a sprite of 100,000 nested tags; then expands everything below
// the root with "*", after timing Qt's own recursive expand against it on smaller movies. Prints
// the times and the peak resident memory. Targets on the project's 2-core machine: open under
// 1.0 s and 250 MB, delete under 50 ms, "*" on the 4 MiB movie's root under 2 s.
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTreeView>
#include <cstdio>
#include <string>

#include "Unit1/TreeModel.h"
#include "Unit1/Unit1.h"
#include "Unit1/VelpinApplication.h"
#include "bench/window_driver.h"
#include "tests/support/movie_builder.h"

namespace {

using namespace testmovie;

constexpr int kSpriteTags = 100000;  // the End included
constexpr std::int64_t kLargestMovie = 4194304;
constexpr int kTagsPerFrame = 1000;

// Header, a sprite of kSpriteTags nested tags as the first tag, then two-byte tags up to 4 MiB
// with a ShowFrame every kTagsPerFrame tags, and the End.
Bytes BigMovie() {
    Bytes spriteContents;
    for (int i = 0; i < kSpriteTags - 1; ++i) {
        Append(spriteContents, Tag(static_cast<std::uint16_t>(2 + i % 37)));
    }
    Append(spriteContents, End());
    const Bytes sprite = Sprite(spriteContents);

    HeaderSpec spec;
    const std::size_t headerBytes = Header(spec, 0).size();
    const std::size_t tagCount = (kLargestMovie - headerBytes - sprite.size()) / 2;
    Bytes tags = sprite;
    tags.reserve(kLargestMovie);
    int frames = 0;
    for (std::size_t i = 0; i + 1 < tagCount; ++i) {
        if (i % kTagsPerFrame == kTagsPerFrame - 1) {
            Append(tags, ShowFrame());
            ++frames;
        } else {
            Append(tags, Tag(static_cast<std::uint16_t>(2 + i % 37)));
        }
    }
    Append(tags, End());
    spec.frameCount = static_cast<std::uint16_t>(frames);
    return Movie(spec, tags);
}

// `tagCount` two-byte tags and the End, all in frame 0: the most nodes under one parent.
Bytes MinimalTagsMovie(std::size_t tagCount) {
    Bytes tags;
    tags.reserve(2 * tagCount + 2);
    for (std::size_t i = 0; i < tagCount; ++i) {
        Append(tags, Tag(9));
    }
    Append(tags, End());
    return Movie(HeaderSpec{}, tags);
}

// The most two-byte tags that fit beside the header and the End in the largest movie.
std::size_t MostMinimalTags() {
    return (kLargestMovie - Header(HeaderSpec{}, 0).size() - End().size()) / 2;
}

double PeakRssMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// Opens `path`, then expands everything below the root with "*" on the selected root, either the
// window's or Qt's own (QTreeView::keyPressEvent: a recursive expand, then a keyboard search for
// the text typed); returns the milliseconds until the tree has painted.
double ExpandEverythingMs(TForm1& form, AnsweringPrompter& prompter, PaintWatcher& watcher,
                          const std::string& path, bool qtsOwn) {
    auto* tv = form.findChild<QTreeView*>(QStringLiteral("tv"));
    prompter.path = QString::fromStdString(path);
    form.Open1Click();
    watcher.UntilPainted();
    QElapsedTimer timer;
    timer.start();
    if (qtsOwn) {
        tv->expandRecursively(tv->currentIndex());
        tv->keyboardSearch(QStringLiteral("*"));
    } else {
        QKeyEvent star(QEvent::KeyPress, Qt::Key_Asterisk, Qt::NoModifier, QStringLiteral("*"));
        QCoreApplication::sendEvent(tv, &star);
    }
    watcher.UntilPainted();
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    TempDir dir;
    const std::string path = dir.Write("big.swf", BigMovie());

    DrivenWindow window(argc, argv);
    AnsweringPrompter& prompter = window.prompter;
    TForm1& form = window.form;
    QTreeView* tv = &window.tv;
    PaintWatcher& watcher = window.watcher;
    std::printf("window shown, empty: peak RSS %.1f MB\n", PeakRssMegabytes());

    prompter.path = QString::fromStdString(path);
    QElapsedTimer timer;
    timer.start();
    form.Open1Click();
    const double builtMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    const double paintedMs = builtMs + watcher.UntilPainted();
    std::size_t items = 0;
    for (const TagItem* item = form.Movie.FirstTag; item != nullptr; item = item->Next) {
        ++items;
    }
    std::printf(
        "open of %lld bytes, %zu tag items: tree built in %.0f ms, painted at %.0f ms; "
        "peak RSS %.1f MB\n",
        static_cast<long long>(FileBytesLength), items, builtMs, paintedMs, PeakRssMegabytes());

    // The sprite is the first tag of frame 0.
    for (const bool spriteExpanded : {false, true}) {
        if (spriteExpanded) {
            form.Open1Click();
            watcher.UntilPainted();
        }
        TreeModel& tree = form.Tree();
        const QModelIndex frame0 = tree.index(1, 0, tree.index(0, 0));
        const QModelIndex sprite = tree.index(0, 0, frame0);
        tv->expand(frame0);
        if (spriteExpanded) {
            tv->expand(sprite);
        }
        tv->selectionModel()->setCurrentIndex(sprite, QItemSelectionModel::ClearAndSelect);
        watcher.UntilPainted();
        const int rowsBefore = tree.rowCount(frame0);
        const int nestedBefore = tree.rowCount(sprite);
        const bool shownExpanded = tv->isExpanded(sprite);

        timer.restart();
        form.Button1Click();
        const double deleteMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        const double deletePaintedMs = deleteMs + watcher.UntilPainted();
        std::printf(
            "delete of the sprite node with %d nested nodes (%s): %.1f ms, painted at "
            "%.1f ms; frame 0 went from %d to %d nodes\n",
            nestedBefore, shownExpanded ? "expanded" : "collapsed", deleteMs, deletePaintedMs,
            rowsBefore, tree.rowCount(frame0));
    }

    std::printf("\"*\" on the root, Qt's own and the window's:\n");
    for (const std::size_t tagCount :
         {std::size_t{20000}, std::size_t{80000}, std::size_t{320000}, MostMinimalTags()}) {
        const std::string minimal =
            dir.Write("minimal" + std::to_string(tagCount) + ".swf", MinimalTagsMovie(tagCount));
        const double qtMs = ExpandEverythingMs(form, prompter, watcher, minimal, true);
        const double windowMs = ExpandEverythingMs(form, prompter, watcher, minimal, false);
        std::printf("  %7zu minimal tags in one frame: Qt's %6.0f ms, the window's %4.0f ms\n",
                    tagCount, qtMs, windowMs);
    }
    const double bigMs = ExpandEverythingMs(form, prompter, watcher, path, false);
    std::printf("  the movie above (%zu tags, a sprite, %d tags a frame): the window's %.0f ms\n",
                items, kTagsPerFrame, bigMs);
    std::printf("peak RSS at the end %.1f MB\n", PeakRssMegabytes());
    return 0;
}
