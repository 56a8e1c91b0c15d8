// velpin-cli end to end: the built program is run as a user would run it.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tests/json_outputs.h"
#include "tests/strict_json.h"
#include "tests/support/movie_builder.h"
#include "tests/support/run_program.h"

namespace {

using namespace testmovie;
using namespace strictjson;

bool Exists(const std::string& path) {
    return std::filesystem::exists(path);
}

class CliTest : public ::testing::Test {
  protected:
    // Runs velpin-cli with `args`; standard output goes to `outPath` when one is given.
    ProgramRun Run(const std::vector<std::string>& args, const std::string& outPath = "") {
        std::vector<std::string> all{VELPIN_CLI_PATH};
        all.insert(all.end(), args.begin(), args.end());
        const ProgramRun run = RunCapturing(all, io.Path(), outPath);
        if (run.status < 0) {
            ADD_FAILURE() << "cannot run " << VELPIN_CLI_PATH;
        }
        KeepJsonOutputOf(args, run.out);
        return run;
    }

    // Frames 0 and 1 end in ShowFrames; frame 1 holds a sprite with a frame of its own.
    static HeaderSpec Spec() {
        HeaderSpec spec;
        spec.frameCount = 2;
        return spec;
    }
    static Bytes SpriteTag() { return Sprite(Cat({ShowFrame(), End()})); }
    static Bytes Tags() {
        return Cat({Tag(9, {0, 0, 0}), DoAction({0x07, 0x00}), ShowFrame(), SpriteTag(),
                    ShowFrame(), End()});
    }

    TempDir io;
    TempDir dir;
    const std::string movie = dir.Write("movie.swf", Movie(Spec(), Tags()));
};

TEST_F(CliTest, TreePrintsTheWindowsTree) {
    const ProgramRun run = Run({"tree", movie});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, movie +
                           "\n"
                           "  Header\n"
                           "    Sign SWF\n"
                           "    Version 6\n"
                           "    File length 46\n"
                           "    FrameSize 0 11000 0 8000\n"
                           "      Movie Width 550 pixels\n"
                           "      Movie Height 400 pixels\n"
                           "    FrameRate 12 fps\n"
                           "    FrameCount 2\n"
                           "  Frame     0 (11 bytes so far) (Time:0.1 s.) (0.1 kb/s so far)\n"
                           "     SetBackgroundColor\n"
                           "     DoAction Stop\n"
                           "     ShowFrame 0\n"
                           "  Frame     1 (23 bytes so far) (Time:0.2 s.) (0.1 kb/s so far)\n"
                           "     DefineSprite\n"
                           "       ShowFrame 0\n"
                           "       End\n"
                           "     ShowFrame 1\n"
                           "  Frame     2\n"
                           "     End\n");
}

TEST_F(CliTest, TreeJsonGivesEveryNodeWithIconsAndItemIndex) {
    HeaderSpec spec;
    spec.frameCount = 0;
    const std::string small = dir.Write("small.swf", Movie(spec, End()));
    const ProgramRun run = Run({"tree", "--json", small});
    EXPECT_EQ(run.status, 0);
    const std::string leaf = R"(, "icon": 4, "selectedIcon": 4, "index": null, "children": []},)";
    EXPECT_EQ(
        run.out,
        R"({"result": 0, "reason": null, "error": null, "tree": {"text": ")" + small +
            R"(", "icon": 5, "selectedIcon": 5, "index": null, "children": [)"
            "\n"
            R"(  {"text": "Header", "icon": 3, "selectedIcon": 3, "index": null, "children": [)"
            "\n"
            R"(    {"text": "Sign SWF")" +
            leaf + "\n" + R"(    {"text": "Version 6")" + leaf + "\n" +
            R"(    {"text": "File length 23")" + leaf + "\n" +
            R"(    {"text": "FrameSize 0 11000 0 8000", "icon": 4, "selectedIcon": 4, "index": null, "children": [)"
            "\n"
            R"(      {"text": "Movie Width 550 pixels")" +
            leaf + "\n" +
            R"(      {"text": "Movie Height 400 pixels", "icon": 4, "selectedIcon": 4, "index": null, "children": []})"
            "\n"
            "    ]},\n" +
            R"(    {"text": "FrameRate 12 fps")" + leaf + "\n" +
            R"(    {"text": "FrameCount 0", "icon": 4, "selectedIcon": 4, "index": null, "children": []})"
            "\n"
            "  ]},\n"
            R"(  {"text": "Frame     0", "icon": 0, "selectedIcon": 0, "index": null, "children": [)"
            "\n"
            R"(    {"text": " End", "icon": 1, "selectedIcon": 1, "index": 0, "children": []})"
            "\n"
            "  ]}\n"
            "]}}\n");
    EXPECT_NO_THROW(Parse(run.out));
}

