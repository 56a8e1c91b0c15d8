// `velpin-cli info --json` against `velpin-cli tags --json`, and `velpin-cli save` (nothing
// deleted) against plain `velpin-cli tags`, time and peak resident memory, on each 4 MiB worst
// shape of worst_movies.h and on three 4 MiB movies of code: one DoAction full of Push records, the
// same with a third of its strings distinct file names (which the info keeps, sorts and prints),
// and one DoABC of a million strings. Each run is a process of its own; output goes to /dev/null,
// the saved movie to the scratch folder.
//
// Usage: bench_info [repetitions] [shape letters]   (defaults: 3, abcdefghi; g, h and i are the
// movies of code). VELPIN_CLI, when set, names another velpin-cli to measure, for a before and
// after.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/figures.h"
#include "bench/worst_movies.h"
#include "tests/support/movie_builder.h"
#include "tests/support/run_program.h"

namespace {

using namespace testmovie;

constexpr std::size_t kLargestMovieBytes = 4194304;
// A Push record's payload stays below its 16-bit length.
constexpr std::size_t kPushPayloadBytes = 60000;

// `distinctFiles`: every third value a file name of its own, which the info keeps and sorts (the
// worst a movie can ask of it); otherwise the strings repeat as the names of real code do, with a
// few references among them.
Bytes PushMovie(bool distinctFiles) {
    const std::size_t budget = kLargestMovieBytes - 21 - 6 - 1 - 2;
    Bytes actions;
    std::uint32_t n = 0;
    while (actions.size() + kPushPayloadBytes + 3 < budget) {
        Bytes values;
        while (values.size() < kPushPayloadBytes) {
            const std::string first = distinctFiles ? "clip" + std::to_string(n) + ".swf"
                                      : n % 64 == 0
                                          ? "http://host" + std::to_string(n % 7) + ".example/"
                                          : "_root.menu" + std::to_string(n % 50);
            Append(values, Cat({{0x00}, CString(first)}));
            Append(values, Cat({{0x07}, U32(n), {0x08, static_cast<std::uint8_t>(n)}}));
            Append(values, Cat({{0x00}, CString("gotoAndPlay")}));
            ++n;
        }
        Append(actions, Action(0x96, values));
    }
    Append(actions, Action(0x00));
    return Movie(Cat({Tag(12, actions, true), End()}));
}

Bytes AbcMovie() {
    std::vector<std::string> strings;
    for (std::uint32_t i = 0; i < 1000000; ++i) {
        // Three letters each, as the short names of obfuscated code are.
        strings.push_back({static_cast<char>('a' + i % 26), static_cast<char>('a' + i / 26 % 26),
                           static_cast<char>('A' + i / 676 % 58)});
    }
    return Movie(Cat({Tag(82, Cat({U32(1), CString("frame1"), AbcData(strings)}), true), End()}));
}

// The velpin-cli under measure.
const char* Cli() {
    const char* other = std::getenv("VELPIN_CLI");
    return other != nullptr && *other != '\0' ? other : VELPIN_CLI_PATH;
}

// Runs tags and info on one movie and prints its row. This runs in a process started afresh for
// it: a child started through posix_spawn shares its parent's memory until it execs, and its peak
// then counts the parent's own, so the parent must not be the one that made a 4 MiB movie.
int MeasureOne(int repetitions, char shape, const std::string& description,
               const std::string& path) {
    ProcessRuns tags, info, plainTags, save;
    for (int i = 0; i < repetitions; ++i) {
        TimeProcess({Cli(), "tags", "--json", path}, 0, tags);
        TimeProcess({Cli(), "info", "--json", path}, 0, info);
        TimeProcess({Cli(), "tags", path}, 0, plainTags);
        TimeProcess({Cli(), "save", path, path + ".saved"}, 0, save);
    }
    char cells[4][64];
    const ProcessRuns* const measures[4] = {&tags, &info, &plainTags, &save};
    for (int i = 0; i < 4; ++i) {
        const ProcessRuns& figures = *measures[i];
        std::snprintf(cells[i], sizeof cells[i], "%6.3f s %6.3f s %5.1f MB",
                      Summarize(figures.seconds).median, Summarize(figures.cpuSeconds).median,
                      figures.peakMegabytes);
    }
    // Wall, processor, memory.
    const auto ratios = [](const ProcessRuns& m, const ProcessRuns& tags) {
        char text[32];
        std::snprintf(text, sizeof text, "%.2f, %.2f, %.2f",
                      Summarize(m.seconds).median / Summarize(tags.seconds).median,
                      Summarize(m.cpuSeconds).median / Summarize(tags.cpuSeconds).median,
                      m.peakMegabytes / tags.peakMegabytes);
        return std::string(text);
    };
    const bool failed = tags.failed || info.failed || plainTags.failed || save.failed;
    std::printf("%-5c %-52s %-26s %-26s %-26s %-26s %-18s %s%s\n", shape, description.c_str(),
                cells[0], cells[1], cells[2], cells[3], ratios(info, tags).c_str(),
                ratios(save, plainTags).c_str(), failed ? "  (a run failed)" : "");
    return failed ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 6 && std::string(argv[1]) == "--measure") {
        return MeasureOne(std::atoi(argv[2]), argv[3][0], argv[4], argv[5]);
    }
    const int repetitions = argc >= 2 ? std::max(1, std::atoi(argv[1])) : 3;
    const std::string shapes = argc >= 3 ? argv[2] : "abcdefghi";
    std::printf("%d repetitions; median wall and processor time, largest peak resident memory\n",
                repetitions);
    std::printf("%s\n", Cli());
    std::printf("%-5s %-52s %-26s %-26s %-26s %-26s %-18s %s\n", "shape", "movie", "tags --json",
                "info --json", "tags", "save", "info/tags --json",
                "save/tags (wall, processor, memory)");
    std::fflush(stdout);
    TempDir dir;
    for (const char shape : shapes) {
        std::string description;
        std::string path;
        std::vector<WorstMovie> movies = WorstMovies(std::string(1, shape));
        if (shape == 'g') {
            movies.push_back({"g", "one DoAction of Push records", PushMovie(false)});
        } else if (shape == 'i') {
            movies.push_back(
                {"i", "the same, a third of them distinct file names", PushMovie(true)});
        } else if (shape == 'h') {
            movies.push_back({"h", "one DoABC of a million strings", AbcMovie()});
        }
        for (const WorstMovie& movie : movies) {
            description = movie.shape + " (" + std::to_string(movie.bytes.size()) + " bytes)";
            path = dir.Write(movie.name + ".swf", movie.bytes);
        }
        if (path.empty()) {
            continue;
        }
        const std::string row = dir.File("row.txt");
        RunProgram({"/proc/self/exe", "--measure", std::to_string(repetitions),
                    std::string(1, shape), description, path},
                   row, "/dev/null");
        std::fputs(AsText(ReadFile(row)).c_str(), stdout);
        std::fflush(stdout);
    }
    std::printf(
        "target: info at most 2x the time and 2x the peak memory of tags; save at most 1.2x the "
        "time of tags\n");
    return 0;
}
