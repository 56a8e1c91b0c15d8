// Walks arbitrary bytes as a container (zip, tar and its compressions, WARC with its HTTP
// payloads, and what they nest). The walk must end without a crash however the bytes are broken,
// every name chain stays within the nesting limit, and the walk must not depend on how much of
// each entry is held: holding a few bytes and digesting the rest as it streams gives the same
// sizes and digests as holding everything.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/archive/container_walk.h"
#include "cli/archive/held_entry.h"
#include "cli/hash/digests.h"
#include "fuzz/fuzz_check.h"

namespace {

const std::vector<HashAlgorithm> kCrc{HashAlgorithm::Crc32};

class Recorder : public ContainerVisitor {
  public:
    explicit Recorder(std::size_t holdBytes) : holdBytes_(holdBytes) {}

    void Movie(const std::vector<std::string>& entry, ByteStream& bytes) override {
        FUZZ_CHECK(!entry.empty() && entry.size() <= kMaxContainerLevels);
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
        } catch (const EEntryError& error) {
            event += std::string("\nerror ") + error.what();
        }
        events.push_back(event);
    }

    void Failure(const std::vector<std::string>& entry, const std::string& message) override {
        FUZZ_CHECK(entry.size() <= kMaxContainerLevels);
        FUZZ_CHECK(!message.empty());
        events.push_back("failure " + std::to_string(entry.size()) + ' ' + message);
    }

    std::vector<std::string> events;

  private:
    std::size_t holdBytes_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Recorder few(16);
    Recorder all(std::size_t{256} << 20);
    MemoryStream first(data, size);
    MemoryStream second(data, size);
    const std::int64_t othersFew = WalkContainerStream(first, few);
    const std::int64_t othersAll = WalkContainerStream(second, all);
    FUZZ_CHECK(othersFew >= 0);
    FUZZ_CHECK(othersFew == othersAll);
    FUZZ_CHECK(few.events == all.events);
    return 0;
}