// Renders a parsed tree --json document the way tree prints it, checking each node's shape.
void RenderJsonTree(const Json& node, int depth, const Json& tags, std::string& out) {
    ASSERT_EQ(Keys(node),
              (std::vector<std::string>{"text", "icon", "selectedIcon", "index", "children"}));
    out.append(static_cast<std::size_t>(depth) * 2, ' ');
    const std::string text = node.at("text").get<std::string>();
    out += text + "\n";
    const Json& index = node.at("index");
    if (!index.is_null()) {
        const Json& item = tags.at(static_cast<std::size_t>(Integer(index)));
        EXPECT_EQ(text.rfind(" " + item.at("name").get<std::string>(), 0), 0u) << text;
        EXPECT_EQ(Integer(node.at("icon")), Integer(item.at("icon")));
    }
    EXPECT_EQ(Integer(node.at("icon")), Integer(node.at("selectedIcon")));
    for (const Json& child : node.at("children")) {
        RenderJsonTree(child, depth + 1, tags, out);
    }
}

TEST_F(CliTest, JsonOutputsParseStrictlyAndAgreeWithThePlainOnes) {
    const ProgramRun tagsJson = Run({"tags", "--json", movie});
    const ProgramRun tagsText = Run({"tags", movie});
    const ProgramRun treeJson = Run({"tree", "--json", movie});
    const ProgramRun treeText = Run({"tree", movie});
    for (const ProgramRun* run : {&tagsJson, &tagsText, &treeJson, &treeText}) {
        EXPECT_EQ(run->status, 0);
        EXPECT_EQ(run->err, "");
    }
    EXPECT_EQ(tagsText.out,
              "0 21 9 SetBackgroundColor 2 3 0 0 1\n"
              "1 26 12 DoAction 2 2 0 0 1 Stop\n"
              "2 30 1 ShowFrame 2 0 0 0 1\n"
              "3 32 39 DefineSprite 2 8 0 1 2\n"
              "4 38 1 ShowFrame 2 0 1 0 1\n"
              "5 40 0 End 2 0 1 1 1\n"
              "6 42 1 ShowFrame 2 0 0 1 1\n"
              "7 44 0 End 2 0 0 2 1\n");

    const Json tags = Parse(tagsJson.out);
    EXPECT_EQ(Keys(tags),
              (std::vector<std::string>{"result", "reason", "error", "header", "tags"}));
    EXPECT_EQ(Integer(tags.at("result")), 0);
    const Json& header = tags.at("header");
    EXPECT_EQ(header.at("signature").get<std::string>(), "FWS");
    EXPECT_EQ(Integer(header.at("version")), 6);
    EXPECT_EQ(Integer(header.at("declaredLength")), 46);
    EXPECT_EQ(Integer(header.at("frameRect").at("xMin")), 0);
    EXPECT_EQ(Integer(header.at("frameRect").at("xMax")), 11000);
    EXPECT_EQ(Integer(header.at("frameRect").at("yMin")), 0);
    EXPECT_EQ(Integer(header.at("frameRect").at("yMax")), 8000);
    EXPECT_EQ(Integer(header.at("frameRate")), 0x0C00);
    EXPECT_EQ(Integer(header.at("frameCount")), 2);
    // Every JSON item, written in the plain columns, gives the plain line.
    std::string fromJson;
    for (const Json& item : tags.at("tags")) {
        EXPECT_EQ(Keys(item), (std::vector<std::string>{"index", "offset", "code", "name",
                                                        "formatName", "headerLength", "bodyLength",
                                                        "depth", "frame", "icon", "action"}));
        // The window's names are the format's own.
        EXPECT_EQ(item.at("formatName"), item.at("name"));
        for (const char* key : {"index", "offset", "code"}) {
            fromJson += std::to_string(Integer(item.at(key))) + " ";
        }
        fromJson += item.at("name").get<std::string>();
        for (const char* key : {"headerLength", "bodyLength", "depth", "frame", "icon"}) {
            fromJson += " " + std::to_string(Integer(item.at(key)));
        }
        const Json& action = item.at("action");
        EXPECT_EQ(action.is_null(), Integer(item.at("code")) != 12);
        fromJson += action.is_null() ? "\n" : " " + action.get<std::string>() + "\n";
    }
    EXPECT_EQ(fromJson, tagsText.out);

    const Json tree = Parse(treeJson.out);
    EXPECT_EQ(Keys(tree), (std::vector<std::string>{"result", "reason", "error", "tree"}));
    std::string rendered;
    RenderJsonTree(tree.at("tree"), 0, tags.at("tags"), rendered);
    EXPECT_EQ(rendered, treeText.out);

    // Read leniently, a movie that loads gives the same, after the load's words and no faults.
    const Json lenientTags = Parse(Run({"tags", "--json", "--lenient", movie}).out);
    EXPECT_EQ(Keys(lenientTags),
              (std::vector<std::string>{"result", "reason", "error", "faults", "header", "tags"}));
    EXPECT_EQ(lenientTags.at("faults"), Json::array());
    EXPECT_EQ(lenientTags.at("tags"), tags.at("tags"));
    const Json lenientTree = Parse(Run({"tree", "--json", "--lenient", movie}).out);
    EXPECT_EQ(lenientTree.at("faults"), Json::array());
    rendered.clear();
    RenderJsonTree(lenientTree.at("tree"), 0, tags.at("tags"), rendered);
    EXPECT_EQ(rendered, treeText.out);
}

