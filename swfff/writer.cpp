#include "swfff/writer.h"

#include "swfff/little_endian.h"
#include "swfff/reader.h"

namespace {

// The fixed header fields around the frame rectangle: signature, version and file length before
// it, frame rate and frame count after it.
constexpr std::uint32_t kFixedHeaderBytes = 12;
constexpr std::size_t kFrameRectOffset = 8;

// Collects a save's bytes in memory, for a movie that is compressed before it is written.
struct MemoryOutput {
    std::vector<std::uint8_t>& bytes;

    bool Write(const void* data, std::size_t count) {
        const auto* first = static_cast<const std::uint8_t*>(data);
        bytes.insert(bytes.end(), first, first + count);
        return true;
    }
};

// The one writer of a movie's header, whether it goes to a file or to memory.
template <typename Output>
std::int32_t WriteHeaderTo(MovieHeader& header, const CInputScript& script, Output& out) {
    for (const std::uint8_t signatureByte : header.Signature) {
        if (!out.Write(&signatureByte, 1)) {
            return -1;
        }
    }
    if (!out.Write(&header.Version, 1)) {
        return -1;
    }

    const auto rectBytes =
        static_cast<std::uint32_t>(FrameRectByteLength(FileBytes[kFrameRectOffset]));
    header.FileLength = SavedMovieLength(script);
    std::uint8_t length[4];
    PutLittleU32(length, header.FileLength);
    if (!out.Write(length, sizeof length)) {
        return -1;
    }
    // The rectangle is copied as loaded rather than re-encoded from FrameRect, so its padding
    // bits and field width survive.
    if (!out.Write(FileBytes + kFrameRectOffset, rectBytes)) {
        return -1;
    }
    std::uint8_t frameRate[2];
    PutLittleU16(frameRate, header.FrameRate);
    if (!out.Write(frameRate, sizeof frameRate)) {
        return -1;
    }
    std::uint8_t frameCount[2];
    PutLittleU16(frameCount, header.FrameCount);
    if (!out.Write(frameCount, sizeof frameCount)) {
        return -1;
    }
    return 0;
}

// What follows the header: the stored bytes of every top-level item, in the list's order.
template <typename Output>
std::int32_t WriteTopLevelItemsTo(const CInputScript& script, Output& out) {
    for (const TagItem* item = script.FirstTag; item != nullptr; item = item->Next) {
        // Nested items lie inside their sprite's bytes, which go out whole with the sprite.
        if (item->Depth == 0 && !out.Write(item->Data, StoredItemBytes(*item))) {
            return -1;
        }
    }
    return 0;
}

}  // namespace

std::uint32_t TopLevelTagBytes(const CInputScript& script) {
    std::uint32_t total = 0;
    for (const TagItem* item = script.FirstTag; item != nullptr; item = item->Next) {
        if (item->Depth == 0) {
            total += static_cast<std::uint32_t>(StoredItemBytes(*item));
        }
    }
    return total;
}

std::size_t StoredItemBytes(const TagItem& item) {
    // The loader never keeps a body longer than the bytes left in the file, so the length field
    // read back unsigned is the true length.
    return item.HeaderLength +
           static_cast<std::size_t>(static_cast<std::uint32_t>(item.BodyLength));
}

std::uint32_t SavedHeaderLength() {
    return kFixedHeaderBytes +
           static_cast<std::uint32_t>(FrameRectByteLength(FileBytes[kFrameRectOffset]));
}

std::uint32_t SavedMovieLength(const CInputScript& script) {
    return SavedHeaderLength() + TopLevelTagBytes(script);
}

std::int64_t TrailingBytes(const CInputScript& script) {
    return FileBytesLength - SavedMovieLength(script);
}

std::int32_t WriteMovieHeader(MovieHeader& header, CInputScript& script) {
    return WriteHeaderTo(header, script, script.OutFile);
}

std::int32_t SaveMovieFile(CInputScript& script, const std::string& path) {
    // Every byte comes from FileBytes; without a loaded movie there is nothing to write, and the
    // target is left alone.
    if (!script.Loaded || FileBytes == nullptr) {
        return -1;
    }
    script.OutFile.Create(path);
    // The last buffered bytes are handed over before the commit, so that a disk that fills up
    // there is a failed write (-1) like any other, not a failed close.
    if (WriteMovieHeader(script.Header, script) != 0 ||
        WriteTopLevelItemsTo(script, script.OutFile) != 0 || !script.OutFile.Flush()) {
        return -1;
    }
    script.OutFile.Commit();
    return 0;
}

std::vector<std::uint8_t> SavedMovieBytes(CInputScript& script) {
    std::vector<std::uint8_t> bytes;
    if (!script.Loaded || FileBytes == nullptr) {
        return bytes;
    }
    // The header is at most 29 bytes (a frame rectangle of 31-bit fields).
    bytes.reserve(std::size_t{TopLevelTagBytes(script)} + 29);
    MemoryOutput out{bytes};
    WriteHeaderTo(script.Header, script, out);
    WriteTopLevelItemsTo(script, out);
    return bytes;
}
