// A zlib stream read in exact amounts, for pixel rows and alpha planes: each read either fills
// what it was asked for or says the stream holds no more. The stream is decoded a block ahead of
// the reads, since the decoder is slow to hand out a few hundred bytes at a time; what lies
// beyond that block is never decoded, so a stream longer than its header computes costs nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "codec/inflater.h"

namespace velpin {

class InflatedReader {
  public:
    // `what` names the data ("the pixels") and `expected` how many bytes its header computes,
    // for the error.
    InflatedReader(const std::uint8_t* bytes, std::size_t size, const char* what,
                   std::uint64_t expected);

    // Fills `out` with the next `count` bytes; raises a content Error when the stream is corrupt
    // or ends first.
    void Read(std::uint8_t* out, std::size_t count);

  private:
    Inflater inflater_;
    std::vector<std::uint8_t> block_;
    std::size_t blockStart_ = 0;  // the bytes of block_ not yet handed out
    std::size_t blockEnd_ = 0;
    const char* what_;
    std::uint64_t expected_;
    std::uint64_t produced_ = 0;
    bool ended_ = false;
};

}  // namespace velpin
