// velpin-cli's one way of writing JSON: a streaming writer that appends to a string the caller
// owns and flushes, and the string escaper under it.
//
// The writer places every comma, colon and bracket itself, from a stack of the open objects and
// arrays, so no caller spells JSON punctuation. Its layout is the one every output of velpin-cli
// has always had: ", " between members and elements, ": " after a key, everything on one line,
// except arrays begun with Layout::OneElementPerLine, whose elements each start a line of their
// own.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "report/decimal.h"

namespace velpin {

// Appends `text` as a JSON string literal, quotes included. `text` is taken as UTF-8; every byte
// that does not belong to a well-formed UTF-8 sequence becomes U+FFFD, so the output is always
// valid UTF-8 even for a path that is not.
void AppendJsonString(std::string& out, std::string_view text);

std::string JsonString(std::string_view text);

// The calls the large outputs make millions of times are defined here, inline: the writer must
// cost no more than the concatenated literals it replaced.
class JsonWriter {
  public:
    enum class Layout {
        Inline,
        // Each element on a line of its own, indented by `lineIndent` per such array open around
        // it; the closing bracket on a line of its own, indented as the array's own line.
        OneElementPerLine,
    };

    // Appends to `out`, which the caller may flush (empty) between any two calls.
    explicit JsonWriter(std::string& out, std::size_t lineIndent = 0);

    void BeginObject() {
        BeforeValue();
        out_.push_back('{');
        levels_.push_back({false, false, true});
    }
    void EndObject() {
        assert(!levels_.empty() && !levels_.back().isArray && !afterKey_);
        levels_.pop_back();
        out_.push_back('}');
    }
    void BeginArray(Layout layout = Layout::Inline);
    void EndArray();

    // The name of the next member of the object open innermost.
    void Key(std::string_view name);
    // The same for a name spelled in the program, which needs no escaping, copied whole.
    template <std::size_t N>
    void Key(const char (&name)[N]) {
        // ", " + quote + name + quote + ": ", appended at once.
        char text[N + 5];
        std::size_t length = 0;
        if (BeginMember()) {
            text[length++] = ',';
            text[length++] = ' ';
        }
        text[length++] = '"';
        for (std::size_t i = 0; i + 1 < N; ++i) {
            text[length++] = name[i];
        }
        text[length++] = '"';
        text[length++] = ':';
        text[length++] = ' ';
        out_.append(text, length);
    }
    // A member whose name is a number, as the counts by tag code are keyed.
    void Key(std::int64_t name);

    void String(std::string_view value);
    void Integer(std::int64_t value) {
        BeforeValue();
        AppendDecimal(out_, value);
    }
    void Boolean(bool value) {
        BeforeValue();
        out_ += value ? "true" : "false";
    }
    void Null() {
        BeforeValue();
        out_ += "null";
    }
    void Unsigned(std::uint64_t value) {
        BeforeValue();
        AppendUnsignedDecimal(out_, value);
    }
    // The value, or null when there is none.
    void StringOrNull(const std::optional<std::string_view>& value);
    // The same for a field of any integer type, as the models hold each at its own width.
    template <typename Number>
    void IntegerOrNull(const std::optional<Number>& value) {
        static_assert(std::is_integral_v<Number> && !std::is_same_v<Number, bool>);
        if (!value) {
            Null();
        } else if constexpr (std::is_signed_v<Number>) {
            Integer(*value);
        } else {
            Unsigned(*value);
        }
    }

  private:
    struct Level {
        bool isArray;
        bool oneElementPerLine;
        bool empty;
    };

    // Writes what goes between the previous value (or the opening bracket) and the next one.
    void BeforeValue() {
        if (afterKey_) {
            afterKey_ = false;
        } else if (!levels_.empty()) {
            BeforeElement();
        }
    }
    // The same inside an array.
    void BeforeElement();
    void NewLine(std::size_t linesArraysOpen);
    // Starts a member; true when a separator must go before its name.
    bool BeginMember() {
        assert(!levels_.empty() && !levels_.back().isArray && !afterKey_);
        Level& level = levels_.back();
        const bool separated = !level.empty;
        level.empty = false;
        afterKey_ = true;
        return separated;
    }

    std::string& out_;
    const std::size_t lineIndent_;
    std::vector<Level> levels_;
    std::size_t linesArraysOpen_ = 0;
    bool afterKey_ = false;
};

}  // namespace velpin
