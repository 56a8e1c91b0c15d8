// JPEG images read with libjpeg-turbo: their size from the header alone, and their pixels as RGB
// rows, one at a time. A JPEG that libjpeg refuses raises a content Error with libjpeg's words;
// one it only warns about (data cut short, say) is decoded as far as libjpeg goes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace velpin {

struct JpegSize {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

// The size the JPEG `bytes` declares, checked against the bitmap limits.
JpegSize ReadJpegSize(const std::uint8_t* bytes, std::size_t size);

class JpegRows {
  public:
    // Starts decoding; the bytes must stay put until the decoder is gone.
    JpegRows(const std::uint8_t* bytes, std::size_t size);
    JpegRows(const JpegRows&) = delete;
    JpegRows& operator=(const JpegRows&) = delete;
    ~JpegRows();

    JpegSize Size() const { return size_; }
    // The next row as RGB, 3 bytes a pixel.
    void Next(std::uint8_t* rgb);

    // libjpeg's decompressor and the error jump around it; ReadJpegSize uses one too.
    struct State;

  private:
    std::unique_ptr<State> state_;
    JpegSize size_;
};

}  // namespace velpin
