// Times `velpin-cli scan --export` as a user runs it, and prints the figures:
//   - 2,000 movies of a few assets each (a 128 by 128 bitmap, a JPEG, an MP3 sound, a script),
//     half of them CWS: scan against scan --export into an empty folder, and against scan
//     --export again into the folder the first filled (every movie there already), with --jobs 2.
//
// Usage: bench_export [repetitions]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/figures.h"
#include "codec/swfcodec.h"
#include "tests/support/asset_builder.h"
#include "tests/support/run_program.h"

using namespace velpin;
using namespace testmovie;

namespace {

constexpr int kMovies = 2000;
using Clock = std::chrono::steady_clock;

Bytes Packed(const Bytes& movie) {
    Bytes packed;
    CompressMovie(
        movie.data(), movie.size(), MovieCompression::Zlib,
        [&](const std::uint8_t* p, std::size_t n) { packed.insert(packed.end(), p, p + n); });
    return packed;
}

// A movie of its own assets: pixels partly noise, so that each PNG is some kilobytes.
Bytes AssetMovie(int index, std::uint32_t& seed, const Bytes& jpeg) {
    Bytes pixels;
    for (int y = 0; y < 128; ++y) {
        const Bytes noise = Noise(128, seed);
        for (int x = 0; x < 128; ++x) {
            Append(pixels, {0, static_cast<std::uint8_t>(x * 2), static_cast<std::uint8_t>(y * 2),
                            noise[static_cast<std::size_t>(x)]});
        }
    }
    Bytes mp3;
    for (int frame = 0; frame < 10; ++frame) {
        Append(mp3, Cat({{0xFF, 0xFB, 0x90, 0x64}, Noise(413, seed)}));
    }
    return Movie(
        Cat({Lossless(20, 5, 128, 128, {}, pixels), Tag(21, Cat({U16(8), jpeg}), true),
             Tag(14, Cat({U16(9), {SoundByte(2, 3, true, false)}, U32(11520), U16(0), mp3}), true),
             DoAction({0x07, 0x00, static_cast<std::uint8_t>(index)}), ShowFrame(), End()}));
}

double Seconds(const std::vector<std::string>& args) {
    std::vector<std::string> argv{VELPIN_CLI_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    const auto start = Clock::now();
    const int status = RunProgram(argv, "/dev/null", "/dev/null");
    if (status != 0) {
        std::printf("velpin-cli %s exited with %d\n", args.front().c_str(), status);
        std::exit(1);
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    TempDir dir;
    const std::string folder = dir.File("movies");
    RunProgram({"/bin/mkdir", "-p", folder}, "/dev/null", "/dev/null");
    std::uint32_t seed = 31;
    const Bytes jpeg = Jpeg(64, 64);
    double diskBytes = 0;
    for (int i = 0; i < kMovies; ++i) {
        const Bytes movie = AssetMovie(i, seed, jpeg);
        const Bytes file = i % 2 == 0 ? movie : Packed(movie);
        diskBytes += static_cast<double>(file.size());
        char name[32];
        std::snprintf(name, sizeof name, "/m%04d.swf", i);
        WriteFile(folder + name, file);
    }
    std::printf("%d movies of 4 assets, half CWS, %.1f MB; --jobs 2, %d runs each:\n", kMovies,
                diskBytes / 1e6, repetitions);
    std::vector<double> scan;
    std::vector<double> exported;
    std::vector<double> again;
    for (int run = 0; run < repetitions; ++run) {
        const std::string out = dir.File("assets" + std::to_string(run));
        scan.push_back(Seconds({"scan", "--inflate", "--jobs", "2", folder}));
        exported.push_back(Seconds({"scan", "--inflate", "--jobs", "2", "--export", out, folder}));
        again.push_back(Seconds({"scan", "--inflate", "--jobs", "2", "--export", out, folder}));
        RunProgram({"/bin/rm", "-rf", out}, "/dev/null", "/dev/null");
    }
    const Figures s = Summarize(scan);
    const Figures e = Summarize(exported);
    const Figures a = Summarize(again);
    std::printf("  scan                      median %.3f s (best %.3f, worst %.3f)\n", s.median,
                s.best, s.worst);
    std::printf("  scan --export             median %.3f s (best %.3f, worst %.3f), %.1fx scan\n",
                e.median, e.best, e.worst, e.median / s.median);
    std::printf("  scan --export, all there  median %.3f s (best %.3f, worst %.3f), %.1fx scan\n",
                a.median, a.best, a.worst, a.median / s.median);

    return 0;
}
