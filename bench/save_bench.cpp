// Times saving a 4 MiB movie with the safe save (temporary file, fsync, rename, folder fsync)
// against a plain in-place write of the same bytes with the same writes.
//
// Usage: bench_save [folder] [repetitions]   (folder defaults to a fresh one under /tmp)

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "bench/figures.h"
#include "swfff/loader.h"
#include "swfff/scoped_movie.h"
#include "swfff/writer.h"
#include "tests/support/movie_builder.h"

namespace {

using namespace testmovie;
using Clock = std::chrono::steady_clock;

// About 8,000 tags of about 500 bytes with a ShowFrame every ten tags, filling 4 MiB: a movie
// with many small tags costs as many writes as a real one would.
Bytes BuildMovie() {
    const HeaderSpec spec;
    const std::size_t budget = 4194304 - Header(spec, 0).size();
    Bytes tags;
    const Bytes body(494, 0x5A);
    int count = 0;
    while (tags.size() + 500 + 2 + 2 <= budget) {
        Append(tags, Tag(20, body));
        if (++count % 10 == 0) {
            Append(tags, ShowFrame());
        }
    }
    // Pads with one last tag so the file is exactly 4 MiB, the largest movie the loader takes.
    const std::size_t left = budget - tags.size() - 2;
    Append(tags, Tag(20, Bytes(left - 6, 0x33), true));
    Append(tags, End());
    return Movie(spec, tags);
}

// The writes SaveMovieFile makes, to a file opened in place: eight header fields, then one
// write per top-level tag; no fsync, no rename.
bool SaveInPlace(const CInputScript& movie, const std::string& path, bool sync) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        return false;
    }
    const std::size_t fieldSizes[] = {1, 1, 1, 1, 4, 9, 2, 2};
    std::size_t offset = 0;
    bool ok = true;
    for (const std::size_t size : fieldSizes) {
        ok = ok && WriteAll(fd, FileBytes + offset, size);
        offset += size;
    }
    for (const TagItem* item = movie.FirstTag; ok && item != nullptr; item = item->Next) {
        if (item->Depth == 0) {
            ok = WriteAll(fd, item->Data,
                          item->HeaderLength + static_cast<std::size_t>(item->BodyLength));
        }
    }
    if (sync) {
        ok = ok && ::fsync(fd) == 0;
    }
    return ::close(fd) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    TempDir scratch;
    const std::string folder = argc > 1 && argv[1][0] != '\0' ? argv[1] : scratch.Path();
    const int repetitions = argc > 2 ? std::max(1, std::atoi(argv[2])) : 15;

    const Bytes bytes = BuildMovie();
    const std::string source = folder + "/bench-source.swf";
    const std::string target = folder + "/bench-target.swf";
    WriteFile(source, bytes);
    ScopedMovie held;
    CInputScript& movie = held.movie;
    if (LoadMovieFile(movie, source) != 0) {
        std::fprintf(stderr, "the benchmark movie did not load\n");
        return 1;
    }
    std::size_t tagCount = 0;
    for (const TagItem* item = movie.FirstTag; item != nullptr; item = item->Next) {
        ++tagCount;
    }

    struct Variant {
        const char* name;
        std::function<bool()> save;
        std::vector<double> ms;
    };
    Variant variants[] = {
        {"atomic save (SaveMovieFile)", [&] { return SaveMovieFile(movie, target) == 0; }, {}},
        {"in place, no fsync", [&] { return SaveInPlace(movie, target, false); }, {}},
        {"in place + fsync", [&] { return SaveInPlace(movie, target, true); }, {}},
    };
    WriteFile(target, bytes);
    // Interleaved, so that a slow moment of the disk hits every variant alike.
    for (int rep = 0; rep < repetitions; ++rep) {
        for (Variant& v : variants) {
            const auto start = Clock::now();
            if (!v.save()) {
                std::fprintf(stderr, "%s failed\n", v.name);
                return 1;
            }
            v.ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        }
    }
    if (ReadFile(target) != bytes) {
        std::fprintf(stderr, "the saved file differs from the movie\n");
        return 1;
    }

    std::printf("movie: %zu bytes, %zu tags; folder %s; %d repetitions each\n", bytes.size(),
                tagCount, folder.c_str(), repetitions);
    const double base = Summarize(variants[1].ms).median;
    for (const Variant& v : variants) {
        const Figures f = Summarize(v.ms);
        std::printf("%-30s median %8.2f ms  (min %8.2f, max %8.2f)  %5.2fx in place\n", v.name,
                    f.median, f.best, f.worst, f.median / base);
    }
    held.Release();
    ::unlink(source.c_str());
    ::unlink(target.c_str());
    return 0;
}
