// What `info` reads from inside a movie's tags: one row per decoded tag and per edge, each
// comparing the whole info JSON with what the row expects.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/movie_info.h"
#include "analysis/references.h"
#include "analysis/tag_reader.h"
#include "report/info_report.h"
#include "swfff/loader.h"
#include "swfff/scoped_movie.h"
#include "tests/json_outputs.h"
#include "tests/strict_json.h"
#include "tests/support/movie_builder.h"

using namespace velpin;

namespace {

using namespace testmovie;
using strictjson::Json;

// The info of a movie in which nothing is decoded; each row patches what differs.
const char* const kNothingFound = R"({
    "backgroundColor": null, "fileAttributes": null, "metadata": null, "productInfo": null,
    "scriptLimits": null, "protect": null, "debugger": null, "symbols": [], "exports": [],
    "imports": [], "frameLabels": [], "abc": [], "binaryData": [], "urls": [], "files": [],
    "anomalies": {"trailingBytes": 0, "truncatedTags": [], "unknownCodes": [],
                  "longHeaderShortBody": [], "runOnSprites": []}})";

struct InfoRow {
    const char* name;
    Bytes tags;       // End() is added behind them
    std::string got;  // merged into kNothingFound
    Bytes afterEnd = {};
};

Bytes U64(std::uint64_t v) {
    return Cat({U32(static_cast<std::uint32_t>(v)), U32(static_cast<std::uint32_t>(v >> 32))});
}

Bytes Push(const Bytes& values) {
    return Action(0x96, values);
}

Bytes PushString(const std::string& text) {
    return Cat({{0x00}, CString(text)});
}

Bytes Product(std::uint64_t compiledAtMs) {
    return Tag(41, Cat({U32(3), U32(6), {10, 1}, U64(0x1'0000'0001), U64(compiledAtMs)}));
}

std::string Repeat(char c, std::size_t count) {
    return std::string(count, c);
}

