// The movies of at most 4 MiB that cost the loader, the tree and the writer the most, for the
// limits tests and the benchmarks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "movie_builder.h"

namespace testmovie {

// A header of exactly `headerBytes` (13 to 29), so that a movie can be filled to an exact size
// with 2-byte tags.
HeaderSpec HeaderOfLength(int headerBytes, std::uint16_t frameCount);
// `count` copies of `tag` in one block.
Bytes Repeated(const Bytes& tag, std::size_t count);
// `levels` sprites, each holding the next one whole and ending with its End, each carrying
// `fillerTags` 2-byte tags before the next level: 12 + 2 * fillerTags bytes a level.
Bytes NestedSprites(std::size_t levels, std::size_t fillerTags = 0);

struct WorstMovie {
    std::string name;
    std::string shape;  // in words, for a report
    Bytes bytes;
};

// The six shapes, each about 4 MiB:
//   a  2,097,141 minimal tags, 65,535 of them ShowFrames;
//   b  2,097,144 top-level ShowFrames, so that frame indices wrap 32 times;
//   c  one DefineSprite holding 2,097,135 tags;
//   d  65,535 nested sprites;
//   e  chained run-on sprites whose items reach the item cap exactly;
//   f  524,283 DoActions whose first action is a GotoFrame.
std::vector<WorstMovie> WorstMovies();

}  // namespace testmovie
