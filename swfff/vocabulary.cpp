#include "swfff/vocabulary.h"

#include <array>

#include "swfff/little_endian.h"

namespace {

struct TagWord {
    const char* name;
    int category;
};

constexpr TagWord kUnknownTag{"Unknown", categoryUnknown};

// Dense over codes 0 to 48; the gaps hold the default row.
constexpr std::array<TagWord, 49> kTagWords{{
    {"End", categoryControl},                     // 0
    {"ShowFrame", categoryControl},               // 1
    {"DefineShape", categoryDefinition},          // 2
    {"FreeCharacter", categoryDefinition},        // 3
    {"PlaceObject", categoryControl},             // 4
    {"RemoveObject", categoryControl},            // 5
    {"DefineBits", categoryDefinition},           // 6
    {"DefineButton", categoryDefinition},         // 7
    {"JPEGTables", categoryDefinition},           // 8
    {"SetBackgroundColor", categoryControl},      // 9
    {"DefineFont", categoryDefinition},           // 10
    {"DefineText", categoryDefinition},           // 11
    {"DoAction", categoryControl},                // 12
    {"DefineFontInfo", categoryDefinition},       // 13
    {"DefineSound", categoryDefinition},          // 14
    {"StartSound", categoryControl},              // 15
    kUnknownTag,                                  // 16
    {"DefineButtonSound", categoryDefinition},    // 17
    {"SoundStreamHead", categoryDefinition},      // 18
    {"SoundStreamBlock", categoryDefinition},     // 19
    {"DefineBitsLossless", categoryDefinition},   // 20
    {"DefineBitsJPEG2", categoryDefinition},      // 21
    {"DefineShape2", categoryDefinition},         // 22
    {"DefineButtonCxform", categoryDefinition},   // 23
    kUnknownTag,                                  // 24
    kUnknownTag,                                  // 25
    {"PlaceObject2", categoryControl},            // 26
    kUnknownTag,                                  // 27
    {"RemoveObject2", categoryControl},           // 28
    kUnknownTag,                                  // 29
    kUnknownTag,                                  // 30
    kUnknownTag,                                  // 31
    {"DefineShape3", categoryDefinition},         // 32
    {"DefineText2", categoryDefinition},          // 33
    {"DefineButton2", categoryDefinition},        // 34
    {"DefineBitsJPEG3", categoryDefinition},      // 35
    {"DefineBitsLossless2", categoryDefinition},  // 36
    kUnknownTag,                                  // 37
    kUnknownTag,                                  // 38
    {"DefineSprite", categoryDefinition},         // 39
    {"NameCharacter", categoryDefinition},        // 40
    kUnknownTag,                                  // 41
    kUnknownTag,                                  // 42
    {"FrameLabel", categoryControl},              // 43
    kUnknownTag,                                  // 44
    {"SoundStreamHead2", categoryDefinition},     // 45
    {"DefineMorphShape", categoryDefinition},     // 46
    kUnknownTag,                                  // 47
    {"DefineFont2", categoryDefinition},          // 48
}};

const TagWord& LookUpTag(std::uint16_t code) {
    return code < kTagWords.size() ? kTagWords[code] : kUnknownTag;
}

constexpr std::uint8_t kActionGotoFrame = 0x81;

// Dense over every action code; unnamed codes are null and fall to "Unknown".
constexpr std::array<const char*, 256> MakeActionNames() {
    std::array<const char*, 256> names{};
    names[0x00] = "None";
    names[0x04] = "NextFrame";
    names[0x05] = "PrevFrame";
    names[0x06] = "Play";
    names[0x07] = "Stop";
    names[0x08] = "ToggleQuality";
    names[0x09] = "StopSounds";
    names[0x80] = "HasLength";
    names[kActionGotoFrame] = "GotoFrame";
    names[0x83] = "GetURL";
    names[0x8A] = "WaitForFrame";
    names[0x8B] = "SetTarget";
    names[0x8C] = "GotoLabel";
    return names;
}

constexpr std::array<const char*, 256> kActionNames = MakeActionNames();

}  // namespace

std::string TagTypeName(std::uint16_t code) {
    return LookUpTag(code).name;
}

int TagIconIndex(std::uint16_t code) {
    return LookUpTag(code).category;
}

std::string FirstActionName(const TagItem& item) {
    // An empty body holds no action list at all, which reads as an empty one.
    if (item.BodyLength <= 0) {
        return "None";
    }
    const std::uint8_t* const body = item.Data + item.HeaderLength;
    const std::uint8_t code = body[0];
    const char* const name = kActionNames[code];
    if (name == nullptr) {
        return "Unknown";
    }
    // GotoFrame's target sits behind the code and the record's 16-bit length; a record cut short
    // keeps the bare name rather than inventing a number.
    if (code == kActionGotoFrame && item.BodyLength >= 5) {
        const unsigned frame = LittleU16(body + 3);
        return std::string(name) + " " + std::to_string(frame);
    }
    return name;
}
