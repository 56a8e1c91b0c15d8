// Delete Tag on many items at once, by list index or by tag code, and what it takes out of the
// saved file.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "swfff/document.h"

namespace velpin {

struct Deletion {
    std::uint64_t items = 0;              // in the list as loaded
    std::optional<std::uint64_t> beyond;  // the largest index asked for, when it is past the list
    std::int64_t topLevelTags = 0;        // removed
    std::int64_t topLevelBytes = 0;       // their header and body bytes
    // Removed items inside a top-level item that stays, whose bytes a save still writes with it.
    std::int64_t nestedStillWritten = 0;
};

// Removes from the loaded `movie` every item whose index (as loaded) is among `indices` or whose
// code is among `codes`. An index past the list removes nothing; the rest are removed all the
// same, and `beyond` says so, for the caller to refuse the save.
Deletion DeleteItems(CInputScript& movie, const std::vector<std::uint64_t>& indices,
                     const std::vector<std::uint16_t>& codes);

}  // namespace velpin
