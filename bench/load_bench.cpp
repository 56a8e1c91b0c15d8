// Loads a 4 MiB movie of about 2,000,000 minimal tags several times and prints the times.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "bench/figures.h"
#include "swfff/loader.h"
#include "swfff/scoped_movie.h"
#include "tests/support/movie_builder.h"

int main() {
    using namespace testmovie;
    constexpr int kTags = 2000000;
    Bytes tags;
    tags.reserve(2 * kTags + 2);
    for (int i = 0; i < kTags; ++i) {
        // Every 100th tag ends a frame; the others cycle through codes 2 to 38 (no End, no sprite).
        Append(tags, i % 100 == 99 ? ShowFrame() : Tag(static_cast<std::uint16_t>(2 + i % 37)));
    }
    Append(tags, End());
    TempDir dir;
    const std::string path = dir.Write("big.swf", Movie(tags));

    ScopedMovie held;
    CInputScript& movie = held.movie;
    std::vector<double> seconds;
    for (int run = 0; run < 7; ++run) {
        const auto start = std::chrono::steady_clock::now();
        const int result = LoadMovieFile(movie, path);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (result != loadOk) {
            std::printf("load failed with %d\n", result);
            return 1;
        }
        seconds.push_back(took.count());
    }
    std::size_t items = 0;
    for (const TagItem* item = movie.FirstTag; item != nullptr; item = item->Next) {
        ++items;
    }
    const Figures figures = Summarize(seconds);
    std::printf("load of %zu bytes, %zu items: median %.3f s, best %.3f s, worst %.3f s\n",
                static_cast<std::size_t>(FileBytesLength), items, figures.median, figures.best,
                figures.worst);
    return 0;
}