TEST_F(CliTest, PathsThatAreNotUtf8BecomeReplacementCharactersInJsonOnly) {
    const std::string odd = dir.Write("odd\xFF\"\\.swf", Movie(Spec(), Tags()));
    const ProgramRun text = Run({"tree", odd});
    EXPECT_EQ(text.out.substr(0, text.out.find('\n')), odd);
    const ProgramRun json = Run({"tree", "--json", odd});
    ASSERT_EQ(json.status, 0);
    EXPECT_EQ(Parse(json.out).at("tree").at("text").get<std::string>(),
              dir.Path() + "/odd\xEF\xBF\xBD\"\\.swf");
}

TEST_F(CliTest, FailedLoadsAndRaisedErrorsAreReported) {
    const std::string wrongLength = dir.Write("length.swf", Movie(Spec(), Tags(), 1000));
    const std::string lengthLine = "velpin-cli: " + wrongLength +
                                   ": Error Opening file! (load result -6: the declared file "
                                   "length differs from the file size)\n";
    const std::string lengthJson =
        "{\"result\": -6, \"reason\": \"the declared file length differs from the file size\", "
        "\"error\": null}\n";
    const std::string missing = dir.File("missing.swf");
    struct Row {
        std::vector<std::string> args;
        std::string out;
        std::string err;
    };
    const Row rows[] = {
        {{"tree", wrongLength}, "", lengthLine},
        {{"tags", wrongLength}, "", lengthLine},
        {{"info", wrongLength}, "", lengthLine},
        {{"tree", "--json", wrongLength}, lengthJson, lengthLine},
        {{"tags", "--json", wrongLength}, lengthJson, lengthLine},
        {{"info", "--json", wrongLength}, lengthJson, lengthLine},
        {{"tree", missing}, "", "velpin-cli: " + missing + ": File not found.\n"},
        {{"tags", "--json", missing},
         "{\"result\": null, \"reason\": null, \"error\": \"File not found.\"}\n",
         "velpin-cli: " + missing + ": File not found.\n"},
        {{"info", "--json", missing},
         "{\"result\": null, \"reason\": null, \"error\": \"File not found.\"}\n",
         "velpin-cli: " + missing + ": File not found.\n"},
        {{"tree", "--json", dir.File("no/such/folder.swf")},
         "{\"result\": null, \"reason\": null, \"error\": \"the folder " + dir.File("no/such") +
             " does not exist\"}\n",
         "velpin-cli: " + dir.File("no/such/folder.swf") + ": the folder " + dir.File("no/such") +
             " does not exist\n"},
        {{"tags", dir.Path()}, "", "velpin-cli: " + dir.Path() + ": it is a folder, not a file\n"},
    };
    for (const Row& row : rows) {
        const ProgramRun run = Run(row.args);
        EXPECT_EQ(run.status, 1) << row.args.back();
        EXPECT_EQ(run.out, row.out) << row.args.back();
        EXPECT_EQ(run.err, row.err) << row.args.back();
        if (!run.out.empty()) {
            EXPECT_NO_THROW(Parse(run.out));
        }
    }
}

