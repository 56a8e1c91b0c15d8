// Lenient reading and repair against the commands they stand beside, each run a process of its
// own with its output sent to /dev/null:
//   - `tags --lenient` against `tags` on each 4 MiB worst shape, all of which load;
//   - `repair` of a 4 MiB movie cut in its last tag against `save` of the whole movie, for a
//     movie of 8,000 tags of 500 bytes and for the worst shapes.
// The two commands of a pair run alternately, so that both meet the same machine.
//
// Usage: bench_repair [repetitions] [shape letters]   (defaults: 5, abcdef)

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/figures.h"
#include "bench/worst_movies.h"
#include "tests/support/movie_builder.h"

namespace {

using namespace testmovie;

// Runs the two commands alternately and prints their medians and the ratio of the second to the
// first.
void Pair(int repetitions, const std::string& label, const std::vector<std::string>& first,
          const std::vector<std::string>& second) {
    ProcessRuns a, b;
    for (int i = 0; i < repetitions; ++i) {
        TimeProcess(first, 0, a);
        TimeProcess(second, 0, b);
    }
    std::printf("%-58s %7.3f s %7.3f s   %7.3f s %7.3f s   %.3f, %.3f%s\n", label.c_str(),
                Summarize(a.seconds).median, Summarize(a.cpuSeconds).median,
                Summarize(b.seconds).median, Summarize(b.cpuSeconds).median,
                Summarize(b.seconds).median / Summarize(a.seconds).median,
                Summarize(b.cpuSeconds).median / Summarize(a.cpuSeconds).median,
                a.failed || b.failed ? "  (a run failed)" : "");
    std::fflush(stdout);
}

// About 8,000 tags of 500 bytes with a ShowFrame every ten, filling 4 MiB, as bench_save's.
Bytes ManyTags() {
    const HeaderSpec spec;
    const std::size_t budget = 4194304 - Header(spec, 0).size() - 2;
    Bytes tags;
    int count = 0;
    while (tags.size() + 500 + 2 <= budget) {
        Append(tags, Tag(20, Bytes(494, 0x5A)));
        if (++count % 10 == 0) {
            Append(tags, ShowFrame());
        }
    }
    Append(tags, End());
    return Movie(spec, tags);
}

}  // namespace

int main(int argc, char** argv) {
    const int repetitions = argc >= 2 ? std::max(1, std::atoi(argv[1])) : 5;
    const std::string shapes = argc >= 3 ? argv[2] : "abcdef";
    const std::string cli = VELPIN_CLI_PATH;
    std::printf("%d repetitions; median wall and processor time of each command\n", repetitions);
    std::printf("%-58s %-21s   %-21s   %s\n", "movie", "first", "second",
                "second/first wall, processor");
    TempDir dir;
    const std::string out = dir.File("out.swf");
    std::vector<WorstMovie> movies{{"many", "8,000 tags of 500 bytes", ManyTags()}};
    for (WorstMovie& movie : WorstMovies(shapes)) {
        movies.push_back(std::move(movie));
    }
    std::printf("-- tags, then tags --lenient (target: at most 1.05)\n");
    for (const WorstMovie& movie : movies) {
        const std::string path = dir.Write(movie.name + ".swf", movie.bytes);
        Pair(repetitions, movie.name + ": " + movie.shape, {cli, "tags", path},
             {cli, "tags", "--lenient", path});
    }
    std::printf(
        "-- save of the whole movie, then repair of it cut in its last tag (target: at "
        "most 1.2)\n");
    for (const WorstMovie& movie : movies) {
        const std::string whole = dir.File(movie.name + ".swf");
        // The last tag is the End: one byte short, its header is cut.
        const std::string cut =
            dir.Write(movie.name + "-cut.swf", Bytes(movie.bytes.begin(), movie.bytes.end() - 1));
        Pair(repetitions, movie.name + ": " + movie.shape, {cli, "save", whole, out},
             {cli, "repair", cut, out});
    }
    return 0;
}
