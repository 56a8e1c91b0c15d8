// Case and URI schemes over ASCII alone: archive entry names, WARC and HTTP header fields, URL
// schemes and file extensions are compared as their formats define them, never by the locale's
// rules. Defined here, so that the classification of references, which runs over every string of
// a movie's code, inlines them.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

namespace velpin {

constexpr bool IsAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

constexpr bool IsAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

constexpr char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// `text` with its ASCII capitals made small; every other byte stays as it is.
inline std::string AsciiLowered(std::string_view text) {
    std::string lowered(text);
    std::transform(lowered.begin(), lowered.end(), lowered.begin(), AsciiLower);
    return lowered;
}

// Whether `text` is `lower`, which is in lowercase, in any case.
constexpr bool SameIgnoringAsciiCase(std::string_view text, std::string_view lower) {
    if (text.size() != lower.size()) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (AsciiLower(text[i]) != lower[i]) {
            return false;
        }
    }
    return true;
}

// Whether `text` ends in `lowerSuffix`, which is in lowercase, in any case.
constexpr bool EndsWithIgnoringAsciiCase(std::string_view text, std::string_view lowerSuffix) {
    return text.size() >= lowerSuffix.size() &&
           SameIgnoringAsciiCase(text.substr(text.size() - lowerSuffix.size()), lowerSuffix);
}

// RFC 3986, section 3.1: a scheme is a letter, then letters, digits, '+', '-' or '.'.
constexpr bool IsSchemeCharacter(char c) {
    return IsAsciiLetter(c) || IsAsciiDigit(c) || c == '+' || c == '-' || c == '.';
}

inline bool IsUriScheme(std::string_view text) {
    return !text.empty() && IsAsciiLetter(text[0]) &&
           std::all_of(text.begin() + 1, text.end(), IsSchemeCharacter);
}

}  // namespace velpin
