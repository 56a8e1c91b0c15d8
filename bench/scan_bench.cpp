// Times `velpin-cli scan` as a user runs it, and prints the figures:
//   - a folder of 2,000 small movies, two thirds of them compressed as real collections are,
//     scanned with --jobs 1 and --jobs 2 (runs alternate, so both see the same machine load);
//   - `velpin-cli inflate` over the same compressed files, one process per file;
//   - `scan` against `tags` on one 4 MiB movie of two million tags, plain and compressed;
//   - 2,000 movies, half of them CWS, loose against the same movies in a zip and in a WARC
//     (gzip per record), with --jobs 1 and 2, and with --hash sha256 against without;
//   - 2,000 movies that each reference five files, in a zip that holds half of those files:
//     --deps against --info on the zip, and --nested against neither on the same movies loose;
//   - velpin-dask on a local cluster of 2 workers over those 2,000 movies ten times over (20,000
//     paths, hard links), against one scan --jobs 2 over the same manifest; the cluster's
//     start-up, which velpin-dask reports apart, is not counted.
//
// Usage: bench_scan [repetitions] [folder] [baseline]   (with a folder, the collection is written
// there and the loose movies, the zip and the WARC in folder.containers, and kept, so that scans
// can be tried on them by hand; "" for none. With a baseline velpin-cli, from the build before a
// change, only the scans of the collection and of the containers are timed, each taking turns
// with the baseline's.)
//        bench_scan deps [repetitions] [folder]   (only the --deps and --nested figures; with a
//        folder, the movies and the zip are written there and kept)
//        bench_scan dask [repetitions]   (only the velpin-dask figures)
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "bench/figures.h"
#include "bench/worst_movies.h"
#include "codec/swfcodec.h"
#include "tests/support/container_builder.h"
#include "tests/support/movie_builder.h"
#include "tests/support/run_program.h"

using namespace velpin;

namespace {

using namespace testmovie;
using Clock = std::chrono::steady_clock;

constexpr int kMovies = 2000;
constexpr double kMegabyte = 1e6;

Bytes Packed(const Bytes& movie, MovieCompression method) {
    Bytes packed;
    CompressMovie(movie.data(), movie.size(), method, [&](const std::uint8_t* p, std::size_t n) {
        packed.insert(packed.end(), p, p + n);
    });
    return packed;
}

// 10 to 60 KB: a bitmap-like block that hardly compresses and shape-like records that do, in
// frames of a few tags, which is roughly how small real movies are made.
Bytes SmallMovie(int index, std::uint32_t& seed, const Bytes& firstTags = {}) {
    const std::size_t target = 10000 + static_cast<std::size_t>(index * 7919 % 50000);
    Bytes tags = firstTags;
    std::uint16_t record = 0;
    while (tags.size() < target) {
        Append(tags, Tag(21, Noise(1500, seed), true));
        Bytes shapes;
        while (shapes.size() < 3000) {
            Append(shapes, Cat({U16(record), U16(static_cast<std::uint16_t>(record * 3 % 500)),
                                U32(0x00FF0000u | record % 17)}));
            ++record;
        }
        Append(tags,
               Cat({Tag(2, shapes, true), Tag(26, {0x06, 0x01, 0x00, 0x01, 0x00}), ShowFrame()}));
    }
    Append(tags, End());
    return Movie(tags);
}

double Seconds(const std::function<void()>& run) {
    const auto start = Clock::now();
    run();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void RunCli(const std::vector<std::string>& args, int expectedStatus,
            const std::string& program = VELPIN_CLI_PATH) {
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), args.begin(), args.end());
    const int status = RunProgram(argv, "/dev/null", "/dev/null");
    if (status != expectedStatus) {
        std::printf("velpin-cli %s exited with %d\n", args.front().c_str(), status);
        std::exit(1);
    }
}

