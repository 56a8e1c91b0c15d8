#include "report/json_writer.h"

#include <gtest/gtest.h>

#include <functional>

#include "tests/strict_json.h"

using namespace velpin;

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

// Each script drives the writer through one document; its bytes are compared whole, and must
// parse strictly.
TEST(JsonWriter, PlacesEverySeparatorAndBracket) {
    using Layout = JsonWriter::Layout;
    struct Row {
        std::size_t lineIndent;
        std::function<void(JsonWriter&)> script;
        std::string json;
    };
    const Row rows[] = {
        {0, [](JsonWriter& w) { w.Null(); }, "null"},
        {0,
         [](JsonWriter& w) {
             w.BeginObject();
             w.EndObject();
         },
         "{}"},
        {0,
         [](JsonWriter& w) {
             w.BeginObject();
             w.Key("a");
             w.Integer(-1);
             w.Key(std::string("b\""));  // a name from the data is escaped
             w.String("x");
             w.Key("c");
             w.Boolean(true);
             w.Key("d");
             w.Boolean(false);
             w.Key(1023);
             w.IntegerOrNull(std::optional<std::int64_t>());
             w.Key("f");
             w.StringOrNull(std::optional<std::string_view>("y"));
             w.EndObject();
         },
         R"({"a": -1, "b\"": "x", "c": true, "d": false, "1023": null, "f": "y"})"},
        {0,
         [](JsonWriter& w) {
             w.BeginArray();
             w.Integer(INT64_MIN);
             w.BeginObject();
             w.Key("e");
             w.BeginArray();
             w.EndArray();
             w.EndObject();
             w.BeginArray();
             w.IntegerOrNull(std::optional<std::int64_t>(2));
             w.IntegerOrNull(std::optional<std::uint8_t>(255));
             w.IntegerOrNull(std::optional<std::int8_t>(-128));
             w.IntegerOrNull(std::optional<std::uint64_t>(UINT64_MAX));
             w.IntegerOrNull(std::optional<std::uint32_t>());
             w.EndArray();
             w.EndArray();
         },
         R"([-9223372036854775808, {"e": []}, [2, 255, -128, 18446744073709551615, null]])"},
        // The tag list: elements at the start of their lines.
        {0,
         [](JsonWriter& w) {
             w.BeginObject();
             w.Key("tags");
             w.BeginArray(Layout::OneElementPerLine);
             for (int i = 0; i < 3; ++i) {
                 w.BeginObject();
                 w.Key("index");
                 w.Integer(i);
                 w.EndObject();
             }
             w.EndArray();
             w.Key("empty");
             w.BeginArray(Layout::OneElementPerLine);
             w.EndArray();
             w.EndObject();
         },
         "{\"tags\": [\n{\"index\": 0},\n{\"index\": 1},\n{\"index\": 2}\n], \"empty\": []}"},
        // The tree: each level of nesting indented two more, closed at its parent's indent.
        {2,
         [](JsonWriter& w) {
             w.BeginObject();
             w.Key("c");
             w.BeginArray(Layout::OneElementPerLine);
             w.BeginObject();
             w.Key("c");
             w.BeginArray(Layout::OneElementPerLine);
             w.Integer(1);
             w.Integer(2);
             w.EndArray();
             w.EndObject();
             w.BeginArray(Layout::OneElementPerLine);
             w.EndArray();
             w.EndArray();
             w.EndObject();
         },
         "{\"c\": [\n  {\"c\": [\n    1,\n    2\n  ]},\n  []\n]}"},
    };
    for (const Row& row : rows) {
        std::string out = "kept ";
        JsonWriter writer(out, row.lineIndent);
        row.script(writer);
        EXPECT_EQ(out, "kept " + row.json);
        EXPECT_NO_THROW(strictjson::Parse(row.json)) << row.json;
    }
}

// The caller flushes between calls; the writer must never look back into what it wrote.
TEST(JsonWriter, WritesTheSameWhenFlushedBetweenCalls) {
    std::string out;
    std::string flushed;
    JsonWriter writer(out);
    const auto flush = [&] {
        flushed += out;
        out.clear();
    };
    writer.BeginArray(JsonWriter::Layout::OneElementPerLine);
    flush();
    writer.Integer(1);
    flush();
    writer.Integer(2);
    flush();
    writer.EndArray();
    flush();
    EXPECT_EQ(flushed, "[\n1,\n2\n]");
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
