// The figures `scan` gives for one loaded movie, computed apart from the JSON that shows them.
#pragma once

#include <cstdint>
#include <vector>

#include "swfff/document.h"

namespace velpin {

struct TagCodeFigures {
    std::int64_t count = 0;
    std::int64_t topLevelBytes = 0;  // header and body of the top-level tags with the code
};

struct MovieStatistics {
    MovieHeader header;
    std::int64_t tags = 0;
    std::int64_t topLevelTags = 0;
    std::int64_t maxDepth = 0;
    std::int64_t showFrames = 0;        // top-level ShowFrames only: a sprite's frames are its own
    std::int64_t trailingBytes = 0;     // what a save would drop after the last top-level tag
    std::vector<TagCodeFigures> codes;  // by tag code, one entry per code a header can hold
    bool as3 = false;                   // either DoABC tag
    bool debug = false;                 // either EnableDebugger tag
    bool metadata = false;
    bool productInfo = false;
};

// Figures for the movie loaded into `movie`, whose bytes are this thread's FileBytes.
MovieStatistics ComputeMovieStatistics(const CInputScript& movie);

}  // namespace velpin