// Times each command `repetitions` times, taking turns, so that a change in the machine's load
// falls on all of them alike.
// With `baseline`, each command is run by that velpin-cli too, right after this build's, and its
// figures follow this build's: the figures of command i are at 2i and 2i + 1.
std::vector<Figures> TimeSideBySide(const std::vector<std::vector<std::string>>& commands,
                                    int expectedStatus, int repetitions,
                                    const std::string& baseline = "") {
    std::vector<std::string> programs{VELPIN_CLI_PATH};
    if (!baseline.empty()) {
        programs.push_back(baseline);
    }
    std::vector<std::vector<double>> seconds(commands.size() * programs.size());
    for (int run = 0; run < repetitions; ++run) {
        for (std::size_t i = 0; i < seconds.size(); ++i) {
            seconds[i].push_back(Seconds([&]() {
                RunCli(commands[i / programs.size()], expectedStatus,
                       programs[i % programs.size()]);
            }));
        }
    }
    std::vector<Figures> figures;
    for (const std::vector<double>& times : seconds) {
        figures.push_back(Summarize(times));
    }
    return figures;
}

void PrintRun(const char* what, const Figures& f) {
    std::printf("  %-32s median %.3f s (best %.3f, worst %.3f)\n", what, f.median, f.best, f.worst);
}

// The same 2,000 movies, every other one CWS, as loose files, in a zip and in a WARC; timed
// unless `repetitions` is 0.
void ContainerFigures(const std::string& base, int repetitions) {
    using namespace testcontainer;
    const std::string folder = base + "/loose";
    RunProgram({"/bin/mkdir", "-p", folder}, "/dev/null", "/dev/null");
    std::vector<Member> members;
    std::vector<WarcRecord> records;
    std::uint32_t seed = 777;
    for (int i = 0; i < kMovies; ++i) {
        const Bytes movie = SmallMovie(i, seed);
        const Bytes file = i % 2 == 0 ? movie : Packed(movie, MovieCompression::Zlib);
        char name[32];
        std::snprintf(name, sizeof name, "content/m%04d.swf", i);
        WriteFile(folder + "/" + (name + 8), file);
        members.push_back({name, file});
        records.push_back({"response", std::string("http://example.com/") + name,
                           HttpResponse({"Content-Type: application/x-shockwave-flash",
                                         "Content-Length: " + std::to_string(file.size())},
                                        file)});
    }
    const std::string zip = base + "/movies.zip";
    WriteFile(zip, Archive(ArchiveFormat::Zip, members));
    const std::string warc = base + "/movies.warc.gz";
    WriteFile(warc, Warc(records, true));
    if (repetitions == 0) {
        return;
    }
    std::printf("%d movies, half CWS, loose / in a zip / in a WARC.gz; %d runs each:\n", kMovies,
                repetitions);
    const std::vector<std::vector<std::string>> commands{
        {"scan", "--inflate", "--jobs", "1", folder},
        {"scan", "--inflate", "--jobs", "1", zip},
        {"scan", "--inflate", "--jobs", "1", warc},
        {"scan", "--inflate", "--jobs", "2", folder},
        {"scan", "--inflate", "--jobs", "2", zip},
        {"scan", "--inflate", "--jobs", "2", warc},
        {"scan", "--inflate", "--jobs", "1", "--hash", "sha256", folder},
        {"scan", "--inflate", "--jobs", "2", "--hash", "sha256", folder},
    };
    const std::vector<Figures> f = TimeSideBySide(commands, 0, repetitions);
    const char* const names[] = {
        "loose --jobs 1", "zip --jobs 1",  "warc --jobs 1",           "loose --jobs 2",
        "zip --jobs 2",   "warc --jobs 2", "loose --hash sha256 -j1", "loose --hash sha256 -j2"};
    for (std::size_t i = 0; i < f.size(); ++i) {
        PrintRun(names[i], f[i]);
    }
    std::printf("  zip / loose: %.2f with --jobs 1, %.2f with --jobs 2 (target: at most 1.30)\n",
                f[1].median / f[0].median, f[4].median / f[3].median);
    std::printf("  --jobs 1 / --jobs 2: zip %.2fx, warc %.2fx (target: at least 1.70x)\n",
                f[1].median / f[4].median, f[2].median / f[5].median);
    std::printf(
        "  --hash sha256 adds %.0f%% with --jobs 1, %.0f%% with --jobs 2 (target: at most "
        "25%%)\n",
        100 * (f[6].median / f[0].median - 1), 100 * (f[7].median / f[3].median - 1));
}

