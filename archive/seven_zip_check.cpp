#include "archive/seven_zip_check.h"

#include <lzma.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "archive/byte_stream.h"
#include "archive/xz_stream.h"
#include "swfff/little_endian.h"

namespace velpin {

namespace {

constexpr std::uint64_t kSignatureHeaderBytes = 32;
// A header larger than this is refused before it is read; real archives of a million files have
// headers of a few tens of megabytes.
constexpr std::uint64_t kMaxHeaderBytes = 128u << 20;
// How much a compressed header may inflate: as a container's budget, per packed byte.
constexpr std::uint64_t kMaxHeaderRatio = 1000;
constexpr std::uint64_t kHeaderSlackBytes = 1u << 20;

enum Property : std::uint8_t {
    kEnd = 0x00,
    kHeader = 0x01,
    kArchiveProperties = 0x02,
    kAdditionalStreamsInfo = 0x03,
    kMainStreamsInfo = 0x04,
    kFilesInfo = 0x05,
    kPackInfo = 0x06,
    kUnpackInfo = 0x07,
    kSubStreamsInfo = 0x08,
    kSize = 0x09,
    kCrc = 0x0A,
    kFolder = 0x0B,
    kCodersUnpackSize = 0x0C,
    kNumUnpackStream = 0x0D,
    kEncodedHeader = 0x17,
};

[[noreturn]] void Refuse(const std::string& why) {
    throw ContainerError("damaged 7z archive: " + why);
}

struct Coder {
    std::vector<std::uint8_t> id;
    std::vector<std::uint8_t> properties;
};

// libarchive hands an LZMA or LZMA2 coder's dictionary size to liblzma as its properties give it,
// and a PPMd coder's model size to its PPMd decoder, each up to 4 GiB, to be allocated: a 7z
// whose data asks for more than an xz stream may take is refused as such an xz stream is, and
// one whose PPMd model is larger than a zip's PPMd entry may have.
void CheckDecoderMemory(const Coder& coder) {
    const std::vector<std::uint8_t> kLzma{0x03, 0x01, 0x01};
    const std::vector<std::uint8_t> kLzma2{0x21};
    const std::vector<std::uint8_t> kPpmd{0x03, 0x04, 0x01};
    constexpr std::uint64_t kMaxPpmdModelBytes = 256u << 20;
    std::uint64_t dictionary = 0;
    if (coder.id == kLzma && coder.properties.size() >= 5) {
        dictionary = LittleU32(coder.properties.data() + 1);
    } else if (coder.id == kLzma2 && !coder.properties.empty()) {
        const unsigned bits = coder.properties[0] & 0x3Fu;
        dictionary = bits >= 40 ? 0xFFFFFFFFu : std::uint64_t{2u | (bits & 1u)} << (bits / 2 + 11);
    } else if (coder.id == kPpmd && coder.properties.size() >= 5 &&
               LittleU32(coder.properties.data() + 1) > kMaxPpmdModelBytes) {
        throw ContainerError("the 7z archive's PPMd data needs more than " +
                             std::to_string(kMaxPpmdModelBytes >> 20) + " MiB of memory to decode");
    }
    if (dictionary > kMaxDecoderBytes) {
        throw ContainerError("the 7z archive's LZMA data needs more than " +
                             std::to_string(kMaxDecoderBytes >> 20) + " MiB of memory to decode");
    }
}

// Where a compressed header's packed bytes lie and how they decode.
struct PackedHeader {
    std::uint64_t position = 0;  // after the signature header
    std::vector<std::uint64_t> packSizes;
    std::vector<std::vector<Coder>> folders;
    std::vector<std::uint64_t> unpackSizes;
};

class HeaderReader {
  public:
    HeaderReader(const std::vector<std::uint8_t>& bytes, std::uint64_t fileBytes)
        : bytes_(bytes), fileBytes_(fileBytes) {}

    // Checks the header; for a compressed one, returns where its packed bytes are, of a size
    // already checked against what they are packed in.
    std::optional<PackedHeader> Check() {
        const std::uint8_t kind = Byte();
        if (kind == kEncodedHeader) {
            // Only a compressed header's few streams are kept; a plain header's may be millions.
            encoded_ = true;
            Streams(true);
            return packed_;
        } else if (kind == kHeader) {
            Header();
        } else {
            Refuse("its header starts with property " + std::to_string(kind));
        }
        return std::nullopt;
    }

  private:
    std::uint8_t Byte() {
        if (at_ >= bytes_.size()) {
            Refuse("its header is cut off");
        }
        return bytes_[at_++];
    }