const std::vector<InfoRow>& Rows() {
    static const std::vector<InfoRow> rows = {
        {"nothing decoded", {ShowFrame()}, "{}"},
        {"background color, first one only", Cat({Tag(9, {0xFF, 0x80, 0x0A}), Tag(9, {0, 0, 0})}),
         R"({"backgroundColor": "#ff800a"})"},
        {"background color cut: null even when a later one is whole",
         Cat({Tag(9, {1, 2}), Tag(9, {0, 0, 0})}), R"({"anomalies": {"truncatedTags": [0]}})"},
        {"file attributes",
         {Tag(69, {0x19, 0, 0, 0})},
         R"({"fileAttributes": {"flags": 25, "useDirectBlit": false, "useGpu": false,
             "hasMetadata": true, "actionScript3": true, "suppressCrossDomainCaching": false,
             "relativeUrls": false, "useNetwork": true}})"},
        {"file attributes, every bit",
         {Tag(69, {0xFF})},
         R"({"fileAttributes": {"flags": 255, "useDirectBlit": true, "useGpu": true,
             "hasMetadata": true, "actionScript3": true, "suppressCrossDomainCaching": true,
             "relativeUrls": true, "useNetwork": true}})"},
        {"metadata", {Tag(77, CString("<rdf:RDF/>"))}, R"({"metadata": "<rdf:RDF/>"})"},
        {"metadata unterminated",
         {Tag(77, {'<', 'x'})},
         R"({"anomalies": {"truncatedTags": [0]}})"},
        {"product info",
         {Product(1320084471474)},
         R"({"productInfo": {"productId": 3, "edition": 6, "version": "10.1",
             "build": 4294967297, "compiledAtMs": 1320084471474,
             "compiledAt": "2011-10-31T18:07:51.474Z"}})"},
        {"product info on a leap day",
         {Product(951868799999)},
         R"({"productInfo": {"productId": 3, "edition": 6, "version": "10.1",
             "build": 4294967297, "compiledAtMs": 951868799999,
             "compiledAt": "2000-02-29T23:59:59.999Z"}})"},
        {"product info, last millisecond of year 9999",
         {Product(253402300799999)},
         R"({"productInfo": {"productId": 3, "edition": 6, "version": "10.1",
             "build": 4294967297, "compiledAtMs": 253402300799999,
             "compiledAt": "9999-12-31T23:59:59.999Z"}})"},
        {"product info, year 10000 and 64-bit times",
         {Product(~std::uint64_t{0})},
         R"({"productInfo": {"productId": 3, "edition": 6, "version": "10.1",
             "build": 4294967297, "compiledAtMs": 18446744073709551615,
             "compiledAt": null}})"},
        {"product info cut in its last field",
         {Tag(41, Bytes(25, 0))},
         R"({"anomalies": {"truncatedTags": [0]}})"},
        {"script limits",
         {Tag(65, Cat({U16(1000), U16(60)}))},
         R"({"scriptLimits": {"maxRecursionDepth": 1000, "scriptTimeoutSeconds": 60}})"},
        {"protect, empty body", {Tag(24)}, R"({"protect": {"passwordHash": null}})"},
        {"protect, reserved bytes alone",
         {Tag(24, {0, 0})},
         R"({"protect": {"passwordHash": null}})"},
        {"protect with a hash",
         {Tag(24, Cat({{0, 0}, CString("$1$ab$cd")}))},
         R"({"protect": {"passwordHash": "$1$ab$cd"}})"},
        {"protect cut in its reserved bytes",
         {Tag(24, {0})},
         R"({"anomalies": {"truncatedTags": [0]}})"},
        {"EnableDebugger, empty body",
         {Tag(58)},
         R"({"debugger": {"code": 58, "passwordHash": null}})"},
        {"EnableDebugger2 before EnableDebugger",
         Cat({Tag(64, Cat({{0, 0}, CString("$1$x")})), Tag(58, CString("$1$y"))}),
         R"({"debugger": {"code": 64, "passwordHash": "$1$x"}})"},
        {"symbols over two tags, in order",
         Cat({Tag(76, Cat({U16(2), U16(0), CString("Main"), U16(7), CString("a.Clip")})),
              Tag(76, Cat({U16(1), U16(9), CString("b")}))}),
         R"({"symbols": [{"id": 0, "name": "Main"}, {"id": 7, "name": "a.Clip"},
                         {"id": 9, "name": "b"}]})"},
        {"symbols cut: whole entries count",
         {Tag(76, Cat({U16(3), U16(1), CString("One"), U16(2), {'T', 'w'}}))},
         R"({"symbols": [{"id": 1, "name": "One"}], "anomalies": {"truncatedTags": [0]}})"},
        {"exports",
         {Tag(56, Cat({U16(1), U16(4), CString("Button")}))},
         R"({"exports": [{"id": 4, "name": "Button"}]})"},
        {"imports of both kinds",
         Cat({Tag(57, Cat({CString("lib.swf"), U16(1), U16(2), CString("Font")})),
              Tag(71, Cat({CString("http://cdn.example/ui.swf"),
                           {1, 0},
                           U16(2),
                           U16(3),
                           CString("A"),
                           U16(4),
                           CString("B")}))}),
         R"({"imports": [{"url": "lib.swf", "id": 2, "name": "Font"},
                         {"url": "http://cdn.example/ui.swf", "id": 3, "name": "A"},
                         {"url": "http://cdn.example/ui.swf", "id": 4, "name": "B"}]})"},
        {"frame labels at their frame and depth",
         Cat({ShowFrame(), Tag(43, CString("intro")),
              Sprite(Cat({ShowFrame(), Tag(43, Cat({CString("inner"), {1}})), End()}))}),
         R"({"frameLabels": [{"frame": 1, "depth": 0, "name": "intro"},
                             {"frame": 1, "depth": 1, "name": "inner"}]})"},
        {"DoABC with a namespace that names a URL",
         {Tag(82, Cat({U32(1), CString("frame1"),
                       AbcData({"http://www.example.com/2006/ns", "http://api.example/v1",
                                "Data.XML", "flash.display"},
                               {1, 4})}))},
         R"({"abc": [{"index": 0, "name": "frame1", "flags": 1, "size": 100}],
             "urls": ["http://api.example/v1"], "files": ["Data.XML"]})"},
        {"DoABC strings that name no one file: patterns and bare extensions",
         {Tag(72, AbcData({"*.txt", ".swf", "assets/.png", "level?.swf", "data.xml#top",
                           "sub\\win.swf", "//host/z.swf", "my%20file.swf"}))},
         R"({"abc": [{"index": 0, "name": null, "flags": null, "size": 95}],
             "files": ["//host/z.swf", "data.xml#top", "my%20file.swf", "sub\\win.swf"]})"},
        {"DoABC of the first kind, without flags and name",
         {Tag(72, AbcData({"cfg.json"}))},
         R"({"abc": [{"index": 0, "name": null, "flags": null, "size": 18}],
             "files": ["cfg.json"]})"},
        {"DoABC cut in its name",
         {Tag(82, Cat({U32(0), {'a'}}))},
         R"({"abc": [{"index": 0, "name": null, "flags": 0, "size": 5}],
             "anomalies": {"truncatedTags": [0]}})"},
        {"DoABC counts in their longest, five-byte form",
         {Tag(72, Cat({U16(16),
                       U16(46),
                       {0x80, 0x80, 0x80, 0x80, 0x00, 0, 0},
                       {0x82, 0x80, 0x80, 0x80, 0x00},
                       VarU32(5),
                       Bytes{'a', '.', 's', 'w', 'f'},
                       {0}}))},
         R"({"abc": [{"index": 0, "name": null, "flags": null, "size": 23}],
             "files": ["a.swf"]})"},
        {"DoABC cut in its string pool: the strings read so far count",
         {Tag(72, Cat({U16(16),
                       U16(46),
                       {0, 0, 0},
                       VarU32(4),
                       VarU32(5),
                       Bytes{'a', '.', 's', 'w', 'f'},
                       VarU32(9),
                       Bytes{'b'}}))},
         R"({"abc": [{"index": 0, "name": null, "flags": null, "size": 16}],
             "files": ["a.swf"], "anomalies": {"truncatedTags": [0]}})"},
        {"DoABC cut in its namespaces: those read so far are left out",
         {Tag(72, Cat({U16(16),
                       U16(46),
                       {0, 0, 0},
                       VarU32(3),
                       VarU32(5),
                       Bytes{'a', '.', 's', 'w', 'f'},
                       VarU32(5),
                       Bytes{'b', '.', 's', 'w', 'f'},
                       VarU32(3),
                       Bytes{0x16, 1, 0x16}}))},
         R"({"abc": [{"index": 0, "name": null, "flags": null, "size": 24}],
             "files": ["b.swf"], "anomalies": {"truncatedTags": [0]}})"},
        {"binary data: a movie, other data, and a cut one",
         Cat({Tag(87, Cat({U16(5), U32(0), {'C', 'W', 'S', 10, 0x20, 1, 0, 0}})),
              Tag(87, Cat({U16(6), U32(0), {'F', 'W'}})), Tag(87, Cat({U16(7), {0, 0}}))}),
         R"({"binaryData": [{"index": 0, "id": 5, "size": 8, "signature": "CWS", "version": 10,
                             "declaredLength": 288},
                            {"index": 1, "id": 6, "size": 2, "signature": null, "version": null,
                             "declaredLength": null}],
             "anomalies": {"truncatedTags": [2]}})"},
        {"DoAction: constant pool, push and GetURL strings, distinct and sorted",
         {DoAction(
             Cat({Action(0x88, Cat({U16(2), CString("http://x.example/a"), CString("clip.swf")})),
                  Action(0x07), Action(0x80, {0, 0}),
                  Push(Cat({{0x07},
                            U32(1),
                            PushString("menu.XML?v=2"),
                            {0x06},
                            Bytes(8, 0),
                            PushString("B.swf")})),
                  Action(0x83, Cat({CString("http://x.example/a"), CString("_blank")})),
                  Action(0x00)}))},
         R"({"urls": ["http://x.example/a"], "files": ["B.swf", "clip.swf", "menu.XML?v=2"]})"},
        {"DoAction: an unknown push type ends its record only",
         {DoAction(Cat({Push(Cat({PushString("a.swf"), {0x0A}, PushString("b.swf")})),
                        Push(PushString("c.swf")), Action(0x00)}))},
         R"({"files": ["a.swf", "c.swf"]})"},
        {"DoAction: a string unterminated inside its record",
         {DoAction(Cat({Push(PushString("a.swf")), Push({0x00, 'b', '.', 's', 'w', 'f'}),
                        CString("c.swf"), Action(0x00)}))},
         R"({"files": ["a.swf"], "anomalies": {"truncatedTags": [0]}})"},
        {"DoAction: a record longer than the body, and no end action",
         Cat({DoAction(Cat({Push(PushString("a.swf")), {0x96, 0x20, 0x00, 0x00}})),
              DoAction(Push(PushString("b.swf")))}),
         R"({"files": ["a.swf", "b.swf"], "anomalies": {"truncatedTags": [0, 1]}})"},
        {"DoAction: GetURL gives its target as well as its URL",
         {DoAction(Cat({Action(0x83, Cat({CString("http://x.example/p"), CString("frame.swf")})),
                        Action(0x00)}))},
         R"({"urls": ["http://x.example/p"], "files": ["frame.swf"]})"},
        {"DoAction: push values of every width before a string",
         {DoAction(Cat(
             {Push(Cat({{1}, U32(0), {2, 3, 4, 1, 5, 1, 8, 1, 9}, U16(0), PushString("w.swf")})),
              Action(0x00)}))},
         R"({"files": ["w.swf"]})"},
        {"DoABC with a number in every pool: a double is 8 bytes wide",
         {Tag(72, Cat({U16(16), U16(46), VarU32(2), VarU32(300), VarU32(2), VarU32(1), VarU32(2),
                       Bytes(8, 0), VarU32(2), VarU32(5), CString("a.swf")}))},
         R"({"abc": [{"index": 0, "name": null, "flags": null, "size": 26}],
             "files": ["a.swf"]})"},
        {"DoInitAction after its sprite id, and cut before it",
         Cat({Tag(59, Cat({U16(1), Action(0x83, Cat({CString("ftp://f.example/x"), CString("")})),
                           Action(0x00)})),
              Tag(59, {1})}),
         R"({"urls": ["ftp://f.example/x"], "anomalies": {"truncatedTags": [1]}})"},
        {"what is a URL and what is a file",
         {DoAction(
             Cat({Action(0x88, Cat({U16(13), CString("HTTP://UP.example"), CString("a+b.c-d://x"),
                                    CString("1http://x"), CString("http:// x"), CString("http://"),
                                    CString(".swf"), CString("a.swf?x=1 2"), CString("movie.swfx"),
                                    CString("x.php?"), CString(Repeat('a', 2044) + ".swf"),
                                    CString(Repeat('a', 2045) + ".swf"), CString("a\x7F.png"),
                                    CString("dir/pic.JPEG")})),
                  Action(0x00)}))},
         (R"({"urls": ["HTTP://UP.example", "a+b.c-d://x"], "files": [")" + Repeat('a', 2044) +
          R"(.swf", "dir/pic.JPEG", "x.php?"]})")},
        {"unknown codes, long headers on short bodies, trailing bytes",
         Cat({Tag(200), Tag(24, {}, true), Tag(2, Bytes(62, 0), true), Tag(2, Bytes(63, 0), true),
              Tag(1000), Tag(200), Tag(93), Tag(47)}),
         R"({"protect": {"passwordHash": null},
             "anomalies": {"trailingBytes": 3, "unknownCodes": [47, 200, 1000],
                           "longHeaderShortBody": [1, 2]}})",
         {0, 1, 2}},
        // The sprite has no End: its walk lists the export and the End after it again.
        {"a sprite running on: each tag once, at its first item",
         Cat({Sprite(ShowFrame()), Tag(56, Cat({U16(1), U16(7), CString("hero")}), true)}),
         R"({"exports": [{"id": 7, "name": "hero"}],
             "anomalies": {"longHeaderShortBody": [2], "runOnSprites": [0]}})"},
        // The second sprite runs on inside the first's walk and again at the top level: the list
        // holds it at items 2 and 8, and the export at items 4, 6, 10 and 12.
        {"chained run-on sprites: each once, at its first item",
         Cat({Sprite(ShowFrame()), Sprite(ShowFrame(), 2),
              Tag(56, Cat({U16(1), U16(7), CString("hero")}), true)}),
         R"({"exports": [{"id": 7, "name": "hero"}],
             "anomalies": {"longHeaderShortBody": [4], "runOnSprites": [0, 2]}})"},
    };
    return rows;
}

