// A byte stream as libarchive reads it, through a callback of the C library.
#pragma once

#include <archive.h>

#include <cstddef>
#include <cstdint>
#include <exception>
#include <vector>

#include "archive/byte_stream.h"

namespace velpin {

inline constexpr std::size_t kArchiveBlockBytes = 64 * 1024;

// What ReadArchiveBlock reads from: `in`, a block at a time. Exceptions must not cross the C
// library, so one raised by the stream is kept in `raised`, to be raised again once libarchive
// returns.
struct ArchiveSource {
    ByteStream* in = nullptr;
    std::vector<std::uint8_t> block = std::vector<std::uint8_t>(kArchiveBlockBytes);
    std::exception_ptr raised;
};

// libarchive's read callback, for archive_read_open with an ArchiveSource as the client data.
la_ssize_t ReadArchiveBlock(struct archive* archive, void* client, const void** buffer);

}  // namespace velpin