// A game archive: every movie names five files beside it, and the zip holds two or three of them.
void DepsAndNestedFigures(const std::string& base, int repetitions) {
    using namespace testcontainer;
    const std::string folder = base + "/referencing";
    RunProgram({"/bin/mkdir", "-p", folder}, "/dev/null", "/dev/null");
    std::vector<Member> members;
    std::uint32_t seed = 4242;
    std::size_t held = 0;
    for (int i = 0; i < kMovies; ++i) {
        Bytes pushes;
        std::vector<std::string> files;
        for (int k = 0; k < 5; ++k) {
            char file[32];
            std::snprintf(file, sizeof file, "assets/m%04d_%d.png", i, k);
            files.push_back(file);
            Append(pushes, Action(0x96, Cat({{0}, CString(file)})));
        }
        Append(pushes, {0});
        const Bytes movie = Packed(SmallMovie(i, seed, DoAction(pushes)), MovieCompression::Zlib);
        char name[32];
        std::snprintf(name, sizeof name, "content/m%04d.swf", i);
        members.push_back({name, movie});
        WriteFile(folder + "/" + (name + 8), movie);
        for (int k = 0; k < (i % 2 == 0 ? 3 : 2); ++k) {
            members.push_back({"content/" + files[k], {'P', 'N', 'G'}});
            ++held;
        }
    }
    const std::string zip = base + "/referencing.zip";
    WriteFile(zip, Archive(ArchiveFormat::Zip, members));
    std::printf(
        "%d CWS movies, each naming five files, %zu of them in the zip; %d runs each, "
        "default --jobs:\n",
        kMovies, held, repetitions);
    const std::vector<Figures> f = TimeSideBySide({{"scan", "--inflate", "--info", zip},
                                                   {"scan", "--inflate", "--deps", zip},
                                                   {"scan", "--inflate", folder},
                                                   {"scan", "--inflate", "--nested", folder}},
                                                  0, repetitions);
    PrintRun("zip --info", f[0]);
    PrintRun("zip --deps", f[1]);
    PrintRun("loose", f[2]);
    PrintRun("loose --nested", f[3]);
    std::printf("  --deps / --info: %.2f (target: at most 1.50)\n", f[1].median / f[0].median);
    std::printf("  --nested / without: %.3f (target: at most 1.05)\n", f[3].median / f[2].median);
}

// What two processors give at most: the loose movies scanned by two --jobs 1 scans at once, each
// over half of them, against one --jobs 1 scan of them all; and --jobs 2 against that pair.
void LooseCeiling(const std::string& loose, int repetitions) {
    std::string halves[2];
    for (int i = 0; i < kMovies; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/m%04d.swf\n", i);
        halves[i * 2 / kMovies] += loose + name;
    }
    const std::string lists[2] = {loose + ".first-half", loose + ".second-half"};
    for (int i = 0; i < 2; ++i) {
        WriteFile(lists[i], Bytes(halves[i].begin(), halves[i].end()));
    }
    std::vector<double> one;
    std::vector<double> pair;
    std::vector<double> two;
    for (int run = 0; run < repetitions; ++run) {
        one.push_back(Seconds([&]() { RunCli({"scan", "--inflate", "--jobs", "1", loose}, 0); }));
        pair.push_back(Seconds([&]() {
            std::thread other([&]() {
                RunCli({"scan", "--inflate", "--jobs", "1", "--files-from", lists[0]}, 0);
            });
            RunCli({"scan", "--inflate", "--jobs", "1", "--files-from", lists[1]}, 0);
            other.join();
        }));
        two.push_back(Seconds([&]() { RunCli({"scan", "--inflate", "--jobs", "2", loose}, 0); }));
    }
    const double oneMedian = Summarize(one).median;
    const double pairMedian = Summarize(pair).median;
    const double twoMedian = Summarize(two).median;
    std::printf(
        "  loose, this build: --jobs 1 %.3f, two --jobs 1 scans of half each at once %.3f "
        "(%.2fx), --jobs 2 %.3f (%.2fx)\n",
        oneMedian, pairMedian, oneMedian / pairMedian, twoMedian, oneMedian / twoMedian);
}