TEST_F(CliTest, SaveRemovesTheNamedItemsAsDeleteTagDoes) {
    const Bytes stop = DoAction({0x07, 0x00});
    struct Row {
        std::vector<std::string> deletes;
        Bytes expected;
        std::string note = "";  // on standard error
    };
    const Row rows[] = {
        {{}, Movie(Spec(), Tags())},
        // Repeated indices count once, and all refer to the list as loaded.
        {{"2", "0", "2"}, Movie(Spec(), Cat({stop, SpriteTag(), ShowFrame(), End()}))},
        // A sprite goes with its contents; a tag inside a sprite is still saved with it.
        {{"3"}, Movie(Spec(), Cat({Tag(9, {0, 0, 0}), stop, ShowFrame(), ShowFrame(), End()}))},
        {{"4", "5"},
         Movie(Spec(), Tags()),
         "velpin-cli: " + movie +
             ": top-level tags removed: 0 (0 bytes); nested tags removed but still written inside "
             "their sprites: 2\n"},
        {{"7"},
         Movie(Spec(), Cat({Tag(9, {0, 0, 0}), stop, ShowFrame(), SpriteTag(), ShowFrame()}))},
    };
    int n = 0;
    for (const Row& row : rows) {
        const std::string out = dir.File("out" + std::to_string(n++) + ".swf");
        std::vector<std::string> args{"save"};
        for (const std::string& index : row.deletes) {
            args.push_back("--delete");
            args.push_back(index);
        }
        args.push_back(movie);
        args.push_back(out);
        const ProgramRun run = Run(args);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, row.note);
        ASSERT_TRUE(Exists(out));
        EXPECT_EQ(ReadFile(out), row.expected) << out;
    }
}

TEST_F(CliTest, SaveWritesNothingUnlessTheLoadSucceeded) {
    const std::string out = dir.File("out.swf");
    const std::string bad = dir.Write("bad.swf", Movie(Spec(), Tags(), 1000));
    ProgramRun run = Run({"save", bad, out});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind("velpin-cli: " + bad + ": Error Opening file!", 0), 0u) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_FALSE(Exists(out));

    run = Run({"save", dir.File("missing.swf"), out});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "velpin-cli: " + dir.File("missing.swf") + ": File not found.\n");
    EXPECT_FALSE(Exists(out));
}

TEST_F(CliTest, FailedWritesHaveAStatusOfTheirOwn) {
    if (!Exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full";
    }
    // Rows enough to pass the output buffer, so that the scan meets the failure on its way and
    // stops there, without a summary; a missing file (3) does not hide the loss.
    TempDir many;
    for (int i = 0; i < 3000; ++i) {
        many.Write(std::to_string(i) + ".swf", Movie(Spec(), Tags()));
    }
    const std::vector<std::string> scan{"scan", "--jobs", "1", dir.File("missing.swf"),
                                        many.Path()};
    std::vector<std::string> parallel = scan;
    parallel[2] = "2";
    const std::string stdoutLost = "velpin-cli: cannot write standard output\n";
    const struct {
        std::vector<std::string> args;
        std::string outPath;
        std::string err;
    } rows[] = {
        {{"save", movie, "/dev/full"}, "", "velpin-cli: /dev/full: Error Saving file!\n"},
        {{"repair", movie, "/dev/full"}, "", "velpin-cli: /dev/full: Error Saving file!\n"},
        {{"tree", movie}, "/dev/full", stdoutLost},
        {{"extract", "--index", "1", movie}, "/dev/full", stdoutLost},
        {scan, "/dev/full", stdoutLost},
        {parallel, "/dev/full", stdoutLost},
        {{"save", movie, dir.File("no/such/folder/out.swf")},
         "",
         "velpin-cli: " + dir.File("no/such/folder/out.swf") + ": the folder " +
             dir.File("no/such/folder") + " does not exist\n"},
    };
    for (const auto& row : rows) {
        const ProgramRun run = Run(row.args, row.outPath);
        EXPECT_EQ(run.status, 4) << row.args[0];
        EXPECT_EQ(run.err, row.err) << row.args[0];
    }
}

