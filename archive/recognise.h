// Telling containers apart: by the signatures of their first bytes, a zip also by the directory at
// its end, and for a folder walk by their names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace velpin {

enum class ContainerKind {
    None,
    Archive,            // zip, 7z or tar
    CompressedArchive,  // gzip, bzip2, xz or zstd data around what should be a tar
    Warc,               // WARC records, gzip-compressed or not
};

// How many leading bytes RecogniseContainer looks at.
inline constexpr std::size_t kRecogniseBytes = 4096;

// The container the first bytes of a file or an entry show, by their signatures alone.
ContainerKind RecogniseContainer(const std::uint8_t* head, std::size_t count);
// Whether the first bytes are those of a movie: "FWS", "CWS" or "ZWS".
bool StartsMovie(const std::uint8_t* head, std::size_t count);
// Whether they are those of a 7z archive, which can only be read where it can seek, and of a zip's
// first entry.
bool StartsSevenZip(const std::uint8_t* head, std::size_t count);
bool StartsZipEntry(const std::uint8_t* head, std::size_t count);

// Names a folder walk takes for containers: .zip .7z .tar .tgz .tar.gz .tar.bz2 .tar.xz
// .tar.zst .warc .warc.gz .wacz, in any case; and for movies: .swf.
bool HasContainerSuffix(std::string_view name);
bool HasMovieSuffix(std::string_view name);

// The container the regular file at `path` holds: by its first bytes, or a zip by the end of
// its central directory at its end (a zip after something else); None for a movie, anything
// else, or a file that is not regular or cannot be read.
ContainerKind RecogniseContainerFile(const std::string& path);

}  // namespace velpin
