// JSON parsed as strictly as RFC 8259 asks, so that output it accepts parses anywhere.
// nlohmann-json rejects comments, trailing commas, NaN, bad numbers and invalid UTF-8 by itself;
// duplicate member names, which it would let the last one win, are rejected here.
#pragma once

#include <nlohmann/json.hpp>

#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace strictjson {

// Members keep the order they were written in.
using Json = nlohmann::ordered_json;

class ParseError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Sees every member name before the document is built and refuses one that repeats within its
// object. A SAX pass, because nlohmann-json's parser callbacks slow a large document's parse
// down more than in proportion to its size.
class DuplicateNameCheck : public nlohmann::json_sax<Json> {
  public:
    bool null() override { return true; }
    bool boolean(bool) override { return true; }
    bool number_integer(number_integer_t) override { return true; }
    bool number_unsigned(number_unsigned_t) override { return true; }
    bool number_float(number_float_t, const string_t&) override { return true; }
    bool string(string_t&) override { return true; }
    bool binary(binary_t&) override { return true; }
    bool start_object(std::size_t) override {
        namesPerOpenObject_.emplace_back();
        return true;
    }
    bool key(string_t& name) override {
        if (!namesPerOpenObject_.back().insert(name).second) {
            throw ParseError("duplicate member " + name);
        }
        return true;
    }
    bool end_object() override {
        namesPerOpenObject_.pop_back();
        return true;
    }
    bool start_array(std::size_t) override { return true; }
    bool end_array() override { return true; }
    bool parse_error(std::size_t, const std::string&,
                     const nlohmann::detail::exception& error) override {
        throw ParseError(error.what());
    }

  private:
    std::vector<std::set<std::string>> namesPerOpenObject_;
};

inline Json Parse(std::string_view text) {
    DuplicateNameCheck check;
    Json::sax_parse(text.begin(), text.end(), &check);
    return Json::parse(text.begin(), text.end());
}

// A number written as a whole value; raises for anything else.
inline long long Integer(const Json& value) {
    if (!value.is_number_integer()) {
        throw ParseError("not an integer: " + value.dump());
    }
    return value.get<long long>();
}

inline std::vector<std::string> Keys(const Json& object) {
    std::vector<std::string> keys;
    for (const auto& member : object.items()) {
        keys.push_back(member.key());
    }
    return keys;
}

}  // namespace strictjson
