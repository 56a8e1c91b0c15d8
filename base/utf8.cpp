#include "base/utf8.h"

#include <cstdint>

namespace velpin {

std::size_t WellFormedUtf8Length(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    const std::uint8_t lead = byte(0);
    if (lead < 0x80) {
        return 1;
    }
    std::size_t length;
    std::uint8_t secondMin = 0x80;
    std::uint8_t secondMax = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) {
            secondMin = 0xA0;  // overlong below
        } else if (lead == 0xED) {
            secondMax = 0x9F;  // surrogates above
        }
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) {
            secondMin = 0x90;  // overlong below
        } else if (lead == 0xF4) {
            secondMax = 0x8F;  // beyond U+10FFFF above
        }
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < secondMin || byte(1) > secondMax) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) {
            return 0;
        }
    }
    return length;
}

bool IsWellFormedUtf8(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = WellFormedUtf8Length(text.substr(at));
        if (length == 0) {
            return false;
        }
        at += length;
    }
    return true;
}

}  // namespace velpin
