// The bytes an xz stream stands for, decoded as they are read, in no more memory than a bound:
// the dictionary an xz file asks for is taken on its word by the decoder, up to 4 GiB.
#pragma once

#include <lzma.h>

#include <cstdint>
#include <vector>

#include "archive/byte_stream.h"

namespace velpin {

// What an xz stream may make its decoder take: xz -9 takes 65 MiB, and zstd's decoder refuses a
// window larger than this by default.
inline constexpr std::uint64_t kMaxDecoderBytes = 128u << 20;

class XzStream : public ByteStream {
  public:
    // Damage raises an entry Error when `entryLevel`, a container's otherwise.
    XzStream(ByteStream& inner, bool entryLevel);
    XzStream(const XzStream&) = delete;
    XzStream& operator=(const XzStream&) = delete;
    ~XzStream() override;
    std::size_t Read(std::uint8_t* buffer, std::size_t count) override;

  private:
    ByteStream& inner_;
    bool entryLevel_;
    lzma_stream stream_ = LZMA_STREAM_INIT;
    std::vector<std::uint8_t> input_;
    bool innerEnded_ = false;
    bool ended_ = false;
};

// Whether `bytes` start an xz stream.
bool StartsXz(const std::uint8_t* bytes, std::size_t count);

}  // namespace velpin
