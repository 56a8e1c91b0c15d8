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
    };
    const std::vector<std::string> game{"content/game/a.png", "content/b.png",
                                        "content/www.example.com/games/level2.swf"};
    const std::vector<std::string> crawl{"http://example.com/games/a.png",
                                         "http://example.com/b.png?v=2", "http://cdn.org/x.swf"};
    const Row rows[] = {
        {kLoose, "/srv/g/m.swf", "a.png", false, {"/srv/g/a.png"}, kPresent},
        {kLoose, "/srv/g/m.swf", "./x/../a.png?v=1", false, {"/srv/g/a.png"}, kPresent},
        {kLoose, "/srv/g/m.swf", "../a.png", false, {"/srv/a.png"}, kPresent},
        {kLoose, "/srv/g/m.swf", "../a.png", false, {"/srv/g/a.png"}, kMissing},
        {kLoose, "/m.swf", "../../a.png", false, {"/a.png"}, kPresent},
        {kLoose, "g/m.swf", "../../a.png", false, {"../a.png"}, kPresent},
        {kLoose, "m.swf", "/abs/a.png", false, {"/abs/a.png"}, kPresent},
        {kLoose, "/srv/g/m.swf", "http://example.com/a.png", true, {}, kExternal},
        {kEntry, "content/game/m.swf", "a.png", false, game, kPresent},
        {kEntry, "./content//game/m.swf", "./a.png", false, game, kPresent},
        {kEntry, "content/game/m.swf", "../b.png?x=1", false, game, kPresent},
        {kEntry, "content/game/m.swf", "b.png", false, game, kMissing},
        {kEntry, "content/game/m.swf", "../../../b.png", false, game, kMissing},
        {kEntry, "content/game/m.swf", "/content/b.png", false, game, kPresent},
        {kEntry, "m.swf", "http://WWW.example.com:80/games/x/../level2.swf?a#b", true, game,
         kPresent},
        {kEntry,
         "m.swf",
         "https://www.example.com/games/level2.swf",
         true,
         {"www.example.com/games/level2.swf"},
         kPresent},
        {kEntry, "m.swf", "http://www.example.com/level2.swf", true, game, kExternal},
        {kEntry, "m.swf", "http://example.com/games/level2.swf", true, game, kExternal},
        {kEntry, "m.swf", "http://www.example.com/", true, game, kExternal},
        {kEntry, "m.swf", "ftp://www.example.com/games/level2.swf", true, game, kExternal},
        {kRecord, "http://example.com/games/m.swf", "a.png", false, crawl, kPresent},
        {kRecord, "http://example.com/games/m.swf", "../b.png?v=2", false, crawl, kPresent},
        {kRecord, "http://example.com/games/m.swf", "../b.png", false, crawl, kMissing},
        {kRecord, "http://example.com/games/m.swf", "//cdn.org/x.swf#top", true, crawl, kPresent},
        {kRecord, "http://example.com/games/m.swf", "http://cdn.org/y.swf", true, crawl, kMissing},
        {kRecord, "", "a.png", false, crawl, kMissing},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.where + " -> " + row.reference);
        NameList names;
        for (const std::string& name : row.names) {
            names.Add(name);
        }
        names.Seal();
        EXPECT_EQ(PlaceReference({row.place, row.where}, row.reference, row.isUrl, names),
                  row.expected);
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
    EXPECT_EQ(lists.present, (std::vector<std::string>{"./a.png", "a.png"}));
    EXPECT_EQ(lists.missing, (std::vector<std::string>{"b.png"}));
    EXPECT_EQ(lists.external, (std::vector<std::string>{"http://h/p.swf", "mailto:x@y.z"}));
}

}  // namespace
