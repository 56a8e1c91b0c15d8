// The fixed words a movie is shown with: tag names as the window and as the file format give them,
// icon categories, the codes the format defines, and first-action names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "swfff/document.h"

// Icon categories, which double as image indices of tag nodes.
enum TagCategory : int {
    categoryControl = 1,
    categoryDefinition = 2,
    categoryUnknown = 3,
};

// Tag codes are the upper 10 bits of a tag header's first word.
inline constexpr std::size_t kTagCodeCount = 1024;

// The codes the program acts on. Those above 48 have no name of their own here ("Unknown"); the
// companion's scan and info look for them.
enum TagCodes : std::uint16_t {
    tagEnd = 0,
    tagShowFrame = 1,
    tagSetBackgroundColor = 9,
    tagDoAction = 12,
    tagProtect = 24,
    tagDefineSprite = 39,
    tagProductInfo = 41,
    tagFrameLabel = 43,
    tagExportAssets = 56,
    tagImportAssets = 57,
    tagEnableDebugger = 58,
    tagDoInitAction = 59,
    tagEnableDebugger2 = 64,
    tagScriptLimits = 65,
    tagFileAttributes = 69,
    tagImportAssets2 = 71,
    tagDoAbc = 72,
    tagSymbolClass = 76,
    tagMetadata = 77,
    tagDoAbcDefine = 82,
    tagDefineBinaryData = 87,
};

// A DefineSprite body starts with its character id and frame count, before its own tags.
inline constexpr int kSpriteFieldsBytes = 4;

// The window's name: the format's name for the codes the window knows, "Unknown" for the rest.
// Never null.
const char* TagTypeName(std::uint16_t code);
int TagIconIndex(std::uint16_t code);
// The name the file format gives `code`, or null when no version of the format defines it.
const char* TagFormatName(std::uint16_t code);
bool IsFormatDefinedCode(std::uint16_t code);
// Names the first action record of a DoAction item; reads only inside the item's own bytes.
std::string FirstActionName(const TagItem& item);
