// What a scan keeps of one entry: its first bytes, up to a limit the caller chooses from them
// (what the loader or the codec could use), while every byte is counted and, past the limit,
// digested as it goes by. So an entry of any size costs at most its limit in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "cli/archive/byte_stream.h"
#include "cli/hash/digests.h"

struct HeldEntry {
    std::vector<std::uint8_t> bytes;  // the entry's first bytes, the whole entry if it fit
    std::uint64_t size = 0;           // every byte of the entry
    // The digests, when the entry did not fit and so had to be digested while it was read; an
    // entry that fit is digested from `bytes` by whoever takes it on.
    std::optional<HashValues> hashes;
};

// The most bytes worth keeping of an entry that starts with `head` (at most 3 bytes).
using HoldLimit = std::function<std::size_t(const std::uint8_t* head, std::size_t count)>;

// Reads all of `in`. Raises what the stream raises.
HeldEntry HoldEntry(ByteStream& in, const HoldLimit& limit,
                    const std::vector<HashAlgorithm>& algorithms);

// The digests of a whole stream, and its size.
HashValues DigestStream(ByteStream& in, const std::vector<HashAlgorithm>& algorithms,
                        std::uint64_t& size);
