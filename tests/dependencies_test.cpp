// Reference resolution as a table: where the movie lies, the reference, the names present around
// it, and the list the reference belongs in.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analysis/dependencies.h"

using namespace velpin;

namespace {

constexpr auto kLoose = MoviePlace::LooseFile;
constexpr auto kEntry = MoviePlace::ArchiveEntry;
constexpr auto kRecord = MoviePlace::WarcRecord;
constexpr auto kPresent = DependencyList::Present;
constexpr auto kMissing = DependencyList::Missing;
constexpr auto kExternal = DependencyList::External;

// Loose files are looked up among `names` too, so the table needs no files on disk.
TEST(Dependencies, EachReferenceLandsInTheListItsSurroundingsGive) {
    struct Row {
        MoviePlace place;
        std::string where;
        std::string reference;
        bool isUrl;
        std::vector<std::string> names;
        DependencyList expected;
        std::string target;
    };
    const std::vector<std::string> game{"content/game/a.png", "content/b.png",
                                        "content/www.example.com/games/level2.swf"};
    const std::vector<std::string> crawl{"http://example.com/games/a.png",
                                         "http://example.com/b.png?v=2", "http://cdn.org/x.swf"};
    const std::string level2 = "content/www.example.com/games/level2.swf";
    const Row rows[] = {
        {kLoose, "/srv/g/m.swf", "a.png", false, {"/srv/g/a.png"}, kPresent, "/srv/g/a.png"},
        {kLoose,
         "/srv/g/m.swf",
         "./x/../a.png?v=1",
         false,
         {"/srv/g/a.png"},
         kPresent,
         "/srv/g/a.png"},
        {kLoose, "/srv/g/m.swf", "../a.png", false, {"/srv/a.png"}, kPresent, "/srv/a.png"},
        {kLoose, "/srv/g/m.swf", "../a.png", false, {"/srv/g/a.png"}, kMissing, "/srv/a.png"},
        {kLoose, "/m.swf", "../../a.png", false, {"/a.png"}, kPresent, "/a.png"},
        {kLoose, "g/m.swf", "../../a.png", false, {"../a.png"}, kPresent, "../a.png"},
        {kLoose, "m.swf", "/abs/a.png", false, {"/abs/a.png"}, kPresent, "/abs/a.png"},
        {kLoose,
         "/srv/g/m.swf",
         "http://example.com/a.png#x",
         true,
         {},
         kExternal,
         "http://example.com/a.png"},
        {kLoose,
         "/srv/g/m.swf",
         "my%20file.png",
         false,
         {"/srv/g/my file.png"},
         kPresent,
         "/srv/g/my file.png"},
        {kLoose,
         "/srv/g/m.swf",
         "sub\\win.swf",
         false,
         {"/srv/g/sub/win.swf"},
         kPresent,
         "/srv/g/sub/win.swf"},
        {kLoose,
         "/srv/g/m.swf",
         "data.xml#top",
         false,
         {"/srv/g/data.xml"},
         kPresent,
         "/srv/g/data.xml"},
        {kLoose,
         "/srv/g/m.swf",
         "//host/z.swf",
         false,
         {"//host/z.swf"},
         kExternal,
         "//host/z.swf"},
        {kEntry, "content/game/m.swf", "a.png", false, game, kPresent, "content/game/a.png"},
        {kEntry, "./content//game/m.swf", "./a.png", false, game, kPresent, "content/game/a.png"},
        {kEntry, "content/game/m.swf", "../b.png?x=1", false, game, kPresent, "content/b.png"},
        {kEntry, "content/game/m.swf", "..\\b.png#x", false, game, kPresent, "content/b.png"},
        {kEntry, "content/game/m.swf", "b.png", false, game, kMissing, "content/game/b.png"},
        {kEntry, "content/game/m.swf", "../../../b.png", false, game, kMissing, "../b.png"},
        {kEntry, "content/game/m.swf", "/content/b.png", false, game, kPresent, "content/b.png"},
        {kEntry, "m.swf", "http://WWW.example.com:80/games/x/../level2.swf?a#b", true, game,
         kPresent, level2},
        {kEntry, "m.swf", "http://www.example.com/games/level%32.swf", true, game, kPresent,
         level2},
        {kEntry,
         "m.swf",
         "https://www.example.com/games/level2.swf",
         true,
         {"www.example.com/games/level2.swf"},
         kPresent,
         "www.example.com/games/level2.swf"},
        {kEntry,
         "m.swf",
         "http://h.org/a.swf",
         true,
         {"z/h.org/a.swf", "b/h.org/a.swf", "bb/h.org/a.swf"},
         kPresent,
         "b/h.org/a.swf"},
        {kEntry, "m.swf", "//www.example.com/games/level2.swf", false, game, kExternal,
         "//www.example.com/games/level2.swf"},
        {kEntry, "m.swf", "http://www.example.com/level2.swf", true, game, kExternal,
         "http://www.example.com/level2.swf"},
        {kEntry, "m.swf", "http://example.com/games/level2.swf", true, game, kExternal,
         "http://example.com/games/level2.swf"},
        {kEntry, "m.swf", "http://www.example.com/", true, game, kExternal,
         "http://www.example.com/"},
        {kEntry, "m.swf", "ftp://www.example.com/games/level2.swf", true, game, kExternal,
         "ftp://www.example.com/games/level2.swf"},
        {kRecord, "http://example.com/games/m.swf", "a.png", false, crawl, kPresent,
         "http://example.com/games/a.png"},
        {kRecord, "http://example.com/games/m.swf", "../b.png?v=2", false, crawl, kPresent,
         "http://example.com/b.png?v=2"},
        {kRecord, "http://example.com/games/m.swf", "../b.png", false, crawl, kMissing,
         "http://example.com/b.png"},
        {kRecord, "http://example.com/games/m.swf", "a.png?v=1", false, crawl, kMissing,
         "http://example.com/games/a.png?v=1"},
        {kRecord, "http://example.com/games/m.swf", "//cdn.org/x.swf#top", true, crawl, kPresent,
         "http://cdn.org/x.swf"},
        {kRecord,
         "https://example.com/games/m.swf",
         "//cdn.org/x.swf",
         false,
         {"https://cdn.org/x.swf"},
         kPresent,
         "https://cdn.org/x.swf"},
        {kRecord,
         "http://example.com/games/m.swf",
         "sub\\my%20a.png#t",
         false,
         {"http://example.com/games/sub/my a.png"},
         kPresent,
         "http://example.com/games/sub/my%20a.png"},
        {kRecord, "http://example.com/games/m.swf", "http://cdn.org/y.swf", true, crawl, kMissing,
         "http://cdn.org/y.swf"},
        {kRecord, "", "a.png#x", false, crawl, kMissing, "a.png"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.where + " -> " + row.reference);
        NameList names;
        for (const std::string& name : row.names) {
            names.Add(name);
        }
        names.Seal();
        const PlacedReference placed =
            PlaceReference({row.place, row.where}, row.reference, row.isUrl, names);
        EXPECT_EQ(placed.list, row.expected);
        EXPECT_EQ(placed.target, row.target);
    }
}

// The examples of RFC 3986, section 5.4, that a movie's references can meet.
TEST(Dependencies, UrisResolveAsTheStandardsExamplesDo) {
    const std::string base = "http://a/b/c/d;p?q";
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"g:h", "g:h"},
        {"g", "http://a/b/c/g"},
        {"./g", "http://a/b/c/g"},
        {"g/", "http://a/b/c/g/"},
        {"/g", "http://a/g"},
        {"//g", "http://g"},
        {"?y", "http://a/b/c/d;p?y"},
        {"g?y", "http://a/b/c/g?y"},
        {"#s", "http://a/b/c/d;p?q"},
        {"", "http://a/b/c/d;p?q"},
        {"..", "http://a/b/"},
        {"../..", "http://a/"},
        {"../../../g", "http://a/g"},
        {"/./g", "http://a/g"},
        {"g..", "http://a/b/c/g.."},
        {"./g/.", "http://a/b/c/g/"},
        {"g;x=1/../y", "http://a/b/c/y"},
    };
    for (const auto& [reference, expected] : rows) {
        EXPECT_EQ(ResolveUri(base, reference).value_or("(none)"), expected) << reference;
    }
    EXPECT_FALSE(ResolveUri("relative/base", "g"));
}

TEST(Dependencies, ListsAreSortedWithoutDuplicatesAndHoldEveryReferenceOnce) {
    NameList names;
    names.Add("content/a.png");
    names.Seal();
    const std::vector<std::string_view> files{"b.png", "a.png", "./a.png"};
    const std::vector<std::string_view> urls{"mailto:x@y.z", "http://h/p.swf"};
    const Dependencies lists = PlaceReferences({kEntry, "content/m.swf"}, files, urls, names);
    EXPECT_EQ(lists.present,
              (std::vector<Dependency>{{"./a.png", "content/a.png"}, {"a.png", "content/a.png"}}));
    EXPECT_EQ(lists.missing, (std::vector<Dependency>{{"b.png", "content/b.png"}}));
    EXPECT_EQ(lists.external, (std::vector<Dependency>{{"http://h/p.swf", "http://h/p.swf"},
                                                       {"mailto:x@y.z", "mailto:x@y.z"}}));
}

}  // namespace
