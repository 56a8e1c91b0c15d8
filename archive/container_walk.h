// Walks a container of movies where it lies: a zip file through libzip, so that its entries can
// be inflated in parallel; zip read as a stream, 7z and tar (plain or compressed with gzip,
// bzip2, xz or zstd) through libarchive; WARC through our own record reader, and WACZ as the zip
// of WARC files it is. Every movie entry is handed over in the container's order as a stream of
// its bytes as stored; no entry is extracted to disk (a nested 7z, or zip over 1 MiB, is copied
// to a temporary file) and no entry name becomes a path. An entry that is itself a container is
// walked in turn, down to kMaxContainerLevels.
//
// Every container is untrusted: each stream holds a fixed buffer, a compressed entry costs time
// in proportion to what it inflates to and no more memory, what a container may decode is
// bounded by its size, and a malformed container is reported to the visitor instead of raised.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/byte_stream.h"
#include "archive/decode_budget.h"
#include "archive/entry_provenance.h"
#include "archive/recognise.h"
#include "base/error.h"

namespace velpin {

inline constexpr int kMaxContainerLevels = 3;

// Why a container, or a movie inside movies, one level deeper than kMaxContainerLevels is not
// read.
std::string NestedTooDeepText();

// What an entry is to its container.
enum class EntryOrigin {
    ArchiveFile,  // a regular file of a zip, 7z or tar
    WarcRecord,   // a response, resource or revisit record, named by its WARC-Target-URI
};

class ContainerVisitor {
  public:
    virtual ~ContainerVisitor() = default;
    // Every entry as the walk meets it, before anything of it is read, whatever it holds; a
    // revisit record, which holds nothing, is only listed. Movie or the walk of a nested
    // container follows for the entry with the same names.
    virtual void Listed(const std::vector<std::string>& /*entry*/, EntryOrigin /*origin*/) {}
    // A movie entry: its names from the outermost container inward, where it came from, and its
    // bytes. The visitor reads what it needs; an entry Error from `bytes` means this entry is
    // damaged and the walk can go on after it, anything else it lets through ends the walk.
    virtual void Movie(const std::vector<std::string>& entry, const EntryProvenance& provenance,
                       ByteStream& bytes) = 0;
    // A movie entry whose stream owns everything it reads from, `heldBytes` of memory: it may be
    // read on another thread, after the walk has gone on. Read here, as Movie, unless a visitor
    // takes it elsewhere.
    virtual void OwnedMovie(const std::vector<std::string>& entry,
                            const EntryProvenance& provenance, std::unique_ptr<ByteStream> bytes,
                            std::uint64_t heldBytes) {
        static_cast<void>(heldBytes);
        Movie(entry, provenance, *bytes);
    }
    // Each WARC record whose payload was handed on (as a movie, a container or any other entry),
    // once read through: only then is its length known (see WarcRecordInfo). Named as it was.
    virtual void RecordEnded(const std::vector<std::string>& /*entry*/,
                             const EntryProvenance& /*provenance*/) {}
    // A container that could not be read (on): `entry` names where inside it the walk stopped,
    // empty for the outermost container itself. The walk goes on with what follows the broken
    // container, if anything around it can still be read.
    virtual void Failure(const std::vector<std::string>& entry, const Error& error) = 0;
    // Whether the visitor wants no more: the walk then ends after the entry in hand.
    virtual bool Stopped() const { return false; }
};

// Walks the container file at `path` and returns how many entries were neither movies nor
// containers that were read. A file that holds no container known here is one Failure. Raises
// EInOutError when the file cannot be opened or read, as the movie loader would. What the walk
// may decode is bounded by the file's size (see DecodeBudget), on top of `baseBudget`.
std::int64_t WalkContainerFile(const std::string& path, ContainerVisitor& visitor,
                               std::uint64_t baseBudget = DecodeBudget::kBaseBytes);

// Lists every entry of the container file at `path` to the visitor, as WalkContainerFile would,
// reading no entry's bytes but those of an entry named as a container (see HasContainerSuffix),
// which is walked in turn; Movie is never called. Reading an entry costs as much as inflating it,
// so a list of names is had for little more than the container's headers.
void ListContainerFile(const std::string& path, ContainerVisitor& visitor);

// The same for a container of `stored` bytes held in a stream (a 7z, or a zip over 1 MiB, is
// copied to a temporary file, since reading one needs to seek); without `stored`, the bytes read so
// far are what it stores, as for a nested container. A smaller `baseBudget` than a file's lets the
// fuzzer meet the budget at every depth in the time it gives an input.
std::int64_t WalkContainerStream(ByteStream& in, ContainerVisitor& visitor,
                                 std::optional<std::uint64_t> stored,
                                 std::uint64_t baseBudget = DecodeBudget::kBaseBytes);

}  // namespace velpin