    std::uint64_t Number() {
        const std::uint8_t first = Byte();
        int extra = 0;
        while (extra < 8 && (first & (0x80 >> extra)) != 0) {
            ++extra;
        }
        std::uint64_t value = 0;
        for (int i = 0; i < extra; ++i) {
            value |= std::uint64_t{Byte()} << (8 * i);
        }
        if (extra < 8) {
            value |= std::uint64_t{first & ((0x80u >> extra) - 1u)} << (8 * extra);
        }
        return value;
    }

    std::uint64_t Left() const { return bytes_.size() - at_; }

    // A count of things the header goes on to describe, each in at least one byte (or one bit,
    // for `bits`).
    std::uint64_t Count(const char* what, bool bits = false) {
        const std::uint64_t count = Number();
        if (count > (bits ? 8 * Left() + 8 : Left() + 1)) {
            Refuse("its header declares " + std::to_string(count) + " " + what + " in " +
                   std::to_string(Left()) + " bytes");
        }
        return count;
    }

    void Skip(std::uint64_t count) {
        if (count > Left()) {
            Refuse("its header is cut off");
        }
        at_ += static_cast<std::size_t>(count);
    }

    std::vector<std::uint8_t> Take(std::uint64_t count) {
        const std::size_t from = at_;
        Skip(count);
        return std::vector<std::uint8_t>(bytes_.begin() + static_cast<std::ptrdiff_t>(from),
                                         bytes_.begin() + static_cast<std::ptrdiff_t>(at_));
    }

    void Digests(std::uint64_t count) {
        std::uint64_t defined = count;
        if (Byte() == 0) {
            defined = 0;
            for (std::uint64_t i = 0; i < count; i += 8) {
                const std::uint8_t bits = Byte();
                for (int b = 0; b < 8 && i + b < count; ++b) {
                    defined += (bits >> (7 - b)) & 1u;
                }
            }
        }
        Skip(4 * defined);
    }

    void Header() {
        for (std::uint8_t property = Byte(); property != kEnd; property = Byte()) {
            switch (property) {
                case kArchiveProperties:
                    while (Byte() != kEnd) {
                        Skip(Number());
                    }
                    break;
                case kAdditionalStreamsInfo:
                case kMainStreamsInfo:
                    Streams(false);
                    break;
                case kFilesInfo:
                    Count("files");
                    while (Byte() != kEnd) {
                        Skip(Number());
                    }
                    break;
                default:
                    Refuse("its header holds property " + std::to_string(property));
            }
        }
    }

    void Streams(bool encodedHeader) {
        std::uint64_t packStreams = 0;
        std::uint64_t packBytes = 0;
        std::vector<std::uint64_t> outStreams;  // per folder
        std::uint64_t unpackBytes = 0;
        for (std::uint8_t property = Byte(); property != kEnd; property = Byte()) {
            if (property == kPackInfo) {
                const std::uint64_t position = Number();
                packed_.position = position;
                packStreams = Count("packed streams");
                for (std::uint8_t inner = Byte(); inner != kEnd; inner = Byte()) {
                    if (inner == kSize) {
                        for (std::uint64_t i = 0; i < packStreams; ++i) {
                            const std::uint64_t size = Number();
                            if (encoded_) {
                                packed_.packSizes.push_back(size);
                            }
                            packBytes += size;
                            if (size > fileBytes_ || packBytes > fileBytes_ ||
                                position > fileBytes_) {
                                Refuse(
                                    "its header declares packed streams larger than the "
                                    "file");
                            }
                        }
                    } else if (inner == kCrc) {
                        Digests(packStreams);
                    } else {
                        Refuse("its pack information holds property " + std::to_string(inner));
                    }
                }
            } else if (property == kUnpackInfo) {
                if (Byte() != kFolder) {
                    Refuse("its unpack information has no folders");
                }
                const std::uint64_t folders = Count("folders");
                if (Byte() != 0) {
                    Refuse("its folders are stored outside the header");
                }
                for (std::uint64_t i = 0; i < folders; ++i) {
                    outStreams.push_back(Folder());
                }
                if (Byte() != kCodersUnpackSize) {
                    Refuse("its folders have no unpacked sizes");
                }
                for (const std::uint64_t streams : outStreams) {
                    for (std::uint64_t i = 0; i < streams; ++i) {
                        const std::uint64_t size = Number();
                        if (encoded_) {
                            packed_.unpackSizes.push_back(size);
                        }
                        unpackBytes =
                            size > kMaxHeaderBytes * kMaxHeaderRatio ? size : unpackBytes + size;
                    }
                }
                for (std::uint8_t inner = Byte(); inner != kEnd; inner = Byte()) {
                    if (inner != kCrc) {
                        Refuse("its unpack information holds property " + std::to_string(inner));
                    }
                    Digests(folders);
                }
            } else if (property == kSubStreamsInfo) {
                SubStreams(outStreams.size());
            } else {
                Refuse("its streams information holds property " + std::to_string(property));
            }
        }
        if (encodedHeader && unpackBytes > std::min(kMaxHeaderBytes, packBytes * kMaxHeaderRatio +
                                                                         kHeaderSlackBytes)) {
            Refuse("its compressed header declares " + std::to_string(unpackBytes) +
                   " bytes from " + std::to_string(packBytes));
        }
    }

