// What a lenient read found wrong with a movie, in the order found.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "codec/signature.h"
#include "swfff/loader.h"

namespace velpin {

// A compressed movie's stream that did not end as it should: it stopped early or broke (`cut`),
// or other bytes follow its end.
struct StreamFault {
    Signature signature = Signature::None;
    std::uint64_t inflated = 0;  // the movie's bytes produced, its 8 header bytes included
    std::string reason;
    bool cut = false;
};

// Only a readable movie (`load.readable`) has faults to give; any other is refused as without
// leniency.
struct MovieFaults {
    std::optional<StreamFault> stream;
    LoadFaults load;

    bool None() const { return !stream && !load.lengthDiffers && load.walk.result == loadOk; }
};

}  // namespace velpin
