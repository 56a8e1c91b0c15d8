// Walks arbitrary bytes as a container (zip, 7z, tar and its compressions, WARC with its HTTP
// payloads, and what they nest), and a zip also from a file, as its central directory leads. The
// walk must end without a crash however the bytes are broken, every name chain stays within the
// nesting limit, and the walk must not depend on how much of each entry is held: holding a few
// bytes and digesting the rest as it streams gives the same sizes and digests as holding
// everything. Every reference a movie entry could make, resolved against the names the walk
// listed, lands in exactly one of the three lists. The memory a walk may take is an invariant of
// its own: fuzz/run_ci.sh gives this target the scan's memory budget as its RSS limit.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "analysis/container_names.h"
#include "archive/container_walk.h"
#include "codec/digests.h"
#include "fuzz/fuzz_check.h"
#include "input/held_entry.h"

using namespace velpin;

namespace {

const std::vector<HashAlgorithm> kCrc{HashAlgorithm::Crc32};
// Far below a file's: a bomb meets its budget at every depth within the time an input is given.
constexpr std::uint64_t kBaseBudget = 16u << 20;

class Recorder : public ContainerVisitor {
  public:
    explicit Recorder(std::size_t holdBytes) : holdBytes_(holdBytes) {}

    void Listed(const std::vector<std::string>& entry, EntryOrigin origin) override {
        FUZZ_CHECK(!entry.empty() && entry.size() <= kMaxContainerLevels);
        names.Add(entry, origin);
        listed.push_back({entry, origin});
    }

    void Movie(const std::vector<std::string>& entry, ByteStream& bytes) override {
        FUZZ_CHECK(!entry.empty() && entry.size() <= kMaxContainerLevels);
        // Listed just before, under the same names.
        FUZZ_CHECK(!listed.empty() && listed.back().first == entry);
        movies.push_back(listed.back());
        std::string event = "movie";
        for (const std::string& name : entry) {
            event += '\n' + name;
        }
        try {
            Digester digester(kCrc);
            bool digested = false;
            const HeldEntry held = HoldEntry(
                bytes, [this](const std::uint8_t*, std::size_t) { return holdBytes_; },
                [&](const std::uint8_t* piece, std::size_t count) {
                    digested = true;
                    digester.Update(piece, count);
                });
            FUZZ_CHECK(held.bytes.size() <= std::max<std::size_t>(holdBytes_, 3));
            FUZZ_CHECK(held.size >= held.bytes.size());
            FUZZ_CHECK(digested == (held.size > held.bytes.size()));
            const HashValues hashes = digested
                                          ? digester.Finish()
                                          : DigestBytes(kCrc, held.bytes.data(), held.bytes.size());
            event += '\n' + std::to_string(held.size) + ' ' + hashes[0].second;
        } catch (const Error& error) {
            if (!IsEntryError(error)) {
                throw;
            }
            event += std::string("\nerror ") + error.what();
        }
        events.push_back(event);
    }

    void Failure(const std::vector<std::string>& entry, const Error& error) override {
        const std::string message = error.what();
        FUZZ_CHECK(entry.size() <= kMaxContainerLevels);
        FUZZ_CHECK(!message.empty());
        events.push_back("failure " + std::to_string(entry.size()) + ' ' + message);
    }

    std::vector<std::string> events;
    ContainerNames names;
    std::vector<std::pair<std::vector<std::string>, EntryOrigin>> listed;
    std::vector<std::pair<std::vector<std::string>, EntryOrigin>> movies;

  private:
    std::size_t holdBytes_;
};

// References made of the names the walk met, near and far from each movie, as files and URLs.
void CheckDependencies(Recorder& recorder) {
    recorder.names.Seal();
    std::vector<std::string> texts;
    for (const auto& [entry, origin] : recorder.listed) {
        for (const char* prefix : {"", "../", "./x/../", "/", "http://", "https://h/", "//"}) {
            texts.push_back(prefix + entry.back());
        }
    }
    std::sort(texts.begin(), texts.end());
    texts.erase(std::unique(texts.begin(), texts.end()), texts.end());
    std::vector<std::string_view> files;
    std::vector<std::string_view> urls;
    for (const std::string& text : texts) {
        (text.find("://") != std::string::npos ? urls : files).push_back(text);
    }
    for (const auto& [entry, origin] : recorder.movies) {
        const Dependencies lists = PlaceReferences(recorder.names.LocationOf(entry, origin), files,
                                                   urls, recorder.names.NamesAround(entry, origin));
        std::vector<std::string> all;
        for (const std::vector<Dependency>* list :
             {&lists.present, &lists.missing, &lists.external}) {
            FUZZ_CHECK(std::is_sorted(list->begin(), list->end()));
            for (const Dependency& dependency : *list) {
                all.push_back(dependency.reference);
            }
        }
        FUZZ_CHECK(origin != EntryOrigin::WarcRecord || lists.external.empty());
        std::sort(all.begin(), all.end());
        FUZZ_CHECK(all == texts);
    }
}

// One file for the zips, written over for each input, and removed at exit. A plain array, so that
// it is still there when the exit handler runs.
const char* ZipPath() {
    static char path[] = "/tmp/fuzz_containers_XXXXXX";
    static const bool made = [] {
        const int fd = mkstemp(path);
        FUZZ_CHECK(fd >= 0);
        close(fd);
        std::atexit([] { unlink(path); });
        return true;
    }();
    static_cast<void>(made);
    return path;
}

void WalkZipFile(const std::uint8_t* data, std::size_t size) {
    std::FILE* out = std::fopen(ZipPath(), "wb");
    FUZZ_CHECK(out != nullptr);
    FUZZ_CHECK(std::fwrite(data, 1, size, out) == size);
    FUZZ_CHECK(std::fclose(out) == 0);
    Recorder few(16);
    Recorder all(std::size_t{256} << 20);
    const std::int64_t othersFew = WalkContainerFile(ZipPath(), few);
    FUZZ_CHECK(othersFew == WalkContainerFile(ZipPath(), all));
    FUZZ_CHECK(few.events == all.events);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size >= 4 && std::memcmp(data, "PK\x03\x04", 4) == 0) {
        WalkZipFile(data, size);
    }
    Recorder few(16);
    Recorder all(std::size_t{256} << 20);
    MemoryStream first(data, size);
    MemoryStream second(data, size);
    const std::int64_t othersFew = WalkContainerStream(first, few, size, kBaseBudget);
    const std::int64_t othersAll = WalkContainerStream(second, all, size, kBaseBudget);
    FUZZ_CHECK(othersFew >= 0);
    FUZZ_CHECK(othersFew == othersAll);
    FUZZ_CHECK(few.events == all.events);
    CheckDependencies(few);
    return 0;
}
