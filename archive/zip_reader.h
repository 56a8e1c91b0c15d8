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

#include "archive/byte_stream.h"
#include "archive/entry_provenance.h"

namespace velpin {

// The stored bytes of one entry are held in memory, to be inflated elsewhere, up to this size;
// a larger entry is inflated as it is read from the file.
inline constexpr std::uint64_t kMaxHeldStoredBytes = 16u << 20;

// `bytes` is the entry's data, decoded and checked as it is read: it never gives more than `size`,
// the size the central directory gives, and `modified` the entry's time. `heldBytes`, what the
// stream holds in memory, is given only when the stream owns all it reads from: it may then be read
// on any thread, after later entries and after the walk. It returns whether the reading goes on.
using ZipEntryVisitor =
    std::function<bool(const std::string& name, std::unique_ptr<ByteStream> bytes,
                       std::optional<std::uint64_t> heldBytes, std::uint64_t size,
                       std::optional<StoredTime> modified)>;

enum class ZipReading {
    Read,
    // The zip is to be read another way: it does not start with an entry, or libzip cannot say
    // all it must of one. Nothing was visited.
    LeftToOthers,
    // libzip cannot take the zip, whose central directory is then damaged or missing: nothing
    // was visited.
    Unopened,
    // The central directory would take more than kMaxDirectoryBytes held whole, as libzip holds
    // it: nothing was visited, and the zip is to be read as a stream, entry after entry.
    DirectoryTooLarge,
};

// What a zip's central directory may take in memory, by its size and a share for each entry.
inline constexpr std::uint64_t kMaxDirectoryBytes = 64u << 20;
inline constexpr std::uint64_t kDirectoryBytesPerEntry = 768;

// Visits the regular files of the zip at `path` in the order of its central directory, with
// their names in UTF-8; folders and links are passed by. Stored, deflated, bzip2 and xz entries
// are decoded here, any other method by libarchive; an encrypted entry, or one that does not
// decode, is an entry error and the zip is read on after it. For an Unopened zip, `unopened` says
// why. When an entry's own header disagrees with the central directory, which is followed,
// `disagreement` says so.
ZipReading ReadZipFile(const std::string& path, const ZipEntryVisitor& visit, std::string& unopened,
                       std::string& disagreement);

// The same for a zip of `size` bytes held at `data`, which stay there while it is read.
ZipReading ReadHeldZip(const std::uint8_t* data, std::size_t size, const ZipEntryVisitor& visit,
                       std::string& unopened, std::string& disagreement);

}  // namespace velpin
