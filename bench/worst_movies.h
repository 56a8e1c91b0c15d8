// The movies of at most 4 MiB that cost the loader, the tree and the writer the most, for the
// benchmarks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/movie_builder.h"

namespace testmovie {

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
// Only the shapes whose letters `shapes` holds are made.
std::vector<WorstMovie> WorstMovies(const std::string& shapes = "abcdef");

}  // namespace testmovie