    // Returns the folder's output streams.
    std::uint64_t Folder() {
        const std::uint64_t coders = Count("coders");
        std::uint64_t inStreams = 0;
        std::uint64_t outStreams = 0;
        std::vector<Coder> folder;
        for (std::uint64_t i = 0; i < coders; ++i) {
            const std::uint8_t flags = Byte();
            Coder coder;
            coder.id = Take(flags & 0x0Fu);
            if ((flags & 0x10u) != 0) {
                inStreams += Count("coder input streams");
                outStreams += Count("coder output streams");
            } else {
                ++inStreams;
                ++outStreams;
            }
            if ((flags & 0x20u) != 0) {
                coder.properties = Take(Number());
            }
            if (!encoded_) {
                CheckDecoderMemory(coder);
            }
            if (encoded_) {
                folder.push_back(std::move(coder));
            }
            if (inStreams > Left() + 64 || outStreams > Left() + 64) {
                Refuse("its header declares more coder streams than it holds");
            }
        }
        if (outStreams == 0) {
            Refuse("a folder has no output stream");
        }
        if (encoded_) {
            packed_.folders.push_back(std::move(folder));
        }
        const std::uint64_t bindPairs = outStreams - 1;
        for (std::uint64_t i = 0; i < bindPairs; ++i) {
            Number();
            Number();
        }
        if (inStreams < bindPairs) {
            Refuse("a folder binds more streams than it has");
        }
        const std::uint64_t packed = inStreams - bindPairs;
        if (packed > 1) {
            for (std::uint64_t i = 0; i < packed; ++i) {
                Number();
            }
        }
        return outStreams;
    }

    void SubStreams(std::size_t folders) {
        std::vector<std::uint64_t> streams(folders, 1);
        std::uint8_t property = Byte();
        std::uint64_t total = folders;
        if (property == kNumUnpackStream) {
            total = 0;
            for (std::uint64_t& count : streams) {
                // Every stream but the first of a folder has its size written.
                count = Count("unpacked streams");
                total += count;
                if (total > Left() + folders) {
                    Refuse("its header declares more unpacked streams than it holds");
                }
            }
            property = Byte();
        }
        if (property == kSize) {
            for (const std::uint64_t count : streams) {
                for (std::uint64_t i = 1; i < count; ++i) {
                    Number();
                }
            }
            property = Byte();
        }
        for (; property != kEnd; property = Byte()) {
            if (property != kCrc) {
                Refuse("its substreams information holds property " + std::to_string(property));
            }
            Digests(total);
        }
    }

