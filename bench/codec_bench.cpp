// Times `velpin-cli inflate` on a 4 MiB movie compressed each way (CWS and ZWS) and prints the
// figures: the whole command (read, inflate, write, flush to disk, rename) and the inflating
// alone, in memory.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "bench/figures.h"
#include "cli/commands/codec_commands.h"
#include "codec/swfcodec.h"
#include "tests/support/movie_builder.h"

using namespace velpin;

namespace {

using namespace testmovie;

constexpr std::size_t kMovieBytes = 4u << 20;
constexpr int kRuns = 7;

// Half picture-like data that does not compress, half structured records that do, which is
// roughly how real movies split between bitmaps and sounds on one side and shapes and scripts on
// the other.
Bytes FourMiBMovie() {
    std::uint32_t seed = 12345;
    Bytes tags;
    std::uint16_t record = 0;
    constexpr std::size_t kHeaderBytes = 21;
    constexpr std::size_t kLongTagHeader = 6;
    const std::size_t room = kMovieBytes - kHeaderBytes - End().size();
    while (tags.size() + 2 * (kLongTagHeader + 16384) < room) {
        Append(tags, Tag(21, Noise(16384, seed), true));
        Bytes shapes;
        while (shapes.size() < 16384) {
            Append(shapes, Cat({U16(record),
                                U16(static_cast<std::uint16_t>(record * 3 % 500)),
                                U32(0x00FF0000u | record % 17),
                                {0x15, 0x00, 0x3F}}));
            ++record;
        }
        shapes.resize(16384);
        Append(tags, Tag(2, shapes, true));
        Append(tags, ShowFrame());
    }
    Append(tags, Tag(6, Bytes(room - tags.size() - kLongTagHeader, 0x11), true));
    Append(tags, End());
    return Movie(tags);
}

Figures Time(const std::function<bool()>& once) {
    std::vector<double> seconds;
    for (int run = 0; run < kRuns; ++run) {
        const auto start = std::chrono::steady_clock::now();
        if (!once()) {
            std::printf("run failed\n");
            std::exit(1);
        }
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        seconds.push_back(took.count());
    }
    return Summarize(seconds);
}

}  // namespace

int main() {
    const Bytes movie = FourMiBMovie();
    if (movie.size() != kMovieBytes) {
        std::printf("built %zu bytes instead of %zu\n", movie.size(), kMovieBytes);
        return 1;
    }
    TempDir dir;
    const std::string out = dir.File("inflated.swf");
    for (const MovieCompression method : {MovieCompression::Zlib, MovieCompression::Lzma}) {
        Bytes packed;
        CompressMovie(movie.data(), movie.size(), method,
                      [&](const std::uint8_t* bytes, std::size_t count) {
                          packed.insert(packed.end(), bytes, bytes + count);
                      });
        const std::string kind = method == MovieCompression::Zlib ? "CWS" : "ZWS";
        const std::string in = dir.Write(kind + ".swf", packed);

        const Figures command = Time([&]() {
            return RunInflateCommand({false, false, in, out}) == 0;
        });
        const Figures memory = Time([&]() {
            std::size_t produced = 0;
            InflateMovie(packed.data(), packed.size(),
                         [&](const std::uint8_t*, std::size_t count) { produced += count; });
            return produced == movie.size();
        });
        if (ReadFile(out) != movie) {
            std::printf("%s: inflate did not give the movie back\n", kind.c_str());
            return 1;
        }
        std::printf(
            "inflate %s %zu bytes -> FWS %zu bytes: command median %.3f s (best %.3f, worst "
            "%.3f); in memory median %.3f s (best %.3f, worst %.3f)\n",
            kind.c_str(), packed.size(), movie.size(), command.median, command.best, command.worst,
            memory.median, memory.best, memory.worst);
    }
    return 0;
}
