#include "swfff/vocabulary.h"

#include <array>

#include "swfff/little_endian.h"

namespace {

// One row per tag code: the name the file format gives it, and its icon category. The window
// names exactly the codes outside categoryUnknown, with the format's own name; every other code is
// "Unknown" there, whether or not a later version of the format defines it.
struct TagWord {
    const char* formatName;  // null: no version of the format defines the code
    int category;
};

constexpr TagWord kUndefinedTag{nullptr, categoryUnknown};

// Dense over codes 0 to 94, the highest any version of the format defines; the gaps and every
// code above hold the default row. 72 is DoABC's first form, without flags and name, and carries
// its name too.
constexpr std::array<TagWord, 95> kTagWords{{
    {"End", categoryControl},                           // 0
    {"ShowFrame", categoryControl},                     // 1
    {"DefineShape", categoryDefinition},                // 2
    {"FreeCharacter", categoryDefinition},              // 3
    {"PlaceObject", categoryControl},                   // 4
    {"RemoveObject", categoryControl},                  // 5
    {"DefineBits", categoryDefinition},                 // 6
    {"DefineButton", categoryDefinition},               // 7
    {"JPEGTables", categoryDefinition},                 // 8
    {"SetBackgroundColor", categoryControl},            // 9
    {"DefineFont", categoryDefinition},                 // 10
    {"DefineText", categoryDefinition},                 // 11
    {"DoAction", categoryControl},                      // 12
    {"DefineFontInfo", categoryDefinition},             // 13
    {"DefineSound", categoryDefinition},                // 14
    {"StartSound", categoryControl},                    // 15
    kUndefinedTag,                                      // 16
    {"DefineButtonSound", categoryDefinition},          // 17
    {"SoundStreamHead", categoryDefinition},            // 18
    {"SoundStreamBlock", categoryDefinition},           // 19
    {"DefineBitsLossless", categoryDefinition},         // 20
    {"DefineBitsJPEG2", categoryDefinition},            // 21
    {"DefineShape2", categoryDefinition},               // 22
    {"DefineButtonCxform", categoryDefinition},         // 23
    {"Protect", categoryUnknown},                       // 24
    kUndefinedTag,                                      // 25
    {"PlaceObject2", categoryControl},                  // 26
    kUndefinedTag,                                      // 27
    {"RemoveObject2", categoryControl},                 // 28
    kUndefinedTag,                                      // 29
    kUndefinedTag,                                      // 30
    kUndefinedTag,                                      // 31
    {"DefineShape3", categoryDefinition},               // 32
    {"DefineText2", categoryDefinition},                // 33
    {"DefineButton2", categoryDefinition},              // 34
    {"DefineBitsJPEG3", categoryDefinition},            // 35
    {"DefineBitsLossless2", categoryDefinition},        // 36
    {"DefineEditText", categoryUnknown},                // 37
    kUndefinedTag,                                      // 38
    {"DefineSprite", categoryDefinition},               // 39
    {"NameCharacter", categoryDefinition},              // 40
    {"ProductInfo", categoryUnknown},                   // 41
    kUndefinedTag,                                      // 42
    {"FrameLabel", categoryControl},                    // 43
    kUndefinedTag,                                      // 44
    {"SoundStreamHead2", categoryDefinition},           // 45
    {"DefineMorphShape", categoryDefinition},           // 46
    kUndefinedTag,                                      // 47
    {"DefineFont2", categoryDefinition},                // 48
    kUndefinedTag,                                      // 49
    kUndefinedTag,                                      // 50
    kUndefinedTag,                                      // 51
    kUndefinedTag,                                      // 52
    kUndefinedTag,                                      // 53
    kUndefinedTag,                                      // 54
    kUndefinedTag,                                      // 55
    {"ExportAssets", categoryUnknown},                  // 56
    {"ImportAssets", categoryUnknown},                  // 57
    {"EnableDebugger", categoryUnknown},                // 58
    {"DoInitAction", categoryUnknown},                  // 59
    {"DefineVideoStream", categoryUnknown},             // 60
    {"VideoFrame", categoryUnknown},                    // 61
    {"DefineFontInfo2", categoryUnknown},               // 62
    {"DebugID", categoryUnknown},                       // 63
    {"EnableDebugger2", categoryUnknown},               // 64
    {"ScriptLimits", categoryUnknown},                  // 65
    {"SetTabIndex", categoryUnknown},                   // 66
    kUndefinedTag,                                      // 67
    kUndefinedTag,                                      // 68
    {"FileAttributes", categoryUnknown},                // 69
    {"PlaceObject3", categoryUnknown},                  // 70
    {"ImportAssets2", categoryUnknown},                 // 71
    {"DoABC", categoryUnknown},                         // 72
    {"DefineFontAlignZones", categoryUnknown},          // 73
    {"CSMTextSettings", categoryUnknown},               // 74
    {"DefineFont3", categoryUnknown},                   // 75
    {"SymbolClass", categoryUnknown},                   // 76
    {"Metadata", categoryUnknown},                      // 77
    {"DefineScalingGrid", categoryUnknown},             // 78
    kUndefinedTag,                                      // 79
    kUndefinedTag,                                      // 80
    kUndefinedTag,                                      // 81
    {"DoABC", categoryUnknown},                         // 82
    {"DefineShape4", categoryUnknown},                  // 83
    {"DefineMorphShape2", categoryUnknown},             // 84
    kUndefinedTag,                                      // 85
    {"DefineSceneAndFrameLabelData", categoryUnknown},  // 86
    {"DefineBinaryData", categoryUnknown},              // 87
    {"DefineFontName", categoryUnknown},                // 88
    {"StartSound2", categoryUnknown},                   // 89
    {"DefineBitsJPEG4", categoryUnknown},               // 90
    {"DefineFont4", categoryUnknown},                   // 91
    kUndefinedTag,                                      // 92
    {"EnableTelemetry", categoryUnknown},               // 93
    {"PlaceObject4", categoryUnknown},                  // 94
}};

const TagWord& LookUpTag(std::uint16_t code) {
    return code < kTagWords.size() ? kTagWords[code] : kUndefinedTag;
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

const char* TagTypeName(std::uint16_t code) {
    const TagWord& word = LookUpTag(code);
    return word.category == categoryUnknown ? "Unknown" : word.formatName;
}

const char* TagFormatName(std::uint16_t code) {
    return LookUpTag(code).formatName;
}

bool IsFormatDefinedCode(std::uint16_t code) {
    return TagFormatName(code) != nullptr;
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