TEST_F(CliTest, TreeJsonNamesEveryItemOnceWhenFrameNumbersWrap) {
    // 65,537 ShowFrames: the last wraps to frame 0 and sits there, out of list order.
    HeaderSpec spec;
    spec.frameCount = 0;
    Bytes tags;
    for (int i = 0; i < 65537; ++i) {
        Append(tags, ShowFrame());
    }
    Append(tags, Cat({DoAction({0x06}), End()}));
    const ProgramRun run = Run({"tree", "--json", dir.Write("wrapped.swf", Movie(spec, tags))});
    ASSERT_EQ(run.status, 0);
    const Json root = Parse(run.out).at("tree");
    std::vector<long long> indices;
    for (const Json& frame : root.at("children")) {
        for (const Json& tag : frame.at("children")) {
            if (!tag.at("index").is_null()) {
                indices.push_back(Integer(tag.at("index")));
            }
        }
    }
    ASSERT_EQ(indices.size(), 65539u);
    EXPECT_EQ(indices[0], 0);
    EXPECT_EQ(indices[1], 65536);
    EXPECT_EQ(indices[2], 1);
    EXPECT_EQ(indices[3], 65537);
    EXPECT_EQ(indices[4], 65538);
    std::sort(indices.begin(), indices.end());
    for (std::size_t i = 0; i < indices.size(); ++i) {
        ASSERT_EQ(indices[i], static_cast<long long>(i));
    }
}

TEST_F(CliTest, BadUsageExitsWithTwoAndWritesNoFile) {
    const std::string out = dir.File("out.swf");
    struct Row {
        std::vector<std::string> args;
        std::string problem;  // the start of the one line on standard error, after "velpin-cli: "
    };
    const Row rows[] = {
        {{}, "A subcommand is required"},
        {{"bogus", movie}, "unknown subcommand bogus"},
        {{"tree"}, "FILE is required"},
        {{"tree", movie, movie}, "The following argument was not expected: " + movie},
        {{"tree", "--xml", movie}, "The following argument was not expected: --xml"},
        {{"tags", "--json"}, "FILE is required"},
        {{"info", "--body", movie}, "The following argument was not expected: --body"},
        {{"save", movie}, "OUT is required"},
        {{"save", movie, out, out}, "The following argument was not expected: " + out},
        {{"save", "--delete"}, "--delete: 1 required N missing"},
        {{"save", "--delete", "x", movie, out}, "--delete: not a decimal number: x"},
        {{"save", "--delete", "-1", movie, out}, "--delete: not a decimal number: -1"},
        {{"save", "--delete", "+1", movie, out}, "--delete: not a decimal number: +1"},
        {{"save", "--delete", "", movie, out}, "--delete: not a decimal number: "},
        {{"save", "--delete", "8", movie, out},
         movie + ": index 8 is out of range: the movie has 8"},
        {{"save", "--delete", "1", "--delete", "99999999999999999999999", movie, out},
         "--delete: too large: 99999999999999999999999"},
        {{"save", "--json", movie, out}, "The following argument was not expected: --json"},
        {{"tags", "--embedded", "x", movie}, "--embedded: not a decimal number: x"},
        {{"save", "--embedded", "0", movie, out},
         movie + ": --embedded: item 0 is not a DefineBinaryData"},
        {{"extract", "--data", "--body", "--index", "0", movie}, "--body excludes --data"},
        {{"tags", "--max-size", "20", movie}, "--max-size: not a size from 21 bytes to 2G-1: 20"},
        {{"scan", "--max-size", "2G", movie}, "--max-size: not a size from 21 bytes to 2G-1: 2G"},
        {{"info", "--max-size", "2097152K", movie}, "--max-size: not a size from 21 bytes to"},
        {{"tree", "--max-size", "1.5M", movie}, "--max-size: not a size from 21 bytes to"},
        {{"save", "--max-size", "-1", movie, out}, "--max-size: not a size from 21 bytes to"},
        {{"repair", "--max-size", "K", movie, out}, "--max-size: not a size from 21 bytes to"},
    };
    for (const Row& row : rows) {
        std::ostringstream shown;
        for (const std::string& arg : row.args) {
            shown << arg << ' ';
        }
        SCOPED_TRACE(shown.str());
        const ProgramRun run = Run(row.args);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, "");
        const std::string help = row.args.empty() || row.args[0] == "bogus"
                                     ? "velpin-cli --help"
                                     : "velpin-cli " + row.args[0] + " --help";
        EXPECT_EQ(run.err.rfind("velpin-cli: " + row.problem, 0), 0u) << run.err;
        const std::string end = " (see '" + help + "')\n";
        EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
        EXPECT_EQ(run.err.substr(run.err.size() - std::min(run.err.size(), end.size())), end);
        EXPECT_FALSE(Exists(out));
    }
}

