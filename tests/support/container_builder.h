// Builds containers of movies in memory for the tests, the benchmarks and the fuzz seed corpus:
// zip, 7z and tar (through libarchive's writer), gzip members, and WARC records by hand.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tests/support/movie_builder.h"

namespace testcontainer {

using testmovie::Bytes;

struct Member {
    std::string name;
    Bytes bytes;
    // A link of either kind, to the member of that name, holds no bytes.
    std::string hardLink = {};
    std::string symbolicLink = {};
    // For StoredZip: the compression method, and the bytes stored for `bytes` under it.
    std::uint16_t method = 0;
    Bytes stored = {};
};

enum class ArchiveFormat { Zip, SevenZip, Tar };
enum class ArchiveFilter { None, Gzip, Bzip2, Xz, Zstd };

// Every member modified at `modified` (seconds since 1970, UTC) when given.
Bytes Archive(ArchiveFormat format, const std::vector<Member>& members,
              ArchiveFilter filter = ArchiveFilter::None,
              std::optional<std::int64_t> modified = std::nullopt);

// A zip of members written here, stored unless a member says otherwise, with the general purpose
// `flags` (0x800: names in UTF-8) on every member; libarchive's writer keeps no name it cannot
// convert to the locale. `dosTime` is every member's DOS date (high half) and time.
Bytes StoredZip(const std::vector<Member>& members, std::uint16_t flags, std::uint32_t dosTime = 0);

// `data` as a zip entry of method 14 stores it: LZMA with an end marker, behind its properties.
Bytes ZipLzma(const Bytes& data);

// A 7z of the `packed` streams and the `header` given byte for byte, behind a signature header
// that places and checksums them: for headers libarchive's writer does not make.
Bytes SevenZip(const Bytes& packed, const Bytes& header);
// The members stored in one solid folder under a plain header, as 7-Zip writes with header
// compression off; no member may be empty.
Bytes SolidSevenZip(const std::vector<Member>& members);

// A 196-byte 7z whose header declares 50,437,409 folders (found by a fuzzer in an archive
// library's test file).
Bytes HostileSevenZip();
// The same header LZMA-compressed, in a 225-byte 7z.
Bytes CompressedHostileSevenZip();
// A 293-byte gzip file that decompresses to a gzip file, again and again (libarchive's test file
// test_read_filter_gzip_recursive.gz).
Bytes RecursiveGzip();

// One gzip member; raw deflate data when `raw`.
Bytes Gzip(const Bytes& data, bool raw = false);

// An HTTP/1.1 200 response: status line, the given header lines, an empty line, the body.
Bytes HttpResponse(const std::vector<std::string>& headers, const Bytes& body);
// `data` in chunked transfer coding, in chunks of `chunkBytes`.
Bytes Chunked(const Bytes& data, std::size_t chunkBytes);

struct WarcRecord {
    std::string type;  // "response", "resource", "request", ...
    std::string uri;
    Bytes block;
    std::string version = "WARC/1.1";
    std::string contentType = "";  // the record's own, written when given
};

// One record with its header fields, Content-Length and the two line ends after its block.
Bytes WarcRecordBytes(const WarcRecord& record);
// The records back to back, each a gzip member of its own when `gzipPerRecord`.
Bytes Warc(const std::vector<WarcRecord>& records, bool gzipPerRecord = false);

}  // namespace testcontainer
