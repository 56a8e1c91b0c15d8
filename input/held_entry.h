// What a scan keeps of one entry: its first bytes, up to a limit the caller chooses from them
// (what the loader or the codec could use), while every byte is counted and, past the limit,
// handed to the caller's digest as it goes by. So an entry of any size costs at most its limit in
// memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "archive/byte_stream.h"

namespace velpin {

struct HeldEntry {
    std::vector<std::uint8_t> bytes;  // the entry's first bytes, the whole entry if it fit
    std::uint64_t size = 0;           // every byte of the entry
};

// The most bytes worth keeping of an entry that starts with `head` (at most 3 bytes).
using HoldLimit = std::function<std::size_t(const std::uint8_t* head, std::size_t count)>;

// Takes every byte of an entry that does not fit its limit, from the first, in order, as it is
// read: such an entry can only be digested on the way. An entry that fits is never handed over;
// whoever takes it on digests its bytes.
using EntryDigest = std::function<void(const std::uint8_t* bytes, std::size_t count)>;

// Reads all of `in`, handing an entry that does not fit to `digest` when there is one. Raises
// what the stream raises, and what `digest` raises.
HeldEntry HoldEntry(ByteStream& in, const HoldLimit& limit, const EntryDigest& digest);

}  // namespace velpin