// The inflation targets, against the velpin-cli of the build before a change: this build's scans
// and the baseline's taking turns, so that both see the same machine.
void BaselineFigures(const std::string& baseline, const std::string& collection,
                     const std::string& containers, int repetitions) {
    const std::string loose = containers + "/loose";
    const std::string zip = containers + "/movies.zip";
    const std::string warc = containers + "/movies.warc.gz";
    const std::vector<std::vector<std::string>> commands{
        {"scan", "--inflate", "--jobs", "1", collection},
        {"scan", "--inflate", "--jobs", "2", collection},
        {"scan", "--inflate", "--jobs", "1", loose},
        {"scan", "--inflate", "--jobs", "2", loose},
        {"scan", "--inflate", "--jobs", "1", zip},
        {"scan", "--inflate", "--jobs", "2", zip},
        {"scan", "--inflate", "--jobs", "1", warc},
        {"scan", "--inflate", "--jobs", "2", warc},
    };
    const char* const names[] = {"collection --jobs 1", "collection --jobs 2", "loose --jobs 1",
                                 "loose --jobs 2",      "zip --jobs 1",        "zip --jobs 2",
                                 "warc.gz --jobs 1",    "warc.gz --jobs 2"};
    const std::vector<Figures> f = TimeSideBySide(commands, 0, repetitions, baseline);
    std::printf("against %s, %d runs each, medians in seconds (this build / baseline):\n",
                baseline.c_str(), repetitions);
    for (std::size_t i = 0; i < commands.size(); ++i) {
        std::printf("  %-22s %.3f / %.3f: %.2fx as fast\n", names[i], f[2 * i].median,
                    f[2 * i + 1].median, f[2 * i + 1].median / f[2 * i].median);
    }
    const auto ratio = [&f](std::size_t a, std::size_t b, std::size_t build) {
        return f[2 * a + build].median / f[2 * b + build].median;
    };
    LooseCeiling(loose, repetitions);
    for (std::size_t build = 0; build < 2; ++build) {
        std::printf(
            "  %s: zip / loose %.2f with --jobs 1, %.2f with --jobs 2 (target: at most 1.30); "
            "--jobs 1 / --jobs 2: collection %.2fx, loose %.2fx, zip %.2fx (target: at least "
            "1.70x)\n",
            build == 0 ? "this build" : "baseline", ratio(4, 2, build), ratio(5, 3, build),
            ratio(0, 1, build), ratio(2, 3, build), ratio(4, 5, build));
    }
}

struct Collection {
    std::vector<std::string> compressedFiles;
    std::size_t diskBytes = 0;
    std::size_t movieBytes = 0;
    std::size_t compressedBytes = 0;
    std::size_t compressedMovieBytes = 0;
    int cws = 0;
    int zws = 0;
};

// The 2,000 movies of the collection in `folder`, two of three compressed, one in a hundred with
// LZMA.
Collection WriteCollection(const std::string& folder) {
    Collection c;
    std::uint32_t seed = 12345;
    RunProgram({"/bin/mkdir", folder}, "/dev/null", "/dev/null");
    for (int i = 0; i < kMovies; ++i) {
        const Bytes movie = SmallMovie(i, seed);
        Bytes file = movie;
        if (i % 3 != 0) {
            const bool lzma = i % 100 == 1;
            file = Packed(movie, lzma ? MovieCompression::Lzma : MovieCompression::Zlib);
            (lzma ? c.zws : c.cws) += 1;
            c.compressedBytes += file.size();
            c.compressedMovieBytes += movie.size();
        }
        char name[32];
        std::snprintf(name, sizeof name, "/m%04d.swf", i);
        WriteFile(folder + name, file);
        if (i % 3 != 0) {
            c.compressedFiles.push_back(folder + name);
        }
        c.diskBytes += file.size();
        c.movieBytes += movie.size();
    }
    return c;
}

