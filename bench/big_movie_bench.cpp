// Movies far over the window's 4 MiB, as game collections hold them: `velpin-cli tags` and
// `velpin-cli scan` (with --hash sha256 too) against `cat` of the same file, time and peak resident
// memory. Each movie is a few large tags (bitmaps, a sound, binary data) of incompressible bytes,
// written to the scratch folder a block at a time, so that this program never holds one and the
// peak of each run is its own. Then a movie of the default limit's size made of two-byte tags
// only: refused at the item limit (-11), and how fast. Last, a 332 MB zip of 600,000 empty
// entries with 240-byte names, whose central directory alone is 172 MB: `scan` and `scan --deps`,
// which holds every name.
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

// A zip64 of `entries` empty entries, each named with `nameBytes` bytes, written a record at a
// time: the names are made again for the central directory.
void WriteManyEntryZip(const std::string& path, std::uint32_t entries, std::size_t nameBytes) {
    const auto put = [](Bytes& to, std::uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i, value >>= 8) {
            to.push_back(static_cast<std::uint8_t>(value));
        }
    };
    const auto name = [nameBytes](std::uint32_t i) {
        std::string text = "d" + std::to_string(i % 1000) + "/" + std::to_string(i) + ".bin";
        return std::string(nameBytes - text.size(), 'x') + text;
    };
    std::FILE* file = std::fopen(path.c_str(), "wb");
    Bytes record;
    for (const bool central : {false, true}) {
        for (std::uint32_t i = 0; i < entries; ++i) {
            record.clear();
            put(record, central ? 0x02014b50 : 0x04034b50, 4);
            put(record, 20, central ? 4 : 2);       // versions made by and needed
            put(record, 0, 2 + 2 + 4 + 4 + 4 + 4);  // flags, method, time, CRC-32, sizes
            put(record, nameBytes, 2);
            put(record, 0, central ? 2 + 2 + 2 + 2 + 4 : 2);  // extra, comment, disk, attributes
            if (central) {
                put(record, std::uint64_t{i} * (30 + nameBytes), 4);
            }
            const std::string text = name(i);
            record.insert(record.end(), text.begin(), text.end());
            Put(file, record);
        }
    }
    const std::uint64_t directory = std::uint64_t{entries} * (30 + nameBytes);
    const std::uint64_t directoryBytes = std::uint64_t{entries} * (46 + nameBytes);
    record.clear();
    put(record, 0x06064b50, 4);
    put(record, 44, 8);
    put(record, 45, 2);
    put(record, 45, 2);
    put(record, 0, 8);  // disks
    put(record, entries, 8);
    put(record, entries, 8);
    put(record, directoryBytes, 8);
    put(record, directory, 8);
    put(record, 0x07064b50, 4);
    put(record, 0, 4);
    put(record, directory + directoryBytes, 8);
    put(record, 1, 4);
    put(record, 0x06054b50, 4);
    put(record, 0, 4);
    put(record, 0xFFFFFFFF, 4);
    put(record, 0xFFFFFFFFFFFFFFFF, 8);
    put(record, 0, 2);
    Put(file, record);
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
    const std::string zip = dir.File("entries.zip");
    WriteManyEntryZip(zip, 600000, 240);
    ProcessRuns scan, deps;
    for (int i = 0; i < repetitions; ++i) {
        TimeProcess({Cli(), "scan", zip}, 0, scan);
        TimeProcess({Cli(), "scan", "--deps", zip}, 0, deps);
    }
    std::printf("%-44s scan %s, scan --deps %s\n", "zip of 600,000 entries, 240-byte names",
                Cell(scan).c_str(), Cell(deps).c_str());
    std::printf(
        "target: full rows with the defaults; a scan holds about 300 MB plus the movie "
        "it loads, and no more than 300 MB for the zip\n");
    return 0;
}
