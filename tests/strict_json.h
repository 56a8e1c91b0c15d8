// A strict JSON parser for the tests: RFC 8259 and nothing more (no comments, no trailing commas,
// no NaN, no duplicate keys, UTF-8 only), so that output it accepts parses anywhere.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace strictjson {

struct Value {
    enum class Kind { Null, Bool, Number, String, Array, Object };

    Kind kind = Kind::Null;
    bool boolean = false;
    std::string text;  // a string's decoded UTF-8, or a number's literal
    std::vector<Value> items;
    std::vector<std::pair<std::string, Value>> members;

    bool IsNull() const { return kind == Kind::Null; }
    // A number that is a whole value, as written; raises otherwise.
    long long Integer() const;
    // Raises when this is not an object or has no such member.
    const Value& operator[](const std::string& key) const;
    std::vector<std::string> Keys() const;
};

class ParseError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

Value Parse(std::string_view json);

}  // namespace strictjson
