#include "analysis/references.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "base/ascii.h"

namespace velpin {

namespace {

// Lists are folded when they reach twice what the last fold left, and never below this.
constexpr std::size_t kSmallestFold = 4096;

// The white space of a regular expression's \S, over single bytes.
bool IsWhiteSpace(unsigned char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// A scheme (a letter, then letters, digits, '+', '-' or '.'), "://", then no white space. Written
// out rather than as a std::regex: every string of the code passes through here, a million of
// them in a large movie, and the regex engine costs microseconds for each. A scheme holds no ':',
// so only the first ':' can end it, and memchr finds that one fastest.
bool IsUrl(std::string_view text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos || text.substr(colon, 3) != "://" ||
        text.size() <= colon + 3 || IsWhiteSpace(static_cast<unsigned char>(text[colon + 3]))) {
        return false;
    }
    return IsUriScheme(text.substr(0, colon));
}

// The extensions of what movies load, lowercase, without their dot: 3 or 4 letters each.
constexpr std::array<std::string_view, 19> kFileExtensions = {
    "swf", "spl",  "xml", "txt", "json", "mp3", "wav",  "flv", "f4v", "mp4",
    "jpg", "jpeg", "png", "gif", "php",  "asp", "aspx", "jsp", "cgi"};
constexpr std::size_t kLongestExtension = 4;

// Whether `name` ends in a dot and one of the extensions, in any case. Looked at first, from the
// end, so that the many strings of code that name no file cost a few comparisons each.
bool EndsInFileExtension(std::string_view name) {
    for (std::size_t length = 3; length <= kLongestExtension; ++length) {
        if (name.size() <= length || name[name.size() - length - 1] != '.') {
            continue;
        }
        const std::string_view extension = name.substr(name.size() - length);
        if (std::any_of(kFileExtensions.begin(), kFileExtensions.end(),
                        [extension](std::string_view known) {
                            return SameIgnoringAsciiCase(extension, known);
                        })) {
            return true;
        }
    }
    return false;
}

// Whether the name names one file: a pattern ("*.txt") or a bare extension (".swf", "dir/.swf")
// is code that looks for files, not a file.
bool NamesOneFile(std::string_view name) {
    if (name.find('*') != std::string_view::npos) {
        return false;
    }
    const std::size_t segment = name.find_last_of("/\\");
    const std::string_view last =
        segment == std::string_view::npos ? name : name.substr(segment + 1);
    return last.rfind('.') != 0;
}

bool IsFile(std::string_view text) {
    // Neither a query nor a fragment can hold the name, so the name ends at the first of them.
    const std::string_view name = text.substr(0, text.find_first_of("?#"));
    if (!EndsInFileExtension(name) || !NamesOneFile(name)) {
        return false;
    }
    if (text.size() > kMaxFileReferenceBytes || text.find("://") != std::string_view::npos) {
        return false;
    }
    return std::none_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x21 || byte == 0x7F;
    });
}

}  // namespace

ReferenceKind ClassifyReference(std::string_view text) {
    // Shorter than any reference ("a://x", "a.swf"): the names of obfuscated code.
    if (text.size() < 4) {
        return ReferenceKind::None;
    }
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

namespace {

// The first 8 bytes of `text`, which holds at least 8, as a big-endian number. Where two heads
// differ they order their texts as the texts' bytes do, so a sort compares numbers and looks at
// the bytes only when the heads are equal: references share long prefixes ("http://www."), and
// comparing those byte by byte made the sort the slowest part of the info. Written out, the
// compiler makes it one load (and a byte swap on a little-endian machine) whatever the machine's
// byte order.
inline std::uint64_t Head(std::string_view text) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    return std::uint64_t{bytes[0]} << 56 | std::uint64_t{bytes[1]} << 48 |
           std::uint64_t{bytes[2]} << 40 | std::uint64_t{bytes[3]} << 32 |
           std::uint64_t{bytes[4]} << 24 | std::uint64_t{bytes[5]} << 16 |
           std::uint64_t{bytes[6]} << 8 | std::uint64_t{bytes[7]};
}

}  // namespace

void ReferenceCollector::Fold(List& list) {
    // A text shorter than 8 bytes is compared as it is: padding it to a head made the comparison
    // too large for the compiler to inline into the sort.
    std::sort(list.texts.begin(), list.texts.end(), [](std::string_view a, std::string_view b) {
        if (a.size() >= 8 && b.size() >= 8) {
            const std::uint64_t headA = Head(a);
            const std::uint64_t headB = Head(b);
            if (headA != headB) {
                return headA < headB;
            }
        }
        // string_view compares its bytes as unsigned char, which is the order promised.
        return a < b;
    });
    list.texts.erase(std::unique(list.texts.begin(), list.texts.end()), list.texts.end());
}

std::vector<std::string_view> ReferenceCollector::Take(List& list) {
    Fold(list);
    std::vector<std::string_view> texts = std::move(list.texts);
    list = List{};
    return texts;
}

}  // namespace velpin
