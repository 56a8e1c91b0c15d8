#include "strict_json.h"

#include <cstdint>

namespace strictjson {

namespace {

class Parser {
  public:
    explicit Parser(std::string_view json) : json_(json) {}

    Value Document() {
        Value value = ParseValue(0);
        SkipWhitespace();
        if (pos_ != json_.size()) {
            Fail("content after the value");
        }
        return value;
    }

  private:
    [[noreturn]] void Fail(const std::string& what) const {
        throw ParseError(what + " at byte " + std::to_string(pos_));
    }

    bool AtEnd() const { return pos_ >= json_.size(); }
    char Peek() const { return AtEnd() ? '\0' : json_[pos_]; }

    void Expect(char c) {
        if (Peek() != c || AtEnd()) {
            Fail(std::string("expected '") + c + "'");
        }
        ++pos_;
    }

    void SkipWhitespace() {
        while (!AtEnd() && (json_[pos_] == ' ' || json_[pos_] == '\t' || json_[pos_] == '\n' ||
                            json_[pos_] == '\r')) {
            ++pos_;
        }
    }

    Value ParseValue(int depth) {
        if (depth > 200) {
            Fail("nested too deeply");
        }
        SkipWhitespace();
        if (AtEnd()) {
            Fail("missing value");
        }
        Value value;
        switch (json_[pos_]) {
            case '{':
                value.kind = Value::Kind::Object;
                ParseObject(value, depth);
                return value;
            case '[':
                value.kind = Value::Kind::Array;
                ParseArray(value, depth);
                return value;
            case '"':
                value.kind = Value::Kind::String;
                value.text = ParseString();
                return value;
            case 't':
                Literal("true");
                value.kind = Value::Kind::Bool;
                value.boolean = true;
                return value;
            case 'f':
                Literal("false");
                value.kind = Value::Kind::Bool;
                return value;
            case 'n':
                Literal("null");
                return value;
            default:
                value.kind = Value::Kind::Number;
                value.text = ParseNumber();
                return value;
        }
    }

    void Literal(std::string_view word) {
        if (json_.substr(pos_, word.size()) != word) {
            Fail("bad literal");
        }
        pos_ += word.size();
    }

    void ParseObject(Value& value, int depth) {
        Expect('{');
        SkipWhitespace();
        if (Peek() == '}') {
            ++pos_;
            return;
        }
        for (;;) {
            SkipWhitespace();
            if (Peek() != '"') {
                Fail("expected a member name");
            }
            std::string key = ParseString();
            for (const auto& member : value.members) {
                if (member.first == key) {
                    Fail("duplicate member " + key);
                }
            }
            SkipWhitespace();
            Expect(':');
            Value member = ParseValue(depth + 1);
            value.members.emplace_back(std::move(key), std::move(member));
            SkipWhitespace();
            if (Peek() == ',') {
                ++pos_;
                continue;
            }
            Expect('}');
            return;
        }
    }

    void ParseArray(Value& value, int depth) {
        Expect('[');
        SkipWhitespace();
        if (Peek() == ']') {
            ++pos_;
            return;
        }
        for (;;) {
            value.items.push_back(ParseValue(depth + 1));
            SkipWhitespace();
            if (Peek() == ',') {
                ++pos_;
                continue;
            }
            Expect(']');
            return;
        }
    }

    std::string ParseNumber() {
        const std::size_t start = pos_;
        auto digits = [&]() {
            const std::size_t first = pos_;
            while (!AtEnd() && json_[pos_] >= '0' && json_[pos_] <= '9') {
                ++pos_;
            }
            if (pos_ == first) {
                Fail("expected a digit");
            }
        };
        if (Peek() == '-') {
            ++pos_;
        }
        if (Peek() == '0') {
            ++pos_;
        } else {
            digits();
        }
        if (Peek() == '.') {
            ++pos_;
            digits();
        }
        if (Peek() == 'e' || Peek() == 'E') {
            ++pos_;
            if (Peek() == '+' || Peek() == '-') {
                ++pos_;
            }
            digits();
        }
        return std::string(json_.substr(start, pos_ - start));
    }