// The seconds velpin-dask reports for its tasks and for its cluster's start-up, from its summary.
std::pair<double, double> DaskSeconds(const std::string& errPath) {
    const Bytes err = ReadFile(errPath);
    const std::string text(err.begin(), err.end());
    double tasks = -1;
    double startup = -1;
    const std::size_t at = text.rfind("unreadable, ");
    if (at == std::string::npos ||
        std::sscanf(text.c_str() + at, "unreadable, %lf seconds, cluster start-up %lf", &tasks,
                    &startup) != 2) {
        std::printf("velpin-dask gave no summary: %s\n", text.c_str());
        std::exit(1);
    }
    return {tasks, startup};
}

void DaskFigures(const std::string& folder, const std::string& base, int repetitions) {
    const std::string dask = VELPIN_DASK_PATH;
    if (access(dask.c_str(), X_OK) != 0) {
        std::printf("velpin-dask: not built, skipped\n");
        return;
    }
    std::string manifest;
    for (int copy = 0; copy < 10; ++copy) {
        const std::string copyFolder = base + "/copy" + std::to_string(copy);
        RunProgram({"/bin/mkdir", "-p", copyFolder}, "/dev/null", "/dev/null");
        for (int i = 0; i < kMovies; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "/m%04d.swf", i);
            // A link on another file system than the collection's is a symbolic one.
            const std::string from = folder + name;
            const std::string to = copyFolder + name;
            if (link(from.c_str(), to.c_str()) != 0 && errno != EEXIST &&
                symlink(from.c_str(), to.c_str()) != 0) {
                std::printf("cannot link %s\n", to.c_str());
                std::exit(1);
            }
            manifest += copyFolder + name + "\n";
        }
    }
    const std::string list = base + "/manifest";
    WriteFile(list, Bytes(manifest.begin(), manifest.end()));
    std::vector<double> scan;
    std::vector<double> tasks;
    std::vector<double> startups;
    for (int run = 0; run < repetitions; ++run) {
        scan.push_back(Seconds([&]() {
            RunCli({"scan", "--inflate", "--jobs", "2", "--files-from", list}, 0);
        }));
        const std::string out = base + "/parts" + std::to_string(run);
        const std::string err = base + "/dask.err";
        const int status =
            RunProgram({dask, "--workers", "2", "--inflate", "--out", out, "--files-from", list},
                       "/dev/null", err);
        if (status != 0) {
            std::printf("velpin-dask exited with %d\n", status);
            std::exit(1);
        }
        const auto [taskSeconds, startup] = DaskSeconds(err);
        tasks.push_back(taskSeconds);
        startups.push_back(startup);
    }
    std::printf("%d movies (the collection ten times over, hard links); %d runs each:\n",
                10 * kMovies, repetitions);
    const Figures s = Summarize(scan);
    const Figures d = Summarize(tasks);
    PrintRun("scan --jobs 2", s);
    PrintRun("velpin-dask, 2 workers", d);
    PrintRun("its cluster's start-up", Summarize(startups));
    std::printf("  velpin-dask / scan --jobs 2: %.2f (target: at most 1.20)\n",
                d.median / s.median);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "deps") {
        TempDir dir;
        const std::string base = argc > 3 ? argv[3] : dir.Path();
        RunProgram({"/bin/mkdir", "-p", base}, "/dev/null", "/dev/null");
        DepsAndNestedFigures(base, argc > 2 ? std::max(1, std::atoi(argv[2])) : 5);
        return 0;
    }
    if (argc > 1 && std::string(argv[1]) == "dask") {
        TempDir dir;
        WriteCollection(dir.File("collection"));
        DaskFigures(dir.File("collection"), dir.File("dask"),
                    argc > 2 ? std::max(1, std::atoi(argv[2])) : 5);
        return 0;
    }
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    TempDir dir;
    const std::string folder = argc > 2 && *argv[2] != '\0' ? argv[2] : dir.File("collection");
    const std::string baseline = argc > 3 ? argv[3] : "";
    // The same movies loose, in a zip and in a WARC, beside the collection when it is kept.
    const std::string containers =
        argc > 2 && *argv[2] != '\0' ? folder + ".containers" : dir.Path();
    ContainerFigures(containers, baseline.empty() ? repetitions : 0);
    if (baseline.empty()) {
        DepsAndNestedFigures(containers, repetitions);
    }
    const Collection collection = WriteCollection(folder);
    std::printf(
        "collection: %d movies (%d CWS, %d ZWS, %d FWS), %.1f MB on disk, %.1f MB "
        "inflated; %d runs each\n",
        kMovies, collection.cws, collection.zws, kMovies - collection.cws - collection.zws,
        collection.diskBytes / kMegabyte, collection.movieBytes / kMegabyte, repetitions);
    if (!baseline.empty()) {
        BaselineFigures(baseline, folder, containers, repetitions);
        return 0;
    }

    const std::vector<Figures> scans =
        TimeSideBySide({{"scan", "--inflate", "--jobs", "1", folder},
                        {"scan", "--inflate", "--jobs", "2", folder}},
                       0, repetitions);
    for (int jobs = 1; jobs <= 2; ++jobs) {
        const double s = scans[jobs - 1].median;
        std::printf(
            "scan --inflate --jobs %d: median %.3f s (best %.3f, worst %.3f): %.0f files/s, "
            "%.1f MB/s read, %.1f MB/s inflated\n",
            jobs, s, scans[jobs - 1].best, scans[jobs - 1].worst, kMovies / s,
            collection.diskBytes / kMegabyte / s, collection.movieBytes / kMegabyte / s);
    }
    std::printf("  --jobs 2 is %.2fx as fast as --jobs 1 (target: at least 1.7x)\n",
                scans[0].median / scans[1].median);

    const std::string out = dir.File("inflated.swf");
    const double inflateSeconds = Seconds([&]() {
        for (const std::string& file : collection.compressedFiles) {
            RunCli({"inflate", file, out}, 0);
        }
    });
    std::printf(
        "inflate, one process per file (%zu compressed files): %.3f s: %.0f files/s, "
        "%.1f MB/s read, %.1f MB/s inflated\n",
        collection.compressedFiles.size(), inflateSeconds,
        collection.compressedFiles.size() / inflateSeconds,
        collection.compressedBytes / kMegabyte / inflateSeconds,
        collection.compressedMovieBytes / kMegabyte / inflateSeconds);

    const WorstMovie worst = WorstMovies("a").front();
    const std::string plain = dir.Write("worst.swf", worst.bytes);
    const std::string packed =
        dir.Write("worst-cws.swf", Packed(worst.bytes, MovieCompression::Zlib));
    std::printf("one 4 MiB movie of %s (tags to /dev/null against scan):\n", worst.shape.c_str());
    const std::vector<Figures> single = TimeSideBySide({{"tags", plain},
                                                        {"scan", plain},
                                                        {"tags", "--inflate", packed},
                                                        {"scan", "--inflate", packed}},
                                                       0, repetitions);
    PrintRun("tags FILE", single[0]);
    PrintRun("scan FILE", single[1]);
    PrintRun("tags --inflate CWS-FILE", single[2]);
    PrintRun("scan --inflate CWS-FILE", single[3]);
    std::printf("  scan / tags: %.2f plain, %.2f compressed (target: at most 1.20)\n",
                single[1].median / single[0].median, single[3].median / single[2].median);

    DaskFigures(folder, dir.File("dask"), repetitions);
    return 0;
}