    const std::vector<std::uint8_t>& bytes_;
    std::uint64_t fileBytes_;
    std::size_t at_ = 0;
    bool encoded_ = false;
    PackedHeader packed_;
};

struct LzmaEnd {
    void operator()(lzma_stream* stream) const { lzma_end(stream); }
};

// The `size` bytes an LZMA or LZMA2 coder with `properties` decodes from `packed`.
std::vector<std::uint8_t> DecodeLzma(lzma_vli filterId, const std::vector<std::uint8_t>& properties,
                                     const std::vector<std::uint8_t>& packed, std::uint64_t size) {
    lzma_filter filters[2] = {{filterId, nullptr}, {LZMA_VLI_UNKNOWN, nullptr}};
    if (lzma_properties_decode(&filters[0], nullptr, properties.data(), properties.size()) !=
        LZMA_OK) {
        Refuse("its compressed header has coder properties that cannot be read");
    }
    const std::unique_ptr<lzma_options_lzma, decltype(&std::free)> options(
        static_cast<lzma_options_lzma*>(filters[0].options), &std::free);
    // No match reaches back further than the header is long: a larger dictionary would only let
    // the properties decide how much memory is taken.
    options->dict_size = static_cast<std::uint32_t>(std::clamp<std::uint64_t>(
        options->dict_size, LZMA_DICT_SIZE_MIN, std::max<std::uint64_t>(size, LZMA_DICT_SIZE_MIN)));
    lzma_stream stream = LZMA_STREAM_INIT;
    const lzma_ret started = lzma_raw_decoder(&stream, filters);
    const std::unique_ptr<lzma_stream, LzmaEnd> ended(&stream);
    if (started == LZMA_MEM_ERROR) {
        throw std::bad_alloc();
    }
    if (started != LZMA_OK) {
        Refuse("its compressed header has coder properties that cannot be read");
    }
    std::vector<std::uint8_t> header(static_cast<std::size_t>(size));
    stream.next_in = packed.data();
    stream.avail_in = packed.size();
    stream.next_out = header.data();
    stream.avail_out = header.size();
    for (;;) {
        const std::size_t room = stream.avail_out;
        const std::size_t left = stream.avail_in;
        const lzma_ret rc = lzma_code(&stream, LZMA_RUN);
        if (rc == LZMA_MEM_ERROR) {
            throw std::bad_alloc();
        }
        if (stream.avail_out == 0) {
            return header;
        }
        if ((rc != LZMA_OK) || (stream.avail_out == room && stream.avail_in == left)) {
            Refuse("its compressed header does not decode to its " + std::to_string(size) +
                   " bytes");
        }
    }
}

// The header a compressed header decodes to, as 7-Zip packs it: one folder of one coder, copy,
// LZMA or LZMA2, over one packed stream. Its size was checked against its packed size; it is
// decoded here, where that size bounds it, so that what it declares can be checked in turn.
std::vector<std::uint8_t> DecodeHeader(int fd, const PackedHeader& packedHeader,
                                       std::uint64_t fileBytes) {
    if (packedHeader.folders.size() != 1 || packedHeader.folders[0].size() != 1 ||
        packedHeader.packSizes.size() != 1 || packedHeader.unpackSizes.size() != 1) {
        Refuse("its compressed header is packed otherwise than in one stream by one coder");
    }
    const Coder& coder = packedHeader.folders[0][0];
    const std::uint64_t packedBytes = packedHeader.packSizes[0];
    const std::uint64_t size = packedHeader.unpackSizes[0];
    if (kSignatureHeaderBytes + packedHeader.position + packedBytes > fileBytes) {
        Refuse("its compressed header lies beyond the end of the file");
    }
    std::vector<std::uint8_t> packed(static_cast<std::size_t>(packedBytes));
    if (pread(fd, packed.data(), packed.size(),
              static_cast<off_t>(kSignatureHeaderBytes + packedHeader.position)) !=
        static_cast<ssize_t>(packed.size())) {
        Refuse("its compressed header cannot be read");
    }
    if (coder.id == std::vector<std::uint8_t>{0x00}) {
        if (packed.size() != size) {
            Refuse("its stored header does not have its " + std::to_string(size) + " bytes");
        }
        return packed;
    }
    if (coder.id == std::vector<std::uint8_t>{0x21}) {
        return DecodeLzma(LZMA_FILTER_LZMA2, coder.properties, packed, size);
    }
    if (coder.id == std::vector<std::uint8_t>{0x03, 0x01, 0x01}) {
        return DecodeLzma(LZMA_FILTER_LZMA1, coder.properties, packed, size);
    }
    Refuse("its compressed header uses a coder other than LZMA, LZMA2 or copy");
}

}  // namespace

void CheckSevenZipHeader(int fd) {
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        return;  // libarchive meets the same failure and reports it
    }
    const auto fileBytes = static_cast<std::uint64_t>(info.st_size);
    std::uint8_t start[kSignatureHeaderBytes];
    if (pread(fd, start, sizeof start, 0) != static_cast<ssize_t>(sizeof start)) {
        return;
    }
    const std::uint64_t offset = LittleU64(start + 12);
    const std::uint64_t size = LittleU64(start + 20);
    // No start header is all zeros, its CRC-32 included: a write cut short leaves it so, and
    // the archive would otherwise read as empty.
    if (fileBytes > kSignatureHeaderBytes && std::all_of(start + 8, start + kSignatureHeaderBytes,
                                                         [](std::uint8_t b) { return b == 0; })) {
        Refuse(
            "its start header is zeroed, as a write cut short leaves it, so its entries "
            "cannot be found");
    }
    if (size == 0) {
        return;  // an empty archive, or one libarchive finds the header of by other means
    }
    if (offset > fileBytes || size > fileBytes - std::min(offset, fileBytes) ||
        kSignatureHeaderBytes + offset + size > fileBytes) {
        Refuse("its header lies beyond the end of the file");
    }
    if (size > kMaxHeaderBytes) {
        Refuse("its header is larger than " + std::to_string(kMaxHeaderBytes) + " bytes");
    }
    std::vector<std::uint8_t> header(static_cast<std::size_t>(size));
    if (pread(fd, header.data(), header.size(),
              static_cast<off_t>(kSignatureHeaderBytes + offset)) !=
        static_cast<ssize_t>(header.size())) {
        return;
    }
    const std::optional<PackedHeader> packed = HeaderReader(header, fileBytes).Check();
    if (packed) {
        const std::vector<std::uint8_t> decoded = DecodeHeader(fd, *packed, fileBytes);
        // A decoded header is a plain one: it cannot be compressed again.
        if (decoded.empty() || decoded[0] != kHeader) {
            Refuse("its compressed header does not decode to a header");
        }
        HeaderReader(decoded, fileBytes).Check();
    }
}

}  // namespace velpin
