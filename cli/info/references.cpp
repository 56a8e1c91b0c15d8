#include "cli/info/references.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace {

// Lists are folded when they reach twice what the last fold left, and never below this.
constexpr std::size_t kSmallestFold = 4096;

bool IsAsciiLetter(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool IsAsciiDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}

// The white space of a regular expression's \S, over single bytes.
bool IsWhiteSpace(unsigned char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// A scheme (a letter, then letters, digits, '+', '-' or '.'), "://", then no white space. Written
// out rather than as a std::regex: every string of the code passes through here, a million of
// them in a large movie, and the regex engine costs microseconds for each.
bool IsUrl(std::string_view text) {
    if (text.empty() || !IsAsciiLetter(static_cast<unsigned char>(text[0]))) {
        return false;
    }
    std::size_t i = 1;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (!IsAsciiLetter(c) && !IsAsciiDigit(c) && c != '+' && c != '-' && c != '.') {
            break;
        }
        ++i;
    }
    return text.substr(i, 3) == "://" && text.size() > i + 3 &&
           !IsWhiteSpace(static_cast<unsigned char>(text[i + 3]));
}

constexpr std::array<std::string_view, 19> kFileExtensions = {
    ".swf", ".spl",  ".xml", ".txt", ".json", ".mp3", ".wav",  ".flv", ".f4v", ".mp4",
    ".jpg", ".jpeg", ".png", ".gif", ".php",  ".asp", ".aspx", ".jsp", ".cgi"};

bool EndsInIgnoringCase(std::string_view text, std::string_view lowerSuffix) {
    if (text.size() < lowerSuffix.size()) {
        return false;
    }
    const std::string_view end = text.substr(text.size() - lowerSuffix.size());
    for (std::size_t i = 0; i < end.size(); ++i) {
        char c = end[i];
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        if (c != lowerSuffix[i]) {
            return false;
        }
    }
    return true;
}

bool IsFile(std::string_view text) {
    if (text.size() > kMaxFileReferenceBytes || text.find("://") != std::string_view::npos) {
        return false;
    }
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x21 || byte == 0x7F) {
            return false;
        }
    }
    // A query cannot hold the name, so the name ends at the first '?'.
    const std::string_view name = text.substr(0, text.find('?'));
    return std::any_of(
        kFileExtensions.begin(), kFileExtensions.end(),
        [name](std::string_view suffix) { return EndsInIgnoringCase(name, suffix); });
}

}  // namespace

ReferenceKind ClassifyReference(std::string_view text) {
    if (IsUrl(text)) {
        return ReferenceKind::Url;
    }
    return IsFile(text) ? ReferenceKind::File : ReferenceKind::None;
}

ReferenceKind ReferenceCollector::Add(std::string_view text) {
    const ReferenceKind kind = ClassifyReference(text);
    Add(text, kind);
    return kind;
}

void ReferenceCollector::Add(std::string_view text, ReferenceKind kind) {
    if (kind == ReferenceKind::None) {
        return;
    }
    List& list = kind == ReferenceKind::Url ? urls_ : files_;
    list.texts.push_back(text);
    if (list.texts.size() >= std::max(list.foldAt, kSmallestFold)) {
        Fold(list);
        list.foldAt = 2 * list.texts.size();
    }
}

void ReferenceCollector::Fold(List& list) {
    // string_view compares its bytes as unsigned char, which is the order promised.
    std::sort(list.texts.begin(), list.texts.end());
    list.texts.erase(std::unique(list.texts.begin(), list.texts.end()), list.texts.end());
}

std::vector<std::string_view> ReferenceCollector::Take(List& list) {
    Fold(list);
    std::vector<std::string_view> texts = std::move(list.texts);
    list = List{};
    return texts;
}
