// The entries of a zip file on disk, read through its central directory with libzip. libzip only
// finds each entry's stored bytes; our own decoder inflates them and checks them against the
// entry's CRC-32 and size. An entry small enough to be held as stored comes in a stream that owns
// everything it reads from, so that it can be inflated on another thread than the walk's.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "cli/archive/byte_stream.h"

// The stored bytes of one entry are held in memory, to be inflated elsewhere, up to this size;
// a larger entry is inflated as it is read from the file.
inline constexpr std::uint64_t kMaxHeldStoredBytes = 16u << 20;

// `bytes` is the entry's data, decoded and checked as it is read. `heldBytes`, what the stream
// holds in memory, is given only when the stream owns all it reads from: it may then be read on
// any thread, after later entries and after the walk.
using ZipEntryVisitor =
    std::function<void(const std::string& name, std::unique_ptr<ByteStream> bytes,
                       std::optional<std::uint64_t> heldBytes)>;

// Visits the regular files of the zip at `path` in the order of its central directory, with
// their names in UTF-8; folders and links are passed by. Returns false, having visited nothing,
// when libzip cannot take the zip or when an entry is encrypted or compressed otherwise than by
// deflate: the caller then reads the zip another way.
bool ReadZipFile(const std::string& path, const ZipEntryVisitor& visit);
