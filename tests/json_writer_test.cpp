#include "cli/commands/json_writer.h"

#include <gtest/gtest.h>

#include "tests/strict_json.h"

namespace {

TEST(JsonString, EscapesAndReplacesBytesThatAreNotUtf8) {
    struct Row {
        std::string text;
        std::string json;
    };
    const std::string fffd = "\xEF\xBF\xBD";
    const Row rows[] = {
        {"plain.swf", "\"plain.swf\""},
        {"a\"b\\c", "\"a\\\"b\\\\c\""},
        {"\n\r\t\b\f", "\"\\n\\r\\t\\b\\f\""},
        {std::string("\x01\x1F\x7F/", 4), "\"\\u0001\\u001f\x7F/\""},
        {std::string("nul\0x", 5), "\"nul\\u0000x\""},
        // Well-formed sequences of two, three and four bytes pass unchanged.
        {"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\x9E", "\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\x9E\""},
        // Each byte outside a well-formed sequence becomes one U+FFFD.
        {"a\xFFz", "\"a" + fffd + "z\""},
        {"\xC3", "\"" + fffd + "\""},                                   // cut short
        {"\xC0\xAF", "\"" + fffd + fffd + "\""},                        // overlong
        {"\xE0\x80\xAF", "\"" + fffd + fffd + fffd + "\""},             // overlong
        {"\xED\xA0\x80", "\"" + fffd + fffd + fffd + "\""},             // surrogate
        {"\xF4\x90\x80\x80", "\"" + fffd + fffd + fffd + fffd + "\""},  // beyond U+10FFFF
        {"\xE2\x82z", "\"" + fffd + fffd + "z\""},
    };
    for (const Row& row : rows) {
        const std::string json = JsonString(row.text);
        EXPECT_EQ(json, row.json);
        EXPECT_NO_THROW(strictjson::Parse(json)) << json;
    }
}

TEST(JsonString, RoundTripsThroughAStrictParser) {
    const std::string text = "dir/\"quoted\" \\ tab\t caf\xC3\xA9 \x01";
    EXPECT_EQ(strictjson::Parse(JsonString(text)).get<std::string>(), text);
}

TEST(StrictJson, RejectsWhatRfc8259Forbids) {
    for (const char* bad :
         {"", "{\"a\": 1,}", "[1,]", "{\"a\": 1, \"a\": 2}", "NaN", "01", "1.", "\"\x01\"",
          "\"\xFF\"", "\"\\ud800\"", "{'a': 1}", "[1] x", "+1", "\"\\x\""}) {
        EXPECT_THROW(strictjson::Parse(bad), strictjson::ParseError) << bad;
    }
    EXPECT_EQ(strictjson::Parse(" {\"a\": [1, -2.5e3, true, null, \"\\ud83c\\udf9e\"]}\n")
                  .at("a")
                  .at(4)
                  .get<std::string>(),
              "\xF0\x9F\x8E\x9E");
}

}  // namespace