// Like a JSON merge patch, except that a null in `patch` is a null, not a removal.
void Merge(Json& into, const Json& patch) {
    for (const auto& member : patch.items()) {
        Json& target = into[member.key()];
        if (target.is_object() && member.value().is_object()) {
            Merge(target, member.value());
        } else {
            target = member.value();
        }
    }
}

Json InfoJson(const Bytes& movie) {
    ScopedMovie document;
    const std::int32_t result = LoadMovieFromBytes(document.movie, "movie.swf", movie.data(),
                                                   static_cast<std::int64_t>(movie.size()));
    EXPECT_EQ(result, loadOk);
    std::string text;
    JsonWriter writer(text);
    WriteInfoJson(writer, ComputeMovieInfo(document.movie));
    KeepJsonOutput("info.info", text);
    return strictjson::Parse(text);
}

TEST(InfoTest, EachRowGivesItsWholeInfo) {
    for (const InfoRow& row : Rows()) {
        SCOPED_TRACE(row.name);
        Json expected = strictjson::Parse(kNothingFound);
        Merge(expected, strictjson::Parse(row.got));
        EXPECT_EQ(InfoJson(Movie(Cat({row.tags, End(), row.afterEnd}))).dump(2), expected.dump(2));
    }
}

// Each row reads from a body of its bytes and tells what it got, then what is left or that the
// reader failed.
TEST(TagReaderTest, ReadsStopAtTheBodysLastByte) {
    using Read = std::function<std::string(TagReader&)>;
    const Read text = [](TagReader& r) { return std::string(r.CString()); };
    const Read u32 = [](TagReader& r) { return std::to_string(r.U32()); };
    const Read var = [](TagReader& r) { return std::to_string(r.VarU32()); };
    const struct {
        Bytes body;
        Read read;
        const char* got;
    } kRows[] = {
        {{'a', 'b', 0}, text, "ab, 0 left"},
        {{0, 7}, text, ", 1 left"},
        {{'a', 'b'}, text, ", failed"},
        {{}, text, ", failed"},
        {{1, 2, 3, 4}, u32, "67305985, 0 left"},
        {{1, 2, 3}, u32, "0, failed"},
        {{1, 2, 3}, [](TagReader& r) { return std::to_string(r.U32() + r.U8()); }, "0, failed"},
        {{0xFF, 0xFF, 0xFF, 0xFF, 0x0F}, var, "4294967295, 0 left"},
        {{0x80, 0x80}, var, "0, failed"},
        {{1, 2, 3, 4},
         [](TagReader& r) {
             r.U8();
             TagReader inner = r.Narrow(2);
             const std::string value = std::to_string(inner.U16());
             return value + (inner.AtEnd() ? " to its end" : "");
         },
         "770 to its end, 1 left"},
        {{1, 2},
         [](TagReader& r) {
             TagReader inner = r.Narrow(3);
             return std::to_string(inner.U8()) + (inner.Failed() ? " inner failed" : "");
         },
         "0 inner failed, failed"},
        {{1, 2, 3}, [](TagReader& r) { return std::to_string(r.Bytes(3).size()); }, "3, 0 left"},
    };
    for (const auto& row : kRows) {
        TagReader reader(row.body.data(), row.body.size());
        std::string got = row.read(reader);
        got += reader.Failed() ? ", failed" : ", " + std::to_string(reader.Remaining()) + " left";
        EXPECT_EQ(got, row.got) << testing::PrintToString(row.body);
    }
}

