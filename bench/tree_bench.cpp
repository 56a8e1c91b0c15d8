// Times the tree presentation on the largest movie the loader takes: 4 MiB holding about two
// million tags. Measures the load alone, the load with the tree built over the in-memory tree,
// and the whole `velpin-cli tree` (and `tree --json`, `tags`) run as a process.
//
// Usage: bench_tree [repetitions] [movie.swf]   (with a path, the movie is also written there, so
// that `time velpin-cli tree movie.swf > /dev/null` can be run by hand)

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "Unit1/presentation/BuildMovieTree.h"
#include "Unit1/presentation/NodeStore.h"
#include "bench/figures.h"
#include "swfff/loader.h"
#include "swfff/scoped_movie.h"
#include "tests/support/movie_builder.h"
#include "tests/support/run_program.h"

namespace {

using namespace testmovie;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kLargestMovie = 4194304;
constexpr int kFrames = 62500;
constexpr int kTagsPerFrame = 32;
constexpr int kSpriteEvery = 25;

void Put(Bytes& out, std::uint16_t code, const Bytes& body = {}) {
    const std::uint16_t word = static_cast<std::uint16_t>((code << 6) | body.size());
    out.push_back(static_cast<std::uint8_t>(word & 0xFF));
    out.push_back(static_cast<std::uint8_t>(word >> 8));
    out.insert(out.end(), body.begin(), body.end());
}

// 62,500 frames of 32 tags each: 30 display-list and definition tags without bodies, a DoAction
// and a ShowFrame; every 25th frame swaps four of those tags for a sprite with three tags inside.
// One large bitmap tag at the start fills the file to exactly 4 MiB. 2,000,002 tags in all.
Bytes BuildMovie(std::size_t& tagCount) {
    static constexpr std::uint16_t kCodes[] = {26, 28, 4, 5, 9, 43, 15, 2, 22, 32, 11, 33, 19};
    Bytes tags;
    tags.reserve(kLargestMovie);
    tagCount = 0;
    for (int frame = 0; frame < kFrames; ++frame) {
        int plain = kTagsPerFrame - 2;
        if (frame % kSpriteEvery == 0) {
            Put(tags, 39, {1, 0, 1, 0, 0x80, 0x06, 0x40, 0x00, 0x00, 0x00});  // PlaceObject2,
            plain -= 4;                                                       // ShowFrame, End
            tagCount += 4;
        }
        for (int i = 0; i < plain; ++i) {
            Put(tags, kCodes[(frame + i) % (sizeof kCodes / sizeof kCodes[0])]);
        }
        Put(tags, 12, {0x07});
        Put(tags, 1);
        tagCount += static_cast<std::size_t>(plain) + 2;
    }
    Put(tags, 0);
    ++tagCount;

    HeaderSpec spec;
    spec.frameRate = 24 << 8;
    spec.frameCount = kFrames;
    const std::size_t headerBytes = Header(spec, 0).size();
    const std::size_t fillerBody = kLargestMovie - headerBytes - tags.size() - 6;
    Bytes filler = Tag(20, Bytes(fillerBody, 0x5A), true);
    ++tagCount;
    return Cat({Header(spec, static_cast<std::uint32_t>(kLargestMovie)), filler, tags});
}

Figures Time(int repetitions, const std::function<void()>& run) {
    std::vector<double> ms;
    for (int i = 0; i < repetitions; ++i) {
        const Clock::time_point start = Clock::now();
        run();
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    return Summarize(ms);
}

void Print(const char* what, const Figures& f) {
    std::printf("%-44s best %8.1f ms   median %8.1f ms\n", what, f.best, f.median);
}

int RunCli(const std::vector<std::string>& args) {
    std::vector<std::string> all{VELPIN_CLI_PATH};
    all.insert(all.end(), args.begin(), args.end());
    return testmovie::RunProgram(all, "/dev/null", "/dev/null");
}

}  // namespace

int main(int argc, char** argv) {
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    std::size_t tagCount = 0;
    const Bytes bytes = BuildMovie(tagCount);
    TempDir dir;
    const std::string path = argc > 2 ? std::string(argv[2]) : dir.File("large.swf");
    WriteFile(path, bytes);
    std::printf("movie: %zu bytes, %zu tags, %d frames, %s\n", bytes.size(), tagCount, kFrames,
                path.c_str());

    ScopedMovie held;
    CInputScript& movie = held.movie;
    Print("LoadMovieFile", Time(repetitions, [&]() {
              if (LoadMovieFile(movie, path) != loadOk) {
                  std::fprintf(stderr, "load failed\n");
                  std::exit(1);
              }
          }));

    FrameNodeTable frameNodes;
    NodeStore tree;
    Print("LoadMovieFile + BuildMovieTree over NodeStore", Time(repetitions, [&]() {
              tree.Clear();
              if (LoadMovieFile(movie, path) == loadOk) {
                  BuildMovieTree(movie, tree, frameNodes);
              }
          }));
    std::printf("tree: %zu nodes\n", tree.LiveNodeCount());
    held.Release();

    for (const char* command : {"tree", "tree --json", "tags"}) {
        std::vector<std::string> args;
        if (std::string(command) == "tree --json") {
            args = {"tree", "--json", path};
        } else {
            args = {command, path};
        }
        const std::string label = std::string("velpin-cli ") + command + " FILE > /dev/null";
        Print(label.c_str(), Time(repetitions, [&]() {
                  if (RunCli(args) != 0) {
                      std::fprintf(stderr, "velpin-cli %s failed\n", command);
                      std::exit(1);
                  }
              }));
    }
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    std::printf("largest velpin-cli resident size: %.1f MiB\n", usage.ru_maxrss / 1024.0);
    return 0;
}
