#include "archive/xz_stream.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

// libarchive starts liblzma's decoders for zip entries (LZMA and xz) with no memory limit, so
// that an entry may have a dictionary of up to 4 GiB taken on its word, and it offers no setting
// for that. These definitions come first in the process's symbol lookup, libarchive's calls
// included, and start liblzma's own decoders under the bound every xz stream here has: an entry
// that asks for more fails to decode, as an xz file that does.
namespace {

template <typename Function>
Function* LiblzmaOwn(const char* name) {
    return reinterpret_cast<Function*>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" lzma_ret lzma_alone_decoder(lzma_stream* stream, std::uint64_t memlimit) noexcept {
    static auto* const own =
        LiblzmaOwn<lzma_ret(lzma_stream*, std::uint64_t)>("lzma_alone_decoder");
    return own(stream, std::min(memlimit, velpin::kMaxDecoderBytes));
}

extern "C" lzma_ret lzma_stream_decoder(lzma_stream* stream, std::uint64_t memlimit,
                                        std::uint32_t flags) noexcept {
    static auto* const own =
        LiblzmaOwn<lzma_ret(lzma_stream*, std::uint64_t, std::uint32_t)>("lzma_stream_decoder");
    return own(stream, std::min(memlimit, velpin::kMaxDecoderBytes), flags);
}

namespace velpin {

namespace {

constexpr std::size_t kInputBytes = 64 * 1024;

}  // namespace

bool StartsXz(const std::uint8_t* bytes, std::size_t count) {
    return count >= 6 && std::memcmp(bytes,
                                     "\xFD"
                                     "7zXZ\0",
                                     6) == 0;
}

XzStream::XzStream(ByteStream& inner, bool entryLevel)
    : inner_(inner), entryLevel_(entryLevel), input_(kInputBytes) {
    const lzma_ret rc = lzma_stream_decoder(&stream_, kMaxDecoderBytes, LZMA_CONCATENATED);
    if (rc == LZMA_MEM_ERROR) {
        throw std::bad_alloc();
    }
    if (rc != LZMA_OK) {
        RaiseStreamError(entryLevel_,
                         "the xz decoder cannot start: liblzma error " + std::to_string(rc));
    }
}

XzStream::~XzStream() {
    lzma_end(&stream_);
}

std::size_t XzStream::Read(std::uint8_t* buffer, std::size_t count) {
    if (ended_ || count == 0) {
        return 0;
    }
    stream_.next_out = buffer;
    stream_.avail_out = count;
    while (stream_.avail_out == count) {
        if (stream_.avail_in == 0 && !innerEnded_) {
            const std::size_t got = inner_.Read(input_.data(), input_.size());
            innerEnded_ = got == 0;
            stream_.next_in = input_.data();
            stream_.avail_in = got;
        }
        const lzma_ret rc = lzma_code(&stream_, innerEnded_ ? LZMA_FINISH : LZMA_RUN);
        if (rc == LZMA_STREAM_END) {
            ended_ = true;
            break;
        }
        if (rc == LZMA_MEM_ERROR) {
            throw std::bad_alloc();
        }
        if (rc == LZMA_MEMLIMIT_ERROR) {
            RaiseStreamError(entryLevel_, "the xz data needs more than " +
                                              std::to_string(kMaxDecoderBytes >> 20) +
                                              " MiB of memory to decode");
        }
        if (rc == LZMA_BUF_ERROR) {
            RaiseStreamError(entryLevel_, "the compressed data is cut off");
        }
        if (rc != LZMA_OK) {
            RaiseStreamError(entryLevel_, rc == LZMA_DATA_ERROR || rc == LZMA_FORMAT_ERROR
                                              ? std::string("the xz data is corrupt")
                                              : "the xz data cannot be decoded: liblzma error " +
                                                    std::to_string(rc));
        }
    }
    return count - stream_.avail_out;
}

}  // namespace velpin
