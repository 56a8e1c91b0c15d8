// The JPEG a movie's image tag holds, as a file any viewer opens.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velpin {

// The JPEG stream `tables` followed by `image` (either may be empty), with the end and start of
// image markers between its header segments dropped: movies keep the coding tables of DefineBits
// in a JPEGTables tag of their own, older encoders wrote DefineBitsJPEG2's tables and image as two
// streams one after the other, and some put a stray end and start of image before the first
// marker. Every other byte is kept as it is; what cannot be walked as marker segments is kept as
// it comes, for libjpeg to judge.
std::vector<std::uint8_t> JoinJpegStreams(const std::uint8_t* tables, std::size_t tablesSize,
                                          const std::uint8_t* image, std::size_t imageSize);

}  // namespace velpin