// Every list comes out once per text, in the order of the texts' bytes, however many duplicates
// were folded on the way.
TEST(ReferencesTest, ListsAreDistinctAndInByteOrder) {
    const struct {
        std::vector<std::string> added;
        std::vector<std::string_view> urls;
        std::vector<std::string_view> files;
    } kRows[] = {
        {{"b.swf", "a.swf", "b.swf"}, {}, {"a.swf", "b.swf"}},
        {{"\xC3\xA9.swf", "z.swf", "Z.swf"}, {}, {"Z.swf", "z.swf", "\xC3\xA9.swf"}},
        {{"ab.swf?x", "ab.swf", "a.swf"}, {}, {"a.swf", "ab.swf", "ab.swf?x"}},
        {{"http://a.example/b", "http://a.example/", "http://a.example/a\xFF", "ab.png"},
         {"http://a.example/", "http://a.example/a\xFF", "http://a.example/b"},
         {"ab.png"}},
        {{"a://", "a://x", ".sw", ".swf", "a.swf"}, {"a://x"}, {"a.swf"}},
        {{"abcdefBa.swf", "abcdefAz.swf"}, {}, {"abcdefAz.swf", "abcdefBa.swf"}},
    };
    for (const auto& row : kRows) {
        ReferenceCollector collector;
        for (const std::string& text : row.added) {
            collector.Add(text);
        }
        EXPECT_EQ(collector.TakeUrls(), row.urls) << testing::PrintToString(row.added);
        EXPECT_EQ(collector.TakeFiles(), row.files) << testing::PrintToString(row.added);
    }
    // Ten thousand of the same name cross several folds.
    const std::string same = "same.swf";
    const std::string other = "other.swf";
    ReferenceCollector collector;
    for (int i = 0; i < 10000; ++i) {
        collector.Add(i == 5000 ? other : same);
    }
    EXPECT_EQ(collector.TakeFiles(), (std::vector<std::string_view>{other, same}));
}

}  // namespace
