// Movies far over the window's 4 MiB, as game collections hold them: `velpin-cli tags` and
// `velpin-cli scan` (with --hash sha256 too) against `cat` of the same file, time and peak resident
// memory. Each movie is a few large tags (bitmaps, a sound, binary data) of incompressible bytes,
// written to the scratch folder a block at a time, so that this program never holds one and the
// peak of each run is its own. Last, a movie of the default limit's size made of two-byte tags
// only: refused at the item limit (-11), and how fast.
//
// Usage: bench_big [repetitions] [MiB...]   (defaults: 3, 64 200). VELPIN_CLI, when set, names
// another velpin-cli to measure.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/figures.h"
#include "tests/support/movie_builder.h"
#include "tests/support/run_program.h"

namespace {

using namespace testmovie;

constexpr std::size_t kBlockBytes = 1 << 20;
constexpr std::uint16_t kLargeTagCodes[] = {36, 14, 87, 20};  // bitmap, sound, data, bitmap

const char* Cli() {
    const char* other = std::getenv("VELPIN_CLI");
    return other != nullptr && *other != '\0' ? other : VELPIN_CLI_PATH;
}

void Put(std::FILE* file, const Bytes& bytes) {
    std::fwrite(bytes.data(), 1, bytes.size(), file);
}

// A movie of `length` bytes: the header, a ShowFrame, tags of the large codes in turn, each at
// most a quarter of the movie, and End.
void WriteLargeTagMovie(const std::string& path, std::uint32_t length) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    const Bytes header = Header(HeaderSpec{}, length);
    Put(file, header);
    Put(file, ShowFrame());
    std::size_t left = length - header.size() - ShowFrame().size() - End().size();
    std::uint32_t seed = 1;
    const Bytes noise = Noise(kBlockBytes, seed);
    for (std::size_t i = 0; left > 0; ++i) {
        const std::size_t tagBytes = std::min<std::size_t>(left, length / 4);
        const std::size_t body = tagBytes - 6;
        Put(file, TagHeader(kLargeTagCodes[i % 4], static_cast<std::uint32_t>(body), true));
        for (std::size_t written = 0; written < body; written += kBlockBytes) {
            std::fwrite(noise.data(), 1, std::min(kBlockBytes, body - written), file);
        }
        left -= tagBytes;
    }
    Put(file, End());
    std::fclose(file);
}

// Two-byte tags only, `length` bytes in all: far more than the item limit.
void WriteMinimalTagMovie(const std::string& path, std::uint32_t length) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    const Bytes header = Header(HeaderSpec{}, length);
    Put(file, header);
    std::size_t left = length - header.size() - End().size();
    if (left % 2 != 0) {
        const Bytes odd = Tag(2, {0});  // three bytes
        Put(file, odd);
        left -= odd.size();
    }
    const std::size_t tags = left / 2;
    Bytes block;
    for (std::size_t i = 0; i < kBlockBytes / 2; ++i) {
        Append(block, ShowFrame());
    }
    for (std::size_t written = 0; written < tags; written += kBlockBytes / 2) {
        std::fwrite(block.data(), 1, 2 * std::min(kBlockBytes / 2, tags - written), file);
    }
    Put(file, End());
    std::fclose(file);
}

std::string Cell(const ProcessRuns& runs) {
    char text[64];
    std::snprintf(text, sizeof text, "%7.3f s %7.1f MB%s", Summarize(runs.seconds).median,
                  runs.peakMegabytes, runs.failed ? " (failed)" : "");
    return text;
}

void MeasureRow(const std::string& description, const std::string& path, int repetitions,
                int wantedStatus) {
    ProcessRuns cat, tags, scan, hashed;
    for (int i = 0; i < repetitions; ++i) {
        TimeProcess({"/bin/cat", path}, 0, cat);
        TimeProcess({Cli(), "tags", path}, wantedStatus, tags);
        TimeProcess({Cli(), "scan", "--jobs", "1", path}, wantedStatus, scan);
        TimeProcess({Cli(), "scan", "--jobs", "1", "--hash", "sha256", path}, wantedStatus, hashed);
    }
    std::printf("%-44s %-24s %-24s %-24s %-24s %.1f, %.1f\n", description.c_str(),
                Cell(cat).c_str(), Cell(tags).c_str(), Cell(scan).c_str(), Cell(hashed).c_str(),
                Summarize(tags.seconds).median / Summarize(cat.seconds).median,
                Summarize(scan.seconds).median / Summarize(cat.seconds).median);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    const int repetitions = argc >= 2 ? std::max(1, std::atoi(argv[1])) : 3;
    std::vector<std::uint32_t> sizes;
    for (int i = 2; i < argc; ++i) {
        sizes.push_back(static_cast<std::uint32_t>(std::atoi(argv[i])) << 20);
    }
    if (sizes.empty()) {
        sizes = {64u << 20, 200u << 20};
    }
    std::printf("%d repetitions; median wall time, largest peak resident memory\n%s\n", repetitions,
                Cli());
    std::printf("%-44s %-24s %-24s %-24s %-24s %s\n", "movie", "cat", "tags", "scan -j 1",
                "scan -j 1 --hash sha256", "tags/cat, scan/cat (time)");
    TempDir dir;
    for (const std::uint32_t size : sizes) {
        const std::string path = dir.File("large.swf");
        WriteLargeTagMovie(path, size);
        MeasureRow(std::to_string(size >> 20) + " MiB, large tags", path, repetitions, 0);
    }
    const std::string minimal = dir.File("minimal.swf");
    WriteMinimalTagMovie(minimal, 256u << 20);
    MeasureRow("256 MiB of two-byte tags (-11)", minimal, repetitions, 1);
    std::printf(
        "target: full rows with the defaults; a scan holds about 300 MB plus the movie "
        "it loads\n");
    return 0;
}