// Every subcommand's help names each of its options on a line of its own, on standard output.
TEST_F(CliTest, HelpAndVersionGoToStandardOutputAndSucceed) {
    struct Row {
        std::vector<std::string> args;
        std::vector<std::string> lines;  // each the start of one line of the help, after blanks
    };
    const Row rows[] = {
        {{"--help"}, {"Usage: velpin-cli [OPTIONS] SUBCOMMAND", "--version", "tree", "compress"}},
        {{"tree", "-h"}, {"Usage: velpin-cli tree [OPTIONS] FILE", "--json", "--inflate"}},
        {{"tags", "--help"}, {"Usage: velpin-cli tags [OPTIONS] FILE", "--json", "--inflate"}},
        {{"info", "--help"}, {"Usage: velpin-cli info [OPTIONS] FILE", "--json", "--inflate"}},
        {{"save", "--help"},
         {"Usage: velpin-cli save [OPTIONS] IN OUT", "--delete N", "--delete-code C[,C...]",
          "--inflate", "--fws"}},
        {{"scan", "-h"},
         {"Usage: velpin-cli scan [OPTIONS] [PATH...]", "-j,--jobs N", "--inflate", "--hash",
          "--info"}},
        {{"extract", "--help", movie},
         {"Usage: velpin-cli extract [OPTIONS] IN [OUT]", "--index N", "--body", "--inflate"}},
        {{"inflate", "--help"}, {"Usage: velpin-cli inflate [OPTIONS] IN OUT", "-v"}},
        {{"compress", "--help"}, {"Usage: velpin-cli compress [OPTIONS] IN OUT", "--lzma"}},
        {{"--version"},
         {"velpin-cli " VELPIN_VERSION, "zlib", "libdeflate", "ISA-L", "liblzma", "libarchive",
          "libzip", "OpenSSL", "xxHash", "CLI11"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args[0] + " " + row.args[1 % row.args.size()]);
        const ProgramRun run = Run(row.args);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err, "");
        for (const std::string& line : row.lines) {
            EXPECT_TRUE(run.out.rfind(line, 0) == 0 ||
                        run.out.find("\n" + line) != std::string::npos ||
                        run.out.find("\n  " + line + " ") != std::string::npos)
                << line << " in\n"
                << run.out;
        }
    }
}

TEST_F(CliTest, OperandsAfterDoubleDashMayStartWithADash) {
    dir.Write("-movie.swf", Movie(Spec(), Tags()));
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    const ProgramRun run = Run({"tags", "--", "-movie.swf"});
    std::filesystem::current_path(previous);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.substr(0, run.out.find('\n')), "0 21 9 SetBackgroundColor 2 3 0 0 1");
}

}  // namespace