    unsigned Hex4() {
        if (pos_ + 4 > json_.size()) {
            Fail("short \\u escape");
        }
        unsigned value = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = json_[pos_++];
            value <<= 4;
            if (c >= '0' && c <= '9') {
                value |= static_cast<unsigned>(c - '0');
            } else if (c >= 'a' && c <= 'f') {
                value |= static_cast<unsigned>(c - 'a' + 10);
            } else if (c >= 'A' && c <= 'F') {
                value |= static_cast<unsigned>(c - 'A' + 10);
            } else {
                Fail("bad \\u escape");
            }
        }
        return value;
    }

    static void AppendUtf8(std::string& out, std::uint32_t cp) {
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }

    // One raw UTF-8 sequence, checked for well-formedness.
    void CopyUtf8(std::string& out) {
        const auto lead = static_cast<std::uint8_t>(json_[pos_]);
        std::size_t length;
        std::uint32_t cp;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            cp = lead & 0x1Fu;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            cp = lead & 0x0Fu;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            cp = lead & 0x07u;
        } else {
            Fail("invalid UTF-8");
        }
        if (pos_ + length > json_.size()) {
            Fail("truncated UTF-8");
        }
        for (std::size_t i = 1; i < length; ++i) {
            const auto c = static_cast<std::uint8_t>(json_[pos_ + i]);
            if ((c & 0xC0) != 0x80) {
                Fail("invalid UTF-8");
            }
            cp = (cp << 6) | (c & 0x3Fu);
        }
        const std::uint32_t smallest = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
        if (cp < smallest || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            Fail("invalid UTF-8");
        }
        out.append(json_.substr(pos_, length));
        pos_ += length;
    }

    std::string ParseString() {
        Expect('"');
        std::string out;
        for (;;) {
            if (AtEnd()) {
                Fail("unterminated string");
            }
            const auto c = static_cast<std::uint8_t>(json_[pos_]);
            if (c == '"') {
                ++pos_;
                return out;
            }
            if (c < 0x20) {
                Fail("raw control character in string");
            }
            if (c >= 0x80) {
                CopyUtf8(out);
                continue;
            }
            ++pos_;
            if (c != '\\') {
                out.push_back(static_cast<char>(c));
                continue;
            }
            if (AtEnd()) {
                Fail("unterminated escape");
            }
            const char e = json_[pos_++];
            switch (e) {
                case '"':
                case '\\':
                case '/':
                    out.push_back(e);
                    break;
                case 'b':
                    out.push_back('\b');
                    break;
                case 'f':
                    out.push_back('\f');
                    break;
                case 'n':
                    out.push_back('\n');
                    break;
                case 'r':
                    out.push_back('\r');
                    break;
                case 't':
                    out.push_back('\t');
                    break;
                case 'u': {
                    std::uint32_t cp = Hex4();
                    if (cp >= 0xDC00 && cp <= 0xDFFF) {
                        Fail("lone low surrogate");
                    }
                    if (cp >= 0xD800 && cp <= 0xDBFF) {
                        if (json_.substr(pos_, 2) != "\\u") {
                            Fail("lone high surrogate");
                        }
                        pos_ += 2;
                        const unsigned low = Hex4();
                        if (low < 0xDC00 || low > 0xDFFF) {
                            Fail("lone high surrogate");
                        }
                        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                    }
                    AppendUtf8(out, cp);
                    break;
                }
                default:
                    Fail("bad escape");
            }
        }
    }

    std::string_view json_;
    std::size_t pos_ = 0;
};

}  // namespace

long long Value::Integer() const {
    if (kind != Kind::Number || text.find_first_of(".eE") != std::string::npos) {
        throw ParseError("not an integer: " + text);
    }
    return std::stoll(text);
}

const Value& Value::operator[](const std::string& key) const {
    if (kind != Kind::Object) {
        throw ParseError("not an object, looking for " + key);
    }
    for (const auto& member : members) {
        if (member.first == key) {
            return member.second;
        }
    }
    throw ParseError("no member " + key);
}

std::vector<std::string> Value::Keys() const {
    std::vector<std::string> keys;
    for (const auto& member : members) {
        keys.push_back(member.first);
    }
    return keys;
}

Value Parse(std::string_view json) {
    return Parser(json).Document();
}

}  // namespace strictjson
