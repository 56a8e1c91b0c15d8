// Items by their list index, as `tags` numbers them.
#pragma once

#include <cstdint>

#include "swfff/document.h"

namespace velpin {

// The item at `index` of the loaded `movie`'s list, or null past its end; `count` receives how
// many items the walk passed, which past the end is every item of the list.
inline const TagItem* ItemAt(const CInputScript& movie, std::uint64_t index, std::uint64_t& count) {
    const TagItem* item = movie.FirstTag;
    for (count = 0; item != nullptr && count < index; item = item->Next) {
        ++count;
    }
    return item;
}

}  // namespace velpin
