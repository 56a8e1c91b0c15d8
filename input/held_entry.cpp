#include "input/held_entry.h"

#include <algorithm>
#include <vector>

namespace velpin {

namespace {

constexpr std::size_t kReadBytes = 64 * 1024;
constexpr std::size_t kSignatureBytes = 3;
constexpr std::size_t kDoublingBytes = 8u << 20;

}  // namespace

HeldEntry HoldEntry(ByteStream& in, const HoldLimit& limit, const EntryDigest& digest) {
    HeldEntry held;
    held.bytes.resize(kSignatureBytes);
    held.bytes.resize(ReadFully(in, held.bytes.data(), kSignatureBytes));
    const std::size_t keep = std::max(limit(held.bytes.data(), held.bytes.size()), kSignatureBytes);
    while (held.bytes.size() < keep) {
        const std::size_t at = held.bytes.size();
        // Grown as the bytes arrive, so that no length the entry claims decides the memory, and
        // only once what is reserved is full: a movie smaller than the first block is never
        // moved, and a larger one only as the block doubles. Past a few blocks the whole limit is
        // reserved at once: so large a block is mapped by the allocator and only the pages
        // written are used, while doubling would hold the old and the new block together, up to
        // twice the limit.
        if (held.bytes.capacity() == at) {
            held.bytes.reserve(at < kDoublingBytes ? std::min(keep, std::max(2 * at, kReadBytes))
                                                   : keep);
        }
        held.bytes.resize(at + std::min({kReadBytes, keep - at, held.bytes.capacity() - at}));
        const std::size_t got = in.Read(held.bytes.data() + at, held.bytes.size() - at);
        held.bytes.resize(at + got);
        if (got == 0) {
            held.size = held.bytes.size();
            return held;
        }
    }
    held.size = held.bytes.size();
    std::vector<std::uint8_t> next(kReadBytes);
    std::size_t more = in.Read(next.data(), next.size());
    if (more == 0) {
        return held;  // it fit exactly
    }
    if (digest) {
        digest(held.bytes.data(), held.bytes.size());
    }
    for (; more != 0; more = in.Read(next.data(), next.size())) {
        held.size += more;
        if (digest) {
            digest(next.data(), more);
        }
    }
    return held;
}

}  // namespace velpin
