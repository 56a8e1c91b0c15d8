// What a lenient read found wrong with a movie, in the order found.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "codec/signature.h"
#include "swfff/loader.h"

namespace velpin {

// A compressed movie's stream that did not end as it should: it stopped early or broke (`cut`),
// or other bytes follow its end. A stream that broke on data that is wrong (a block that cannot
// be decoded, a checksum that does not match) is `damaged` too: bytes it gave may be wrong, which
// no repair can tell or mend.
struct StreamFault {
    Signature signature = Signature::None;
    std::uint64_t inflated = 0;  // the movie's bytes produced, its 8 header bytes included
    std::string reason;
    bool cut = false;
    bool damaged = false;
};

// Only a readable movie (`load.readable`) has faults to give; any other is refused as without
// leniency.
struct MovieFaults {
    std::optional<StreamFault> stream;
    LoadFaults load;

    bool None() const { return !stream && !load.lengthDiffers && load.walk.result == loadOk; }
    // Whether a repair mends every fault: a cut, a wrong length and bytes after the end it does;
    // damaged bytes it can only write as they came.
    bool Mendable() const { return !stream || !stream->damaged; }
};

}  // namespace velpin
