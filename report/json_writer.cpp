#include "report/json_writer.h"

#include <cassert>
#include <cstdint>

#include "base/utf8.h"

namespace velpin {

namespace {

constexpr char kReplacementCharacter[] = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

// Whether `c` can be copied as it is: most bytes of a path or a tag name can, and they are copied
// in runs rather than one by one.
bool IsPlain(std::uint8_t c) {
    return c >= 0x20 && c < 0x80 && c != '"' && c != '\\';
}

}  // namespace

void AppendJsonString(std::string& out, std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    out.push_back('"');
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t runEnd = i;
        while (runEnd < text.size() && IsPlain(static_cast<std::uint8_t>(text[runEnd]))) {
            ++runEnd;
        }
        out.append(text.data() + i, runEnd - i);
        i = runEnd;
        if (i == text.size()) {
            break;
        }
        const auto c = static_cast<std::uint8_t>(text[i]);
        if (c >= 0x80) {
            const std::size_t length = WellFormedUtf8Length(text.substr(i));
            if (length == 0) {
                out += kReplacementCharacter;
                ++i;
            } else {
                out.append(text.substr(i, length));
                i += length;
            }
            continue;
        }
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            default:
                out += "\\u00";
                out.push_back(kHex[c >> 4]);
                out.push_back(kHex[c & 0xF]);
                break;
        }
        ++i;
    }
    out.push_back('"');
}

std::string JsonString(std::string_view text) {
    std::string out;
    AppendJsonString(out, text);
    return out;
}

JsonWriter::JsonWriter(std::string& out, std::size_t lineIndent)
    : out_(out), lineIndent_(lineIndent) {}

void JsonWriter::NewLine(std::size_t linesArraysOpen) {
    out_.push_back('\n');
    out_.append(linesArraysOpen * lineIndent_, ' ');
}

void JsonWriter::BeforeElement() {
    Level& level = levels_.back();
    assert(level.isArray);
    if (!level.empty) {
        out_.push_back(',');
    }
    if (level.oneElementPerLine) {
        NewLine(linesArraysOpen_);
    } else if (!level.empty) {
        out_.push_back(' ');
    }
    level.empty = false;
}

void JsonWriter::BeginArray(Layout layout) {
    BeforeValue();
    out_.push_back('[');
    const bool oneElementPerLine = layout == Layout::OneElementPerLine;
    levels_.push_back({true, oneElementPerLine, true});
    linesArraysOpen_ += oneElementPerLine ? 1 : 0;
}

void JsonWriter::EndArray() {
    assert(!levels_.empty() && levels_.back().isArray);
    const Level level = levels_.back();
    levels_.pop_back();
    if (level.oneElementPerLine) {
        --linesArraysOpen_;
        if (!level.empty) {
            NewLine(linesArraysOpen_);
        }
    }
    out_.push_back(']');
}

void JsonWriter::Key(std::string_view name) {
    if (BeginMember()) {
        out_ += ", ";
    }
    AppendJsonString(out_, name);
    out_ += ": ";
}

void JsonWriter::Key(std::int64_t name) {
    if (BeginMember()) {
        out_ += ", ";
    }
    out_.push_back('"');
    AppendDecimal(out_, name);
    out_ += "\": ";
}

void JsonWriter::String(std::string_view value) {
    BeforeValue();
    AppendJsonString(out_, value);
}

void JsonWriter::StringOrNull(const std::optional<std::string_view>& value) {
    if (value) {
        String(*value);
    } else {
        Null();
    }
}

}  // namespace velpin
