// The fixed words a movie is shown with: tag names, icon categories and first-action names.
#pragma once

#include <cstdint>
#include <string>

#include "document.h"

// Icon categories, which double as image indices of tag nodes.
enum TagCategory : int {
    categoryControl = 1,
    categoryDefinition = 2,
    categoryUnknown = 3,
};

enum TagCodes : std::uint16_t {
    tagEnd = 0,
    tagShowFrame = 1,
    tagDoAction = 12,
    tagDefineSprite = 39,
};

std::string TagTypeName(std::uint16_t code);
int TagIconIndex(std::uint16_t code);
// Names the first action record of a DoAction item; reads only inside the item's own bytes.
std::string FirstActionName(const TagItem& item);
