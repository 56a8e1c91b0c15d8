// Velpin on the six worst shapes of a 4 MiB movie (worst_movies.h). Prints one
// table: per shape the load, `velpin-cli tree` into /dev/null, the window's open until its tree
// is painted (offscreen), and the save with its fsync, each with its peak resident memory; and
// for the shape of one huge sprite, the deletion of the sprite's node in the window.
//
// Usage: bench_shapes [repetitions] [shape letters]   (defaults: 3, abcdef)
//
// Each measure runs in a process of its own, this program again or velpin-cli, so that each peak
// is that measure's own. Times are the median of the repetitions; peaks the largest.
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QTreeView>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Unit1/TreeModel.h"
#include "Unit1/Unit1.h"
#include "Unit1/VelpinApplication.h"
#include "bench/figures.h"
#include "bench/window_driver.h"
#include "bench/worst_movies.h"
#include "swfff/loader.h"
#include "swfff/writer.h"
#include "tests/support/movie_builder.h"
#include "tests/support/run_program.h"

namespace {

using namespace testmovie;
using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// --- The measures, each run in a child process; each prints its seconds on standard output.

int MeasureLoad(const std::string& movie) {
    CInputScript script;
    const auto start = Clock::now();
    const std::int32_t result = LoadMovieFile(script, movie);
    std::printf("%.6f\n", SecondsSince(start));
    return result == loadOk ? 0 : 1;
}

int MeasureSave(const std::string& movie, const std::string& saved) {
    CInputScript script;
    if (LoadMovieFile(script, movie) != loadOk) {
        return 1;
    }
    const auto start = Clock::now();
    const std::int32_t result = SaveMovieFile(script, saved);
    std::printf("%.6f\n", SecondsSince(start));
    return result == 0 ? 0 : 1;
}

// Opens the movie in the window until painted; with `deleteSprite`, then selects the first tag
// of frame 0 (the sprite of shape c) and times Delete Tag until painted again.
int MeasureWindow(int& argc, char** argv, const std::string& movie, bool deleteSprite) {
    DrivenWindow window(argc, argv);
    TForm1& form = window.form;
    QTreeView* tv = &window.tv;
    PaintWatcher& watcher = window.watcher;
    window.prompter.path = QString::fromStdString(movie);
    auto start = Clock::now();
    form.Open1Click();
    watcher.UntilPainted();
    std::printf("%.6f", SecondsSince(start));
    if (deleteSprite) {
        const QAbstractItemModel& tree = *tv->model();
        const QModelIndex frame0 = tree.index(1, 0, tree.index(0, 0));
        tv->selectionModel()->setCurrentIndex(tree.index(0, 0, frame0),
                                              QItemSelectionModel::ClearAndSelect);
        watcher.UntilPainted();
        start = Clock::now();
        form.Button1Click();
        watcher.UntilPainted();
        std::printf(" %.6f", SecondsSince(start));
    }
    std::printf("\n");
    return form.Movie.Loaded ? 0 : 1;
}

// --- The parent: runs each measure, collects its figures.

struct Measure {
    std::vector<double> seconds;
    std::vector<double> extraSeconds;
    double peakMegabytes = 0;
    bool failed = false;
};

double Median(const std::vector<double>& values) {
    return values.empty() ? -1 : Summarize(values).median;
}

// Runs `argv`; when `timed` the wall time of the whole run counts, else what it printed.
void RunMeasure(const std::vector<std::string>& argv, const std::string& scratch, bool timed,
                Measure& figures) {
    const std::string out = scratch + "/measure.out";
    struct rusage usage {};
    const auto start = Clock::now();
    const int status = RunProgram(argv, timed ? "/dev/null" : out, "/dev/null", &usage);
    const double wall = SecondsSince(start);
    figures.peakMegabytes = std::max(figures.peakMegabytes, usage.ru_maxrss / 1024.0);
    if (status != 0) {
        figures.failed = true;
        return;
    }
    if (timed) {
        figures.seconds.push_back(wall);
        return;
    }
    const Bytes printed = ReadFile(out);
    double seconds = 0;
    double extra = 0;
    const int got = std::sscanf(AsText(printed).c_str(), "%lf %lf", &seconds, &extra);
    figures.seconds.push_back(seconds);
    if (got == 2) {
        figures.extraSeconds.push_back(extra);
    }
}

std::string Cell(const Measure& figures) {
    char text[48];
    if (figures.failed) {
        return "failed";
    }
    std::snprintf(text, sizeof text, "%6.3f s %5.0f MB", Median(figures.seconds),
                  figures.peakMegabytes);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::string(argv[1]) == "--load") {
        return MeasureLoad(argv[2]);
    }
    if (argc >= 4 && std::string(argv[1]) == "--save") {
        return MeasureSave(argv[2], argv[3]);
    }
    if (argc >= 3 && std::string(argv[1]) == "--window") {
        return MeasureWindow(argc, argv, argv[2], argc >= 4);
    }

    const int repetitions = argc >= 2 ? std::max(1, std::atoi(argv[1])) : 3;
    const std::string shapes = argc >= 3 ? argv[2] : "abcdef";
    const std::string self = "/proc/self/exe";
    char selfPath[4096];
    const ssize_t length = ::readlink(self.c_str(), selfPath, sizeof selfPath - 1);
    if (length <= 0) {
        std::fprintf(stderr, "cannot find this program\n");
        return 1;
    }
    const std::string program(selfPath, static_cast<std::size_t>(length));

    std::printf("%d repetitions; median time, largest peak resident memory\n", repetitions);
    std::printf("%-5s %-50s %-17s %-17s %-17s %-17s %s\n", "shape", "movie", "load",
                "velpin-cli tree", "window open", "save", "delete");
    TempDir dir;
    for (const char shape : shapes) {
        // A measure's peak counts this program's own memory at the moment it starts the measure,
        // so each movie is made, written and let go before its measures run.
        std::string name;
        std::string description;
        std::string path;
        for (const WorstMovie& movie : WorstMovies(std::string(1, shape))) {
            name = movie.name;
            description = movie.shape;
            path = dir.Write(name + ".swf", movie.bytes);
        }
        if (path.empty()) {
            continue;
        }
        ::malloc_trim(0);
        const std::string saved = dir.File(name + "-saved.swf");
        const bool deletes = name == "c";
        Measure load, tree, window, save;
        for (int i = 0; i < repetitions; ++i) {
            RunMeasure({program, "--load", path}, dir.Path(), false, load);
            RunMeasure({VELPIN_CLI_PATH, "tree", path}, dir.Path(), true, tree);
            std::vector<std::string> windowArgs{program, "--window", path};
            if (deletes) {
                windowArgs.push_back("--delete");
            }
            RunMeasure(windowArgs, dir.Path(), false, window);
            RunMeasure({program, "--save", path, saved}, dir.Path(), false, save);
        }
        char deleted[32] = "";
        if (deletes && !window.extraSeconds.empty()) {
            std::snprintf(deleted, sizeof deleted, "%.1f ms", Median(window.extraSeconds) * 1e3);
        }
        std::printf("%-5s %-50s %-17s %-17s %-17s %-17s %s\n", name.c_str(), description.c_str(),
                    Cell(load).c_str(), Cell(tree).c_str(), Cell(window).c_str(),
                    Cell(save).c_str(), deleted);
        std::fflush(stdout);
    }
    std::printf(
        "targets: window open <= 0.5 s and 250 MB; tree <= 1.0 s and 300 MB; "
        "save <= 0.2 s; delete <= 50 ms\n");
    return 0;
}
