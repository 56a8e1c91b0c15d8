// A zlib stream read in exact amounts, for pixel rows and alpha planes: each read either fills
// what it was asked for or says the stream holds no more. What follows the bytes read is never
// decoded, so a stream longer than its header computes costs nothing.
#pragma once

#include <cstddef>
#include <cstdint>

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
    const char* what_;
    std::uint64_t expected_;
    std::uint64_t produced_ = 0;
    bool ended_ = false;
};

}  // namespace velpin
