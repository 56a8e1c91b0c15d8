// velpin-cli's commands for collections end to end: compressed input in place, scan, save by tag
// code and extract, run as a user would run them on movies built here.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "codec/swfcodec.h"
#include "tests/json_outputs.h"
#include "tests/strict_json.h"
#include "tests/support/child_process.h"
#include "tests/support/container_builder.h"
#include "tests/support/movie_builder.h"
#include "tests/support/run_program.h"

using namespace velpin;

namespace {

using namespace testmovie;
using namespace strictjson;

Bytes Packed(const Bytes& movie, MovieCompression method) {
    Bytes packed;
    CompressMovie(movie.data(), movie.size(), method, [&](const std::uint8_t* p, std::size_t n) {
        packed.insert(packed.end(), p, p + n);
    });
    return packed;
}

Bytes Text(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

// The FWS movie a file holds: itself, or what it inflates to.
Bytes Unpacked(const Bytes& file) {
    if (AsText(Bytes(file.begin(), file.begin() + 3)) == "FWS") {
        return file;
    }
    Bytes movie;
    InflateMovie(file.data(), file.size(), [&](const std::uint8_t* p, std::size_t n) {
        movie.insert(movie.end(), p, p + n);
    });
    return movie;
}

class CollectionTest : public ::testing::Test {
  protected:
    ProgramRun Run(const std::vector<std::string>& args) {
        std::vector<std::string> all{VELPIN_CLI_PATH};
        all.insert(all.end(), args.begin(), args.end());
        ProgramRun run = RunCapturing(all, io.Path());
        KeepJsonOutputOf(args, run.out);
        return run;
    }

    static HeaderSpec Spec() {
        HeaderSpec spec;
        spec.frameCount = 2;
        return spec;
    }
    static Bytes Debug() { return Tag(64, {0, 0}); }
    static Bytes Metadata() { return Tag(77, {'<', 'x', '/', '>', 0}); }
    static Bytes Abc() { return Tag(82, {1, 0, 0, 0, 0}); }
    static Bytes Background() { return Tag(9, {0, 0, 0}); }
    static Bytes SpriteTag() { return Sprite(Cat({Debug(), ShowFrame(), End()})); }
    static Bytes Last() { return Tag(1023); }  // the highest code a tag header can hold
    // Items: 0 background, 1 debug, 2 metadata, 3 ShowFrame, 4 sprite (5 debug, 6 ShowFrame,
    // 7 End), 8 DoABC, 9 ShowFrame, 10 code 1023, 11 End.
    static Bytes Tags() {
        return Cat({Background(), Debug(), Metadata(), ShowFrame(), SpriteTag(), Abc(), ShowFrame(),
                    Last(), End()});
    }

    TempDir io;
    TempDir dir;
    const Bytes movie = Movie(Spec(), Tags());
    const std::string fws = dir.Write("movie.swf", movie);
    const std::string cws = dir.Write("movie.cws", Packed(movie, MovieCompression::Zlib));
    const std::string zws = dir.Write("movie.zws", Packed(movie, MovieCompression::Lzma));
    const std::string damaged =
        dir.Write("damaged.cws", Cat({Packed(movie, MovieCompression::Zlib), {0, 0}}));
};

TEST_F(CollectionTest, CommandsAndOptionsGiveTheirStatusOutputAndFile) {
    const std::string out = dir.File("out.swf");
    const std::string runOn =
        dir.Write("run-on.swf", Movie(Cat({Sprite(ShowFrame()), Metadata(), ShowFrame(), End()})));
    // A sprite whose one tag's header alone is in its body: the tag's body is the movie's End, and
    // the sprite's walk goes on past it to a debug tag that no top-level tag holds.
    const Bytes pastEndSprite = Tag(39, Cat({U16(1), U16(1), {0x7F, 0x02}, U32(2)}));
    const Bytes pastEndMovie = Movie(Spec(), Cat({pastEndSprite, End()}));
    const std::string pastEnd =
        dir.Write("past-end.swf",
                  Cat({Movie(Spec(), Cat({pastEndSprite, End()}),
                             static_cast<std::uint32_t>(pastEndMovie.size() + Debug().size())),
                       Debug()}));
    const std::string tagsText = Run({"tags", fws}).out;
    const std::string infoText = Run({"info", fws}).out;
    const std::string treeText = Run({"tree", fws}).out;
    const std::string scanText = Run({"scan", fws}).out;
    const std::string hashedText = Run({"scan", "--hash", "crc32,sha1", fws}).out;
    const std::string list = dir.Write("list", Text("\n" + fws + "\n\n"));
    const auto refused = [](const std::string& path) {
        return "velpin-cli: " + path +
               ": Error Opening file! (load result -5: the file is not an uncompressed SWF "
               "movie); it is compressed (";
    };
    const std::string hint = "): add --inflate to load it in memory\n";
    // Cut inside the DoABC tag at 53; its stream without the checksum after the last byte.
    const std::string cut = dir.Write("cut.swf", Bytes(movie.begin(), movie.begin() + 57));
    const Bytes packed = ReadFile(cws);
    const std::string cutCws = dir.Write("cut.cws", Bytes(packed.begin(), packed.end() - 4));
    HeaderSpec oneFrame = Spec();
    oneFrame.frameCount = 1;
    const Bytes mended =
        Movie(oneFrame, Cat({Background(), Debug(), Metadata(), ShowFrame(), SpriteTag(), End()}));
    const std::string cutFaults = "velpin-cli: " + cut + ": declared length 66, 57 bytes held\n" +
                                  "velpin-cli: " + cut +
                                  ": the walk stopped at offset 53 (a tag runs past the end)\n";
    // Movies no repair mends: one too short once cut back, one whose tags, written back, still
    // fill the list past its limit.
    const Bytes tooShortMovie = Movie(HeaderOfLength(13, 1), Tag(2, Bytes(10, 7)));
    const std::string tooShort =
        dir.Write("too-short.swf", Bytes(tooShortMovie.begin(), tooShortMovie.begin() + 21));
    const std::string full = dir.Write("full.swf", Movie(Spec(), TagsFillingTheItemLimit()));
    const std::string notRepaired =
        ": repair: no movie the loader accepts can be made of the tags read: ";
    const std::string streamFault =
        "the CWS stream broke off after 66 bytes (the compressed data ends early: all 66 bytes "
        "declared came out of it, but not the end of the stream and its check)";
    // Whole, but for its checksum, which does not match.
    Bytes badSum = packed;
    badSum.back() ^= 1;
    const std::string badSumCws = dir.Write("bad-sum.cws", badSum);
    const std::string damage =
        "the CWS stream is damaged (the compressed data is corrupt: incorrect data check): the "
        "66 bytes it gave may hold wrong ones, and nothing tells which";
    const std::string png =
        dir.Write("picture.png", Cat({{0x89, 'P', 'N', 'G', 13, 10, 26, 10}, Bytes(24, 0)}));
    const std::string unknown = dir.Write("notes.txt", Text("these are notes, and not a movie\n"));
    const auto looksLike = [](const std::string& path, const std::string& what) {
        return "velpin-cli: " + path +
               ": Error Opening file! (load result -5: the file is not an uncompressed SWF "
               "movie); it looks like " +
               what + "\n";
    };
    // Declaring more than the load takes, a stream that breaks off within it is read as far as
    // it goes.
    Bytes cutLarge = ReadFile(cutCws);
    std::copy_n(U32(5u << 20).begin(), 4, cutLarge.begin() + 4);
    const std::string cutLargeCws = dir.Write("cut-large.cws", cutLarge);
    // Its stream is whole, bytes follow it: not cut, so the frames it declares stay declared.
    HeaderSpec fiveFrames = Spec();
    fiveFrames.frameCount = 5;
    const std::string fiveFramesCws =
        dir.Write("five-frames.cws",
                  Cat({Packed(Movie(fiveFrames, Tags()), MovieCompression::Zlib), {0, 0}}));
    const std::string longHeader =
        dir.Write("long-header.swf", Movie(Cat({Tag(77, {'<', 'x', '/', '>', 0}, true), End()})));
    struct Row {
        std::vector<std::string> args;
        int status;
        std::string out;
        std::string err;  // exactly, or its start when it does not end in a newline
        std::optional<Bytes> written = std::nullopt;  // OUT once inflated; none: no OUT
        std::string signature = "FWS";                // OUT's; empty: OUT is not a movie
    };
    const Row rows[] = {
        {{"tags", "--inflate", cws}, 0, tagsText, ""},
        {{"tags", "--inflate", fws}, 0, tagsText, ""},
        {{"tree", "--inflate", zws}, 0, zws + treeText.substr(fws.size()), ""},
        {{"tags", cws}, 1, "", refused(cws) + "CWS" + hint},
        {{"info", "--inflate", zws}, 0, infoText, ""},
        {{"info", cws}, 1, "", refused(cws) + "CWS" + hint},
        // Bytes after a whole compressed stream are no longer refused.
        {{"info", "--inflate", damaged}, 0, infoText, ""},
        {{"tags", "--json", zws},
         1,
         "{\"result\": -5, \"reason\": \"the file is not an uncompressed SWF movie\", \"error\": "
         "null}\n",
         refused(zws) + "ZWS" + hint},
        {{"tags", "--inflate", damaged}, 0, tagsText, ""},
        {{"tags", "--lenient", fws}, 0, tagsText, ""},
        {{"tags", "--lenient", cut}, 1, tagsText.substr(0, tagsText.find("\n8 ") + 1), cutFaults},
        {{"tags", "--lenient", "--inflate", cutCws},
         1,
         tagsText,
         "velpin-cli: " + cutCws + ": " + streamFault + "\n"},
        {{"tags", "--lenient", "--inflate", cutLargeCws},
         1,
         tagsText,
         "velpin-cli: " + cutLargeCws +
             ": the CWS stream broke off after 66 bytes (the compressed data ends early, after 66 "
             "bytes of the declared 5242880)\nvelpin-cli: " +
             cutLargeCws + ": declared length 5242880, 66 bytes held\n"},
        {{"info", "--json", "--lenient", zws},
         1,
         "{\"result\": -5, \"reason\": \"the file is not an uncompressed SWF movie\", \"error\": "
         "null, \"faults\": null}\n",
         refused(zws) + "ZWS" + hint},
        {{"extract", "--lenient", "--index", "4", cut}, 1, AsText(SpriteTag()), cutFaults},
        {{"repair", cut, out},
         0,
         "",
         "velpin-cli: " + cut +
             ": repair: declared length 66, 57 bytes held; the walk stopped at offset 53 (a tag "
             "runs "
             "past the end); kept 5 of 6 top-level tags; End added; frame count 2 -> 1; 55 bytes "
             "written\n",
         mended},
        {{"repair", "--json", cut, out},
         0,
         "{\"result\": -6, \"reason\": \"the declared file length differs from the file size\", "
         "\"error\": null, \"faults\": [{\"kind\": \"length\", \"declaredLength\": 66, \"size\": "
         "57}, {\"kind\": \"walk\", \"result\": -9, \"reason\": \"a tag runs past the end\", "
         "\"offset\": 53, \"depth\": 0}], \"input\": {\"topLevelTags\": 6, \"frameCount\": "
         "2}, \"topLevelTags\": 6, \"endAdded\": true, \"frameCount\": 1, \"writtenLength\": "
         "55, \"mended\": true}\n",
         "",
         mended},
        {{"repair", "--inflate", cutCws, out},
         0,
         "",
         "velpin-cli: " + cutCws + ": repair: " + streamFault +
             "; kept 9 of 9 top-level tags; 66 bytes written, as CWS\n",
         movie,
         "CWS"},
        // Written all the same, but the bytes are not known to be right.
        {{"repair", "--inflate", badSumCws, out},
         1,
         "",
         "velpin-cli: " + badSumCws + ": repair: " + damage +
             "; kept 9 of 9 top-level tags; 66 bytes written, as CWS; not mended: the damaged "
             "bytes are written as they came\n",
         movie,
         "CWS"},
        {{"tags", "--lenient", "--inflate", badSumCws},
         1,
         tagsText,
         "velpin-cli: " + badSumCws + ": " + damage + "\n"},
        {{"tags", "--inflate", png}, 1, "", looksLike(png, "a PNG image")},
        {{"tags", unknown}, 1, "", looksLike(unknown, "no kind of file known here")},
        {{"repair", "--inflate", fiveFramesCws, out},
         0,
         "",
         "velpin-cli: " + fiveFramesCws +
             ": repair: the CWS stream is whole, but 2 bytes follow the end of the compressed "
             "data; kept 9 of 9 top-level tags; 66 bytes written, as CWS\n",
         Movie(fiveFrames, Tags()),
         "CWS"},
        {{"repair", "--json", "--inflate", cutCws, out},
         0,
         "{\"result\": 0, \"reason\": null, \"error\": null, \"faults\": [{\"kind\": \"stream\", "
         "\"signature\": \"CWS\", \"inflated\": 66, \"reason\": \"the compressed data ends early: "
         "all 66 bytes declared came out of it, but not the end of the stream and its check\", "
         "\"damaged\": false}], \"input\": {\"topLevelTags\": 9, \"frameCount\": 2}, "
         "\"topLevelTags\": 9, \"endAdded\": false, \"frameCount\": 2, \"writtenLength\": 66, "
         "\"mended\": true}\n",
         "",
         movie,
         "CWS"},
        {{"repair", zws, out}, 1, "", refused(zws) + "ZWS" + hint},
        {{"repair", tooShort, out},
         1,
         "",
         "velpin-cli: " + tooShort + notRepaired + "it would be shorter than 21 bytes\n"},
        {{"repair", full, out},
         1,
         "",
         "velpin-cli: " + full + notRepaired +
             "written back, they still fail to load (load result -11: the movie would hold more "
             "than 4194304 tag items), and not inside a tag that could be left out\n"},
        {{"tree", "--inflate", damaged}, 0, damaged + treeText.substr(fws.size()), ""},
        {{"tags", "--lenient", "--inflate", damaged},
         1,
         tagsText,
         "velpin-cli: " + damaged +
             ": the CWS stream is whole, but 2 bytes follow the end of the compressed data\n"},
        {{"save", "--inflate", cws, out}, 0, "", "", movie, "CWS"},
        {{"save", "--inflate", zws, out}, 0, "", "", movie, "ZWS"},
        {{"save", "--inflate", "--fws", zws, out}, 0, "", "", movie},
        {{"save", "--inflate", "--delete-code", "64,77", cws, out},
         0,
         "",
         "velpin-cli: " + cws +
             ": top-level tags removed: 2 (11 bytes); nested tags removed but still written inside "
             "their sprites: 1\n",
         Movie(Spec(),
               Cat({Background(), ShowFrame(), SpriteTag(), Abc(), ShowFrame(), Last(), End()})),
         "CWS"},
        // The sprite goes with the debug tag inside it, which is then not written either.
        {{"save", "--delete-code", "64", "--delete", "4", "--delete-code", "999", fws, out},
         0,
         "",
         "velpin-cli: " + fws +
             ": top-level tags removed: 2 (18 bytes); nested tags removed but still written inside "
             "their sprites: 0\n",
         Movie(Spec(),
               Cat({Background(), Metadata(), ShowFrame(), Abc(), ShowFrame(), Last(), End()}))},
        // In a sprite without an End tag, the walk runs on through the tags after it, so item 3
        // is the top-level ShowFrame read again inside the sprite: it stays in the file.
        {{"save", "--delete", "3", "--delete-code", "999", runOn, out},
         0,
         "",
         "velpin-cli: " + runOn +
             ": top-level tags removed: 0 (0 bytes); nested tags removed but still written inside "
             "their sprites: 1\n",
         ReadFile(runOn)},
        // Deleted by index inside a sprite, it is still written: said as for a code.
        {{"save", "--delete", "5", fws, out},
         0,
         "",
         "velpin-cli: " + fws +
             ": top-level tags removed: 0 (0 bytes); nested tags removed but still written "
             "inside their sprites: 1\n",
         movie},
        {{"save", "--delete", "99", fws, out},
         2,
         "",
         "velpin-cli: " + fws +
             ": index 99 is out of range: the movie has 12 tag items (see 'velpin-cli save "
             "--help')\n"},
        {{"save", "--delete-code", "64", pastEnd, out},
         0,
         "",
         "velpin-cli: " + pastEnd +
             ": top-level tags removed: 0 (0 bytes); nested tags removed but still written inside "
             "their sprites: 0\n",
         pastEndMovie},
        {{"save", "--delete-code", "1024", fws, out},
         2,
         "",
         "velpin-cli: --delete-code: not a tag code: 1024 (see 'velpin-cli save --help')\n"},
        {{"save", "--delete-code=1023", fws, out},
         0,
         "",
         "velpin-cli: " + fws + ": top-level tags removed: 1 (2 bytes)",
         Movie(Spec(), Cat({Background(), Debug(), Metadata(), ShowFrame(), SpriteTag(), Abc(),
                            ShowFrame(), End()}))},
        {{"save", "--delete-code", "64,", fws, out},
         2,
         "",
         "velpin-cli: --delete-code: not a tag code:  ("},
        {{"save", "--delete-code", "+64", fws, out},
         2,
         "",
         "velpin-cli: --delete-code: not a tag code: +64 ("},
        {{"save", cws, out}, 1, "", refused(cws) + "CWS" + hint},
        {{"extract", "--index", "2", fws}, 0, AsText(Metadata()), ""},
        {{"extract", "--index", "5", "--inflate", zws, "-"}, 0, AsText(Debug()), ""},
        {{"extract", "--body", "--index", "2", fws}, 0, std::string("<x/>\0", 5), ""},
        {{"extract", "--body", "--index", "0", longHeader}, 0, std::string("<x/>\0", 5), ""},
        {{"extract", "--index", "2", "--body", "--inflate", cws, out},
         0,
         "",
         "",
         Bytes{'<', 'x', '/', '>', 0},
         ""},
        {{"extract", "--index", "12", fws, out},
         2,
         "",
         "velpin-cli: " + fws +
             ": index 12 is out of range: the movie has 12 tag items (see 'velpin-cli extract "
             "--help')\n"},
        {{"extract", "--index=11", "--body", fws}, 0, "", ""},
        {{"extract", fws}, 2, "", "velpin-cli: --index is required ("},
        {{"extract", "--index", "1", "--index", "2", fws}, 2, "", "velpin-cli: --index: "},
        {{"extract", "--index", "1", fws, out, out}, 2, "", "velpin-cli: The following argument"},
        {{"extract", "--index", "1", cws, out}, 1, "", refused(cws) + "CWS" + hint},
        {{"extract", "--index", "1", fws, "/dev/full"},
         4,
         "",
         "velpin-cli: /dev/full: Error Saving file!\n"},
        {{"scan"}, 2, "", "velpin-cli: PATH is required (see 'velpin-cli scan --help')\n"},
        // --jobs takes both ends of its range and nothing beyond them.
        {{"scan", "--jobs", "0", fws},
         2,
         "",
         "velpin-cli: --jobs: Value 0 not in range 1 to 1024 ("},
        {{"scan", "--jobs=1025", fws},
         2,
         "",
         "velpin-cli: --jobs: Value 1025 not in range 1 to 1024 ("},
        {{"scan", "-j", "x", fws}, 2, "", "velpin-cli: --jobs: not a decimal number: x ("},
        {{"scan", "--hash", "sha256,sha512", fws},
         2,
         "",
         "velpin-cli: --hash: unknown hash \"sha512\": use sha256, sha1, md5, crc32 or xxh128 ("},
        {{"scan", "--files-from", list}, 0, scanText, "scan: 1 file, 1 loaded, 0 failed, "},
        {{"scan", "--hash", "crc32", "--hash", "sha1,crc32", fws},
         0,
         hashedText,
         "scan: 1 file, 1 loaded, 0 failed, "},
        {{"scan", "--hash=CRC32,Sha1", fws}, 0, hashedText, "scan: 1 file, 1 loaded, 0 failed, "},
        {{"scan", "--files-from", dir.File("missing.txt")},
         3,
         "",
         "velpin-cli: " + dir.File("missing.txt") +
             ": cannot read the list of paths: File not found.\n"},
    };
    for (const Row& row : rows) {
        std::ostringstream shown;
        for (const std::string& arg : row.args) {
            shown << arg << ' ';
        }
        SCOPED_TRACE(shown.str());
        const ProgramRun run = Run(row.args);
        EXPECT_EQ(run.status, row.status);
        EXPECT_EQ(run.out, row.out);
        if (row.err.empty() || row.err.back() == '\n') {
            EXPECT_EQ(run.err, row.err);
        } else {
            EXPECT_EQ(run.err.rfind(row.err, 0), 0u) << run.err;
        }
        if (row.status == 2) {
            EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        }
        if (!row.written) {
            EXPECT_FALSE(std::filesystem::exists(out));
            continue;
        }
        const Bytes written = ReadFile(out);
        if (row.signature.empty()) {
            EXPECT_TRUE(written == *row.written);
        } else {
            ASSERT_GE(written.size(), 3u);
            EXPECT_EQ(AsText(Bytes(written.begin(), written.begin() + 3)), row.signature);
            EXPECT_TRUE(Unpacked(written) == *row.written);
        }
        std::filesystem::remove(out);
    }
}

TEST_F(CollectionTest, InfoPrintsTheFactsInSections) {
    const ProgramRun run = Run({"info", fws});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out,
              "Settings\n"
              "  background color: #000000\n"
              "  file attributes: none\n"
              "  metadata: <x/>\n"
              "  product: none\n"
              "  script limits: none\n"
              "  protect: none\n"
              "  debugger: tag 64, no password\n"
              "Symbols: none\n"
              "Exports: none\n"
              "Imports: none\n"
              "Frame labels: none\n"
              "ActionScript 3 (1)\n"
              "  tag 8, 5 bytes, flags 1, name \n"
              "Binary data: none\n"
              "URLs: none\n"
              "Files: none\n"
              "Anomalies\n"
              "  trailing bytes: 0\n"
              "  truncated tags: 8\n"
              "  unknown codes: 1023\n"
              "  long headers on short bodies: none\n"
              "  run-on sprites: none\n");
}

// The window names none of the later codes; the format names all but the last.
TEST_F(CollectionTest, TagsJsonGivesTheFormatsNameBesideTheWindows) {
    const ProgramRun run = Run({"tags", "--json", fws});
    ASSERT_EQ(run.status, 0);
    const Json tags = Parse(run.out);
    std::string names;
    for (const Json& item : tags.at("tags")) {
        names += item.at("name").get<std::string>() + "/" + item.at("formatName").dump() + " ";
    }
    EXPECT_EQ(names,
              "SetBackgroundColor/\"SetBackgroundColor\" Unknown/\"EnableDebugger2\" "
              "Unknown/\"Metadata\" ShowFrame/\"ShowFrame\" DefineSprite/\"DefineSprite\" "
              "Unknown/\"EnableDebugger2\" ShowFrame/\"ShowFrame\" End/\"End\" Unknown/\"DoABC\" "
              "ShowFrame/\"ShowFrame\" Unknown/null End/\"End\" ");
}

// Each line parsed, with its members in order, as "path signature version declaredLength result
// reason error".
std::string Summaries(const std::string& output) {
    std::string summaries;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        Json scanned = Parse(line);
        scanned.erase("hashes");
        EXPECT_EQ(Keys(scanned),
                  (std::vector<std::string>{"path", "entry", "embedded", "modified", "warc", "size",
                                            "signature", "version", "declaredLength", "result",
                                            "reason", "error", "movie"}));
        EXPECT_TRUE(scanned.at("entry").is_null());
        EXPECT_EQ(scanned.at("movie").is_null(), scanned.at("result") != 0) << line;
        summaries += scanned.at("path").get<std::string>();
        for (const char* key :
             {"signature", "version", "declaredLength", "result", "reason", "error"}) {
            summaries += " " + scanned.at(key).dump();
        }
        summaries += "\n";
    }
    return summaries;
}

TEST_F(CollectionTest, ScanGivesTheSameLinesInPathOrderForAnyJobCount) {
    TempDir folder;
    std::filesystem::create_directory(folder.File("sub"));
    const Bytes packed = ReadFile(cws);
    folder.Write("a.swf", movie);
    folder.Write("b.SWF", packed);
    folder.Write("sub/c.swf", ReadFile(zws));
    folder.Write("d.swf", Movie(Spec(), Tags(), 1000));
    folder.Write("e.swf", ReadFile(damaged));
    const std::string text = "a text file, not a movie at all";
    folder.Write("f.swf", Bytes(text.begin(), text.end()));
    folder.Write("notes.txt", movie);
    // Taken because it is named, though it does not end in .swf; two bytes follow its End tag.
    const auto namedLength = static_cast<std::uint32_t>(movie.size() + 2);
    const std::string named =
        dir.Write("named.bin", Cat({Movie(Spec(), Tags(), namedLength), {1, 2}}));

    const ProgramRun one = Run({"scan", "--inflate", "--jobs", "1", folder.Path(), named});
    const ProgramRun two = Run({"scan", "--jobs", "2", "--inflate", named, folder.Path()});
    const ProgramRun most = Run({"scan", "--inflate", "--jobs=1024", folder.Path(), named});
    const ProgramRun plain = Run({"scan", folder.Path()});
    EXPECT_EQ(one.status, 1);
    EXPECT_EQ(two.status, 1);
    EXPECT_EQ(two.out, one.out);
    EXPECT_EQ(most.out, one.out);
    EXPECT_EQ(Run({"scan", fws}).err.rfind("scan: 1 file, 1 loaded, 0 failed, ", 0), 0u);
    const std::size_t bytes =
        2 * movie.size() + 2 * packed.size() + 2 + ReadFile(zws).size() + text.size() + namedLength;
    EXPECT_EQ(one.err.rfind(
                  "scan: 7 files, 5 loaded, 2 failed, " + std::to_string(bytes) + " bytes, ", 0),
              0u)
        << one.err;
    EXPECT_EQ(std::count(one.err.begin(), one.err.end(), '\n'), 1) << one.err;
    EXPECT_EQ(plain.err.rfind("scan: 6 files, 1 loaded, 5 failed, ", 0), 0u) << plain.err;

    const std::string length = std::to_string(movie.size());
    std::vector<std::pair<std::string, std::string>> expected = {
        {folder.File("a.swf"), "\"FWS\" 6 " + length + " 0 null null"},
        {folder.File("b.SWF"), "\"CWS\" 6 " + length + " 0 null null"},
        {folder.File("d.swf"),
         "\"FWS\" 6 1000 -6 \"the declared file length differs from the file size\" null"},
        {folder.File("e.swf"), "\"CWS\" 6 " + length + " 0 null null"},
        {folder.File("f.swf"),
         "null null null -5 \"the file is not an uncompressed SWF movie\" null"},
        {folder.File("sub/c.swf"), "\"ZWS\" 6 " + length + " 0 null null"},
        {named, "\"FWS\" 6 " + std::to_string(namedLength) + " 0 null null"},
    };
    std::sort(expected.begin(), expected.end());
    std::string wanted;
    for (const auto& [path, summary] : expected) {
        wanted += path + " " + summary + "\n";
    }
    EXPECT_EQ(Summaries(one.out), wanted);
    EXPECT_NE(Summaries(plain.out).find(folder.File("b.SWF") + " \"CWS\" 6 " + length +
                                        " -5 \"the file is not an uncompressed SWF movie\" null\n"),
              std::string::npos);

    std::istringstream lines(one.out);
    for (std::string line; std::getline(lines, line);) {
        const Json scanned = Parse(line);
        const std::string path = scanned.at("path").get<std::string>();
        if (path == named) {
            EXPECT_EQ(Integer(scanned.at("size")), namedLength);
            EXPECT_EQ(Integer(scanned.at("movie").at("trailingBytes")), 2);
        }
        if (path != folder.File("a.swf")) {
            continue;
        }
        EXPECT_EQ(scanned.at("movie"), Json::parse(R"({
            "frameRect": {"xMin": 0, "xMax": 11000, "yMin": 0, "yMax": 8000},
            "frameRate": 3072, "frameCount": 2, "tags": 12, "topLevelTags": 9, "nestedTags": 3,
            "maxDepth": 1, "showFrames": 2, "trailingBytes": 0,
            "codes": {"0": {"count": 2, "topLevelBytes": 2}, "1": {"count": 3, "topLevelBytes": 4},
                      "9": {"count": 1, "topLevelBytes": 5}, "39": {"count": 1, "topLevelBytes": 14},
                      "64": {"count": 2, "topLevelBytes": 4}, "77": {"count": 1, "topLevelBytes": 7},
                      "82": {"count": 1, "topLevelBytes": 7}, "1023": {"count": 1, "topLevelBytes": 2}},
            "flags": {"as3": true, "debug": true, "metadata": true, "productInfo": false}})"));
    }
}

// The first movie holds two million tags, so one worker loads it while the other runs through
// more files than the queue's window holds: the lines still come in path order, each once.
TEST_F(CollectionTest, ScanKeepsPathOrderBehindASlowFirstMovie) {
    TempDir folder;
    Bytes manyTags;
    for (int i = 0; i < 2000000; ++i) {
        Append(manyTags, ShowFrame());
    }
    Append(manyTags, End());
    std::vector<std::string> wanted{folder.Write("a.swf", Movie(Spec(), manyTags))};
    for (int i = 100; i < 400; ++i) {
        wanted.push_back(folder.Write("m" + std::to_string(i) + ".swf", movie));
    }
    const ProgramRun run = Run({"scan", "-j", "2", folder.Path()});
    EXPECT_EQ(run.status, 0);
    std::vector<std::string> paths;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) {
        paths.push_back(Parse(line).at("path").get<std::string>());
    }
    EXPECT_EQ(paths, wanted);
    EXPECT_EQ(run.err.rfind("scan: 301 files, 301 loaded, 0 failed, ", 0), 0u) << run.err;
}

TEST_F(CollectionTest, ScanInfoAddsTheInfoOfEachLoadedMovie) {
    const ProgramRun scan = Run({"scan", "--info", "--inflate", zws, dir.File("missing.swf")});
    const ProgramRun without = Run({"scan", "--inflate", zws});
    const ProgramRun info = Run({"info", "--json", fws});
    std::istringstream lines(scan.out);
    std::string missing;
    std::string loaded;
    ASSERT_TRUE(std::getline(lines, missing) && std::getline(lines, loaded));  // in path order
    EXPECT_TRUE(Parse(missing).at("movie").is_null());
    Json movieWithInfo = Parse(loaded).at("movie");
    EXPECT_EQ(movieWithInfo.at("info"), Parse(info.out).at("info"));
    movieWithInfo.erase("info");
    EXPECT_EQ(movieWithInfo, Parse(without.out).at("movie"));
}

// Root reads every folder and file whatever its mode, so the scan runs as an ordinary user; input
// that cannot be read at all exits 3, a folder or a container in it alike.
TEST_F(CollectionTest, AFolderThatCannotBeListedGivesARowAndFails) {
    TempDir folder;
    const std::string locked = folder.File("locked");
    std::filesystem::create_directory(locked);
    folder.Write("locked/a.swf", movie);
    const std::string zip =
        folder.Write("locked/games.zip",
                     testcontainer::Archive(testcontainer::ArchiveFormat::Zip, {{"b.swf", movie}}));
    ASSERT_EQ(chmod(folder.Path().c_str(), 0755), 0);
    // The child runs as nobody, who may not reach the build tree (a checkout under /root is
    // private to root): it runs a copy of the program beside the folder it scans.
    const std::string program = folder.File("velpin-cli");
    std::filesystem::copy_file(VELPIN_CLI_PATH, program);
    ASSERT_EQ(chmod(program.c_str(), 0755), 0);
    // Open to the child, which writes the rows there.
    const std::string out = folder.Write("rows.jsonl", {});
    ASSERT_EQ(chmod(out.c_str(), 0666), 0);
    const struct {
        mode_t folderMode;
        mode_t zipMode;
        int status;
        std::string firstPath;
        Json error;
    } rows[] = {
        {0755, 0644, 0, locked + "/a.swf", nullptr},
        {0755, 0000, 3, locked + "/a.swf", nullptr},
        {0000, 0644, 3, locked, "cannot read the folder: Permission denied"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << std::oct << row.folderMode << " " << row.zipMode);
        // The zip first, while its folder can still be searched.
        ASSERT_EQ(chmod(zip.c_str(), row.zipMode), 0);
        ASSERT_EQ(chmod(locked.c_str(), row.folderMode), 0);
        const int run = RunInChild(
            [&] {
                return RunProgram({program, "scan", locked}, out, "/dev/null");
            },
            true);
        if (run == kChildCannotDropPrivileges) {
            GTEST_SKIP() << "cannot drop privileges here";
        }
        EXPECT_EQ(run, row.status);
        const std::string rowsOut = AsText(ReadFile(out));
        const Json first = Parse(rowsOut.substr(0, rowsOut.find('\n')));
        EXPECT_EQ(first.at("path"), row.firstPath);
        EXPECT_EQ(first.at("error"), row.error);
    }
    chmod(locked.c_str(), 0755);
}

// The golden check for containers: a movie inside a zip, a 7z, a tar.gz, a WARC (as an HTTP
// response, chunked and gzip-encoded, or a resource) or a WACZ gives exactly the row the loose file
// gives, but for its path and entry; rows come in path order, a container's in its own order.
TEST_F(CollectionTest, MoviesInContainersGiveTheLooseFilesRows) {
    using namespace testcontainer;
    TempDir loose;
    std::vector<Member> members;
    for (const auto& [name, path] : {std::pair<std::string, std::string>{"a.swf", fws},
                                     {"b.cws", cws},
                                     {"c.zws", zws},
                                     {"d.cws", damaged}}) {
        members.push_back({"content/" + name, ReadFile(path)});
    }
    members.push_back({"content/e.swf", {}});  // a movie by its name only, and empty
    members.push_back({"readme.txt", {'h', 'i'}});
    std::vector<std::string> loosePaths;
    for (const Member& member : members) {
        loosePaths.push_back(
            loose.Write(member.name.substr(member.name.find('/') + 1), member.bytes));
    }
    std::vector<WarcRecord> records{{"warcinfo", "", {'x'}}};
    for (const Member& member : members) {
        const std::string uri = "http://example.com/" + member.name;
        records.push_back({"request", uri, {'G', 'E', 'T'}});
        records.push_back({"response", uri,
                           HttpResponse({"Transfer-Encoding: chunked", "Content-Encoding: gzip"},
                                        Chunked(Gzip(member.bytes), 100))});
    }
    records.push_back({"resource", "file:///a.swf", movie, "WARC/1.0"});
    const Bytes warc = Warc(records, true);
    TempDir folder;
    folder.Write("games.zip", Archive(ArchiveFormat::Zip, members));
    folder.Write("games.7z", Archive(ArchiveFormat::SevenZip, members));
    // Named, so taken by its content; a walk passes it by.
    const std::string named =
        folder.Write("dump.bin", Archive(ArchiveFormat::Tar, members, ArchiveFilter::Gzip));
    folder.Write("crawl.warc.gz", warc);
    folder.Write("site.wacz", Archive(ArchiveFormat::Zip, {{"archive/data.warc.gz", warc}}));
    Bytes cut = Archive(ArchiveFormat::Tar, members);
    cut.resize(1024 + 700);  // inside the second entry's bytes
    folder.Write("cut.tar", cut);
    folder.Write("ignored.gz", warc);
    folder.Write("junk.zip", {'n', 'o'});
    const std::string list =
        dir.Write("list", Cat({Bytes(named.begin(), named.end()),
                               {0},
                               Bytes(folder.Path().begin(), folder.Path().end())}));

    const std::vector<std::string> hash{"--hash", "sha256,crc32", "--hash", "md5"};
    const auto scan = [&](const std::vector<std::string>& args) {
        std::vector<std::string> all{"scan", "--inflate"};
        all.insert(all.end(), hash.begin(), hash.end());
        all.insert(all.end(), args.begin(), args.end());
        return Run(all);
    };
    const ProgramRun looseRun = scan(loosePaths);
    const std::string summaryPath = dir.File("summary.json");
    const ProgramRun one =
        scan({"--jobs", "1", "--files0-from", list, "--summary-json", summaryPath});
    // A list written with CR LF line ends, after a byte-order mark, names the same files.
    const ProgramRun two =
        scan({"--jobs", "2", "--files-from",
              dir.Write("crlf", Cat({{0xEF, 0xBB, 0xBF},
                                     Bytes(folder.Path().begin(), folder.Path().end()),
                                     {'\r', '\n'},
                                     Bytes(named.begin(), named.end()),
                                     {'\r', '\n'}}))});
    EXPECT_EQ(one.status, 1);
    EXPECT_EQ(two.out, one.out);
    EXPECT_NE(one.err.find(" 7 containers, 19 other entries, "), std::string::npos) << one.err;
    // The summary file holds the summary line's totals.
    const std::string summaryText = AsText(ReadFile(summaryPath));
    KeepJsonOutput("scan-summary", summaryText);
    const Json summary = Parse(summaryText);
    const auto total = [&summary](const char* key) {
        return std::to_string(summary.at(key).get<std::int64_t>());
    };
    EXPECT_EQ(summary.at("scanner"), "velpin-cli " VELPIN_VERSION);
    EXPECT_NE(one.err.find("scan: " + total("files") + " files, " + total("loaded") + " loaded, " +
                           total("failed") + " failed, " + total("bytes") + " bytes, " +
                           total("containers") + " containers, " + total("otherEntries") +
                           " other entries, " + total("unreadable") + " unreadable, "),
              std::string::npos)
        << one.err << summaryText;

    std::map<std::string, Json> looseRows;
    std::istringstream looseLines(looseRun.out);
    for (std::string line; std::getline(looseLines, line);) {
        Json row = Parse(line);
        const std::string path = row.at("path").get<std::string>();
        for (const char* where : {"path", "entry", "modified", "warc"}) {
            row.erase(where);
        }
        looseRows[path.substr(path.rfind('/') + 1)] = row;
    }
    ASSERT_EQ(looseRows.size(), 6u);  // readme.txt too, named as it is
    const std::vector<std::string> order{"content/a.swf", "content/b.cws", "content/c.zws",
                                         "content/d.cws", "content/e.swf"};
    std::vector<std::string> seen;
    std::istringstream lines(one.out);
    for (std::string line; std::getline(lines, line);) {
        Json row = Parse(line);
        const std::string path = row.at("path").get<std::string>();
        std::string entry;
        // A row about the outermost container itself names no entry.
        for (const Json& name : row.at("entry").is_null() ? Json::array() : row.at("entry")) {
            entry += (entry.empty() ? "" : " > ") + name.get<std::string>();
        }
        seen.push_back(path.substr(path.rfind('/') + 1) + ": " + entry);
        if (!row.at("error").is_null() && row.at("signature").is_null()) {
            EXPECT_EQ(row.at("error"),
                      entry.empty() ? "not a container: no zip, 7z, tar or WARC data"
                                    : "Truncated input file (needed 445 bytes, only 121 available)")
                << line;
            continue;
        }
        const std::string last = row.at("entry").back().get<std::string>();
        const std::string file = last.substr(last.rfind('/') + 1);
        for (const char* where : {"path", "entry", "modified", "warc"}) {
            row.erase(where);
        }
        EXPECT_EQ(row, looseRows.at(file)) << line;
    }
    std::vector<std::string> expected;
    const auto add = [&](const std::string& path, const std::string& prefix) {
        for (const std::string& name : order) {
            expected.push_back(path + ": " + prefix + name);
        }
    };
    add("crawl.warc.gz", "http://example.com/");
    expected.push_back("crawl.warc.gz: file:///a.swf");
    expected.push_back("cut.tar: content/a.swf");
    expected.push_back("cut.tar: content/b.cws");
    add("dump.bin", "");
    add("games.7z", "");
    add("games.zip", "");
    expected.push_back("junk.zip: ");
    add("site.wacz", "archive/data.warc.gz > http://example.com/");
    expected.push_back("site.wacz: archive/data.warc.gz > file:///a.swf");
    EXPECT_EQ(seen, expected);
}

// 1 is for content, never worth a retry; 3 for an input that could not be read at all, and it
// wins. Standard input is one movie or container like a file, under the name given.
// Six movies of 64 KiB in a WARC compressed record by record, the third member cut in half:
// five rows load, one says where the damage is, in every copy and every run, however the
// loading threads are scheduled.
TEST_F(CollectionTest, ScanOfADamagedWarcIsTheSameInEveryRun) {
    using namespace testcontainer;
    std::uint32_t seed = 11;
    Bytes warc;
    for (int i = 0; i < 6; ++i) {
        const Bytes movie = Movie(Cat({Tag(9, Noise(64 << 10, seed)), ShowFrame(), End()}));
        Bytes member = Gzip(WarcRecordBytes(
            {"response", "http://x/" + std::to_string(i) + ".swf", HttpResponse({}, movie)}));
        if (i == 2) {
            member.resize(member.size() / 2);
        }
        Append(warc, member);
    }
    std::vector<std::string> args{"scan", "--jobs", "2", "--hash", "crc32"};
    for (int copy = 0; copy < 12; ++copy) {
        args.push_back(dir.Write("six" + std::to_string(copy) + ".warc.gz", warc));
    }
    const ProgramRun first = Run(args);
    EXPECT_EQ(first.status, 1);
    std::size_t loaded = 0;
    std::size_t failed = 0;
    std::istringstream rows(first.out);
    for (std::string row; std::getline(rows, row);) {
        loaded += row.find("\"result\": 0,") != std::string::npos;
        failed += row.find("\"error\": \"record at byte") != std::string::npos;
    }
    EXPECT_EQ(loaded, 5u * 12);
    EXPECT_EQ(failed, 12u);
    for (int again = 0; again < 4; ++again) {
        EXPECT_EQ(Run(args).out, first.out);
    }
}

TEST_F(CollectionTest, ScanTellsUnreadableInputsAndReadsStandardInput) {
    using namespace testcontainer;
    const std::vector<Member> members{{"a.swf", movie}, {"b.cws", ReadFile(cws)}};
    const std::string zip = dir.Write("games.zip", Archive(ArchiveFormat::Zip, members));
    const std::string sevenZip = dir.Write("games.7z", Archive(ArchiveFormat::SevenZip, members));
    const std::string warc =
        dir.Write("crawl.warc.gz", Warc({{"resource", "file:///a.swf", movie, "WARC/1.0"}}, true));
    Bytes cut = Archive(ArchiveFormat::Zip, members);
    cut.resize(cut.size() / 2);
    const std::string cutZip = dir.Write("cut.zip", cut);
    const std::string missing = dir.File("missing.swf");
    const std::string selfExtracting = dir.Write(
        "setup.exe", Cat({Bytes{'M', 'Z'}, Bytes(500), StoredZip({{"c.swf", movie}}, 0)}));
    const std::string gzipped = dir.Write("movie.swf.gz", Gzip(movie));
    // Bytes after a whole stream load; a movie cut short is broken content.
    const std::string broken = dir.Write("broken.swf", Bytes(movie.begin(), movie.end() - 1));
    const struct {
        std::vector<std::string> paths;
        int status;
    } statuses[] = {
        {{fws, zip}, 0},
        {{fws, damaged}, 0},
        {{"--lenient", damaged}, 1},
        {{fws, broken}, 1},
        {{cutZip}, 1},
        {{fws, missing}, 3},
        {{broken, missing}, 3},
        {{dir.File("gone/")}, 3},
        {{"-", "-"}, 2},
        {{"--files-from=-", "-"}, 2},
    };
    for (const auto& row : statuses) {
        std::vector<std::string> args{"scan", "--inflate"};
        args.insert(args.end(), row.paths.begin(), row.paths.end());
        EXPECT_EQ(Run(args).status, row.status) << row.paths.back();
    }
    // Read as a stream for want of its directory, a zip cut inside a deflated entry says so in
    // words, not by zlib's code.
    Bytes noise(4000);
    std::uint32_t state = 1;
    for (std::uint8_t& byte : noise) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
    Bytes cutInEntry = Archive(ArchiveFormat::Zip, {{"a.swf", Movie(Tag(87, noise))}});
    cutInEntry.resize(200);
    EXPECT_NE(Run({"scan", dir.Write("cut-entry.zip", cutInEntry)})
                  .out.find("\"error\": \"the zip entry's compressed data ends early: the archive "
                            "is cut\""),
              std::string::npos);
    for (const std::string& input :
         {fws, cws, zip, sevenZip, warc, selfExtracting, gzipped, cutZip, missing}) {
        const ProgramRun named = Run({"scan", "--inflate", "--hash", "md5", input});
        const ProgramRun piped =
            RunCapturing({"/bin/sh", "-c",
                          "exec \"$0\" scan --inflate --hash md5 --stdin-name \"$1\" - < \"$2\"",
                          VELPIN_CLI_PATH, input, input == missing ? "/dev/null" : input},
                         io.Path());
        if (input == missing) {
            EXPECT_EQ(piped.status, 1);  // an empty movie, read
            continue;
        }
        EXPECT_EQ(piped.status, named.status) << input;
        EXPECT_EQ(piped.out, named.out) << input;
        // A file whose size says nothing, as `scan <(cat m.swf)` names one, is read as it comes.
        const ProgramRun fifo = RunCapturing(
            {"/bin/sh", "-c", "cat \"$1\" | exec \"$0\" scan --inflate --hash md5 /dev/stdin",
             VELPIN_CLI_PATH, input},
            io.Path());
        std::string renamed = named.out;
        for (std::size_t at = 0; (at = renamed.find(input, at)) != std::string::npos;) {
            renamed.replace(at, input.size(), "/dev/stdin");
        }
        // A pipe keeps no time of its bytes; entries keep theirs.
        const std::string time = "\"entry\": null, \"embedded\": null, \"modified\": \"";
        for (std::size_t at = 0; (at = renamed.find(time, at)) != std::string::npos;) {
            const std::size_t value = at + time.size() - 1;
            renamed.replace(value, renamed.find('"', value + 1) - value + 1, "null");
        }
        EXPECT_EQ(fifo.status, named.status) << input;
        EXPECT_EQ(fifo.out, renamed) << input;
    }
    const ProgramRun proc = Run({"scan", "/proc/self/status"});
    EXPECT_EQ(proc.status, 1);
    EXPECT_GT(Parse(proc.out).at("size").get<int>(), 100) << proc.out;
}

// A movie of exactly `length` bytes: a header, one long tag filling it, and End.
Bytes MovieOfLength(std::uint32_t length) {
    Bytes movie = Header(HeaderSpec{}, length);
    Append(movie, TagHeader(2, length - 21 - 6 - 2, true));
    movie.resize(length - 2);
    Append(movie, End());
    return movie;
}

// --max-size in bytes or in powers of 1024, up to it inclusive, on every command that loads, with
// and without --inflate; the reason of a -1 names the limit in force.
TEST_F(CollectionTest, MaxSizeIsTheLargestMovieLoaded) {
    const std::string kibibyte = dir.Write("1k.swf", MovieOfLength(1024));
    const std::string over = dir.Write("1k1.swf", MovieOfLength(1025));
    const std::string overPacked =
        dir.Write("1k1.cws", Packed(MovieOfLength(1025), MovieCompression::Zlib));
    const std::string large = dir.Write("5m.swf", MovieOfLength(5u << 20));
    const auto refused = [](const std::string& path, const std::string& limit,
                            const std::string& declared = "") {
        return "velpin-cli: " + path +
               ": Error Opening file! (load result -1: the file is larger than the --max-size "
               "limit of " +
               limit + " bytes)" + declared + "\n";
    };
    struct Row {
        std::vector<std::string> args;
        int status;
        std::string err;
    };
    const Row rows[] = {
        {{"tags", "--max-size", "1K", kibibyte}, 0, ""},
        {{"tags", "--max-size", "1k", over}, 1, refused(over, "1024")},
        {{"tags", "--max-size", "1025", over}, 0, ""},
        // Refused by the length its header declares, before a byte of it is inflated.
        {{"info", "--max-size=1024", "--inflate", overPacked},
         1,
         refused(overPacked, "1024", "; the CWS movie declares 1025 bytes uncompressed")},
        {{"info", "--max-size", "1025", "--inflate", overPacked}, 0, ""},
        {{"tree", "--max-size", "4M", large}, 1, refused(large, "4194304")},
        {{"tree", large}, 0, ""},
        {{"save", "--max-size", "5m", large, "/dev/null"}, 0, ""},
        {{"save", "--max-size", "1M", large, "/dev/null"}, 1, refused(large, "1048576")},
        {{"extract", "--max-size", "1M", "--index", "0", large}, 1, refused(large, "1048576")},
        {{"repair", "--max-size", "1M", large, "/dev/null"}, 1, refused(large, "1048576")},
        {{"repair", "--json", large, dir.File("5m-repaired.swf")}, 0, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args[0] + " " + row.args[row.args.size() - 2] + " " + row.args.back());
        const ProgramRun run = Run(row.args);
        EXPECT_EQ(run.status, row.status);
        EXPECT_EQ(run.err, row.err);
    }
    const std::string json = Run({"scan", "--max-size", "1K", over}).out;
    EXPECT_NE(json.find("\"result\": -1, \"reason\": \"the file is larger than the --max-size "
                        "limit of 1024 bytes\""),
              std::string::npos)
        << json;
}

// "Up to" is inclusive: a compressed movie of exactly 4 MiB loads and one byte more is refused by
// the load; so is one declaring 256 MiB or more, by what it declares, without inflating it.
TEST_F(CollectionTest, ScanInflatesUpToEachLimitExactly) {
    constexpr std::uint32_t kLoadLimit = 4u << 20;
    constexpr std::uint32_t kCodecLimit = 256u << 20;
    const std::string fourMiB =
        dir.Write("4m.swf", Packed(MovieOfLength(kLoadLimit), MovieCompression::Lzma));
    const std::string overFourMiB =
        dir.Write("4m1.swf", Packed(MovieOfLength(kLoadLimit + 1), MovieCompression::Zlib));
    Bytes packed = Packed(MovieOfLength(kCodecLimit), MovieCompression::Zlib);
    const std::string exact = dir.Write("256m.swf", packed);
    packed[4] = 1;  // declares 268,435,457 bytes
    const std::string over = dir.Write("256m1.swf", packed);
    // Bytes after the stream are let be up to the most a movie of its length takes compressed;
    // one more is refused by the sizes, unread, whether the file is read or held to be digested.
    Bytes padded = Packed(MovieOfLength(kLoadLimit), MovieCompression::Zlib);
    padded.resize(kLoadLimit + kLoadLimit / 16 + 1024);
    const std::string most = dir.Write("most.swf", padded);
    padded.push_back(0);
    const std::string past = dir.Write("past.swf", padded);
    const std::string tooLarge =
        " -1 \"the file is larger than the --max-size limit of 4194304 bytes\" null\n";
    for (const std::vector<std::string>& hash :
         {std::vector<std::string>{}, std::vector<std::string>{"--hash", "crc32"}}) {
        SCOPED_TRACE(hash.size());
        std::vector<std::string> args{"scan", "--max-size", "4M",        "--inflate", exact,
                                      over,   fourMiB,      overFourMiB, most,        past};
        args.insert(args.end(), hash.begin(), hash.end());
        const ProgramRun run = Run(args);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(Summaries(run.out),
                  exact + " \"CWS\" 6 268435456" + tooLarge + over + " \"CWS\" 6 268435457" +
                      tooLarge + fourMiB + " \"ZWS\" 6 4194304 0 null null\n" + overFourMiB +
                      " \"CWS\" 6 4194305" + tooLarge + most + " \"CWS\" 6 4194304 0 null null\n" +
                      past +
                      " \"CWS\" 6 4194304 null null \"the compressed movie has 4457473 bytes, "
                      "more than the 4457472 that a movie of its declared length of 4194304 bytes "
                      "can take\"\n");
    }
    // inflate writes a movie of exactly 256 MiB (to /dev/null, which takes them at no cost), and
    // refuses one that declares a byte more before it reads a byte of its stream.
    const ProgramRun written = Run({"inflate", "-v", exact, "/dev/null"});
    EXPECT_EQ(written.status, 0);
    EXPECT_EQ(written.out, "velpin-cli: " + exact + ": CWS version 6, " +
                               std::to_string(packed.size()) +
                               " bytes -> FWS version 6, 268435456 bytes\n");
    const ProgramRun refused = Run({"inflate", over, "/dev/null"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, "velpin-cli: " + over +
                               ": Error Inflating file! (the declared length of 268435457 bytes "
                               "is larger than the limit of 268435456 bytes)\n");
}

// Heads shorter than the 8 bytes, and a movie one byte over the load limit, whether the load
// reads the file or the bytes held of it to be digested: the head is read within the file, and
// the movie is refused by its size, not loaded cut.
TEST_F(CollectionTest, ScanReadsShortHeadsWithinTheFileAndRefusesAMovieOverTheLimit) {
    const std::string three = dir.Write("3.swf", Text("FWS"));
    const std::string four = dir.Write("4.swf", Text("FWS\x06"));
    const std::string over = dir.Write("over.swf", MovieOfLength((4u << 20) + 1));
    const std::string tooSmall = " -2 \"the file is smaller than 21 bytes\" null\n";
    const std::string wanted =
        three + " \"FWS\" null null" + tooSmall + four + " \"FWS\" 6 null" + tooSmall + over +
        " \"FWS\" 6 4194305 -1 \"the file is larger than the --max-size limit of 4194304 bytes\" "
        "null\n";
    for (const std::vector<std::string>& hash :
         {std::vector<std::string>{}, std::vector<std::string>{"--hash", "crc32"}}) {
        SCOPED_TRACE(hash.size());
        std::vector<std::string> args{"scan", "--max-size=4M", three, four, over};
        args.insert(args.end(), hash.begin(), hash.end());
        EXPECT_EQ(Summaries(Run(args).out), wanted);
    }
}

}  // namespace

// Movies inside movies and what they reference. `outer` embeds `inner` (item 1), which embeds
// `deep` (item 0), and so on down to `tooDeep`; item 2 holds no movie and item 3 a compressed
// `deep`.
class EmbeddedTest : public CollectionTest {
  protected:
    static Bytes Pushes(const std::vector<std::string>& texts) {
        Bytes actions;
        for (const std::string& text : texts) {
            Append(actions, Action(0x96, Cat({{0}, CString(text)})));
        }
        Append(actions, {0});
        return DoAction(actions);
    }
    static Bytes BinaryData(std::uint16_t id, const Bytes& data) {
        return Tag(87, Cat({U16(id), U32(0), data}), true);
    }

    const Bytes tooDeep = Movie(Cat({ShowFrame(), End()}));
    const Bytes deepest = Movie(Cat({BinaryData(8, tooDeep), ShowFrame(), End()}));
    const Bytes deep =
        Movie(Cat({BinaryData(7, deepest), Pushes({"deep.png"}), ShowFrame(), End()}));
    const Bytes inner =
        Movie(Cat({BinaryData(5, deep), Pushes({"level2.swf"}), ShowFrame(), End()}));
    const Bytes outer =
        Movie(Cat({Pushes({"assets/a.png", "../b.png?x=1",
                           "http://www.example.com/games/level2.swf", "ftp://x.org/y.swf"}),
                   BinaryData(1, inner), BinaryData(2, {'n', 'o'}),
                   BinaryData(3, Packed(deep, MovieCompression::Zlib)), ShowFrame(), End()}));
    const std::string outerPath = dir.Write("outer.swf", outer);
};

// Each embedded movie's row is the row its bytes give as a loose file, but for where it lies.
TEST_F(EmbeddedTest, NestedRowsAreTheRowsOfTheEmbeddedBytes) {
    const std::vector<std::string> options{"--inflate", "--info", "--hash", "sha256"};
    const auto rowsOf = [&](std::vector<std::string> args) {
        args.insert(args.begin(), options.begin(), options.end());
        args.insert(args.begin(), "scan");
        std::vector<Json> rows;
        std::istringstream lines(Run(args).out);
        for (std::string line; std::getline(lines, line);) {
            rows.push_back(Parse(line));
        }
        return rows;
    };
    const std::vector<Json> nested = rowsOf({"--nested", outerPath});
    const std::vector<Json> plain = rowsOf({outerPath});
    const std::vector<std::pair<Bytes, std::vector<int>>> expected{
        {inner, {1}},
        {deep, {1, 0}},
        {deepest, {1, 0, 0}},
        {tooDeep, {1, 0, 0, 0}},
        {Packed(deep, MovieCompression::Zlib), {3}},
        {deepest, {3, 0}},
        {tooDeep, {3, 0, 0}}};
    ASSERT_EQ(nested.size(), 1 + expected.size());
    EXPECT_EQ(nested[0], plain.at(0));
    EXPECT_TRUE(nested[0].at("embedded").is_null());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        Json loose = rowsOf({dir.Write("loose.swf", expected[i].first)}).at(0);
        loose["path"] = outerPath;
        loose["embedded"] = expected[i].second;
        loose["modified"] = nested[0].at("modified");
        // One level deeper than containers nest is only looked at, as a container there is.
        if (expected[i].second.size() == 4) {
            loose["result"] = nullptr;
            loose["error"] = "nested deeper than 3 containers";
            loose["movie"] = nullptr;
        }
        EXPECT_EQ(nested[i + 1], loose) << i;
    }

    // A movie read as far as it goes gives the movies among the items read, each read as a loose
    // file of its bytes is.
    Bytes cutDeep = deep;
    cutDeep.resize(deep.size() - 3);
    Bytes cutOuter = Movie(Cat({BinaryData(1, cutDeep), ShowFrame(), End()}));
    cutOuter.resize(cutOuter.size() - 3);
    const std::string cutPath = dir.Write("cut.swf", cutOuter);
    const std::vector<Json> lenient = rowsOf({"--lenient", "--nested", cutPath});
    Json loose = rowsOf({"--lenient", dir.Write("loose.swf", cutDeep)}).at(0);
    loose["path"] = cutPath;
    loose["embedded"] = {0};
    loose["modified"] = lenient.at(0).at("modified");
    ASSERT_GE(lenient.size(), 2u);
    EXPECT_EQ(lenient[1], loose);
    EXPECT_EQ(lenient.back().at("embedded"), Json::parse("[0,0,0]"));
    const ProgramRun cut = Run({"tags", "--json", "--lenient", "--embedded", "0", cutPath});
    EXPECT_EQ(cut.status, 1);
    EXPECT_EQ(cut.out, Run({"tags", "--json", "--lenient", dir.File("loose.swf")}).out);
    // Its faults are its own, and so is the name they are told under; repaired, it is written
    // alone, as the loose file is.
    EXPECT_EQ(Run({"tags", "--lenient", "--embedded", "0", cutPath})
                  .err.rfind("velpin-cli: " + cutPath + "[0]: declared length ", 0),
              0u);
    const ProgramRun repaired =
        Run({"repair", "--embedded", "0", cutPath, dir.File("mended-embedded.swf")});
    EXPECT_EQ(repaired.status, 0);
    EXPECT_EQ(repaired.err.rfind("velpin-cli: " + cutPath + "[0]: repair: ", 0), 0u);
    Run({"repair", dir.File("loose.swf"), dir.File("mended-loose.swf")});
    EXPECT_EQ(ReadFile(dir.File("mended-embedded.swf")), ReadFile(dir.File("mended-loose.swf")));

    // A sprite without End lists the item after it twice; its movie is scanned once, at the first.
    const std::vector<Json> runOn = rowsOf(
        {"--nested", dir.Write("run-on.swf",
                               Movie(Cat({Sprite(ShowFrame()), BinaryData(1, tooDeep), End()})))});
    ASSERT_EQ(runOn.size(), 2u);
    EXPECT_EQ(runOn[1].at("embedded"), Json::parse("[2]"));

    const ProgramRun tags = Run({"tags", "--embedded", "1", "--embedded", "0", outerPath});
    EXPECT_EQ(tags.out, Run({"tags", dir.Write("deep.swf", deep)}).out);
    EXPECT_EQ(Run({"tree", "--embedded", "3", outerPath}).status, 1);
    EXPECT_EQ(Run({"extract", "--index", "1", "--data", outerPath}).out, AsText(inner));
    for (const auto& [args, problem] :
         std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"info", "--embedded", "2", outerPath}, "--embedded: the data of item 2 is not"},
             {{"save", "--embedded", "0", outerPath, dir.File("x")}, "--embedded: item 0 is not"},
             {{"extract", "--index", "0", "--data", outerPath}, "--data: item 0 is not"},
             {{"tags", "--embedded", "9", outerPath}, "--embedded 9 is out of range"}}) {
        const ProgramRun run = Run(args);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.err.rfind("velpin-cli: " + outerPath + ": " + problem, 0), 0u) << run.err;
    }
}

// A bomb of nested movies: 300 copies of a movie that inflates to 4 MiB, in a movie compressed to
// a few KiB, in one more. The rows come as they are made, and where the budget (1 GiB and 1,000
// times the file's size) runs out, a row says so and the scan goes on with the next file, in
// order while the rows are handed on in parts.
TEST_F(EmbeddedTest, NestedMoviesCountAgainstTheBudgetOfTheMovieTheyLieIn) {
    const Bytes large = Packed(MovieOfLength(4u << 20), MovieCompression::Zlib);
    Bytes copies;
    for (std::uint16_t id = 0; id < 300; ++id) {
        Append(copies, BinaryData(id, large));
    }
    const Bytes middleMovie = Movie(Cat({copies, ShowFrame(), End()}));
    const Bytes middle = Packed(middleMovie, MovieCompression::Zlib);
    const std::string bomb =
        dir.Write("bomb.swf", Movie(Cat({BinaryData(1, middle), ShowFrame(), End()})));
    const std::string after = dir.Write("z.swf", tooDeep);
    const std::uint64_t budget = (1u << 30) + 1000 * ReadFile(bomb).size();
    const ProgramRun one = Run({"scan", "--inflate", "--nested", "--jobs", "2", bomb, after});
    EXPECT_EQ(one.status, 1);
    std::vector<Json> rows;
    std::istringstream lines(one.out);
    for (std::string line; std::getline(lines, line);) {
        rows.push_back(Parse(line));
    }
    // The outer movie, the middle one, the copies within the budget, the row where it ran out,
    // and the next file's.
    const std::uint64_t rowCost = 4096;
    const std::uint64_t within = (budget - rowCost - middleMovie.size()) / ((4u << 20) + rowCost);
    ASSERT_EQ(rows.size(), 2 + within + 2) << one.err;
    EXPECT_EQ(rows[rows.size() - 2].at("embedded"), Json({0, within}));
    EXPECT_EQ(rows[rows.size() - 2].at("error").get<std::string>().rfind(
                  "the container decodes to more than its budget of " + std::to_string(budget), 0),
              0u);
    EXPECT_EQ(rows.back().at("path"), after);
}

// The header's signature is what the file, or the embedded data, holds: never the FWS of the
// bytes a load inflated.
TEST_F(EmbeddedTest, TagsHeaderGivesTheSignatureHeld) {
    const std::string packedOuter = dir.Write("outer.zws", Packed(outer, MovieCompression::Lzma));
    const std::pair<std::vector<std::string>, std::string> rows[] = {
        {{fws}, "FWS"},
        {{"--inflate", cws}, "CWS"},
        {{"--inflate", "--lenient", zws}, "ZWS"},
        {{"--inflate", "--embedded", "3", outerPath}, "CWS"},
        {{"--inflate", "--embedded", "1", packedOuter}, "FWS"},
    };
    for (const auto& [args, signature] : rows) {
        std::vector<std::string> all{"tags", "--json"};
        all.insert(all.end(), args.begin(), args.end());
        const ProgramRun run = Run(all);
        EXPECT_EQ(Parse(run.out).at("header").at("signature"), signature) << run.out;
    }
}

// One movie, loose, in a game archive and in a crawl: its references land in the list its
// surroundings give, and so do those of the movies inside it.
TEST_F(EmbeddedTest, DepsPlaceEveryReferenceWhereTheMovieLies) {
    using namespace testcontainer;
    const std::string zip =
        dir.Write("game.zip",
                  Archive(ArchiveFormat::Zip, {{"content/game/outer.swf", outer},
                                               {"content/game/assets/a.png", {'x'}},
                                               {"content/www.example.com/games/level2.swf", inner},
                                               {"content/b.png", {'x'}}}));
    const Bytes crawled =
        Warc({{"response", "http://www.example.com/games/outer.swf", HttpResponse({}, outer)},
              {"revisit", "http://www.example.com/games/assets/a.png", {}}});
    const Bytes more =
        Warc({{"response", "http://www.example.com/b.png?x=1", HttpResponse({}, {'x'})},
              {"resource", "http://www.example.com/games/level2.swf", inner}});
    const std::string warc = dir.Write("crawl.warc", Cat({crawled, more}));
    // The WARCs of one WACZ answer for each other.
    const std::string wacz = dir.Write(
        "site.wacz",
        Archive(ArchiveFormat::Zip, {{"archive/one.warc", crawled}, {"archive/two.warc", more}}));
    std::filesystem::create_directory(dir.File("assets"));
    dir.Write("assets/a.png", {'x'});
    const ProgramRun run = Run({"scan", "--deps", "--nested", outerPath, zip, warc, wacz});
    // The scratch folder and the one above it, where a loose movie's references are looked for.
    const auto placeless = [&](std::string text) {
        const std::string up = std::filesystem::path(dir.Path()).parent_path().string();
        for (const auto& [from, to] : {std::pair{dir.Path(), std::string("DIR")}, {up, "UP"}}) {
            for (std::size_t at; (at = text.find(from)) != std::string::npos;) {
                text.replace(at, from.size(), to);
            }
        }
        return text;
    };
    std::vector<std::string> got;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) {
        const Json row = Parse(line);
        got.push_back(row.at("path").get<std::string>().substr(dir.Path().size() + 1) + " " +
                      row.at("embedded").dump() + " " + placeless(row.at("dependencies").dump()));
    }
    using Refs = std::vector<std::pair<std::string, std::string>>;  // reference, target
    const auto lists = [](const Refs& present, const Refs& missing, const Refs& external) {
        Json all = Json::object();
        for (const auto& [key, refs] :
             {std::pair{"present", &present}, {"missing", &missing}, {"external", &external}}) {
            all[key] = Json::array();
            for (const auto& [reference, target] : *refs) {
                all[key].push_back({{"reference", reference}, {"target", target}});
            }
        }
        return all.dump();
    };
    const std::string none = lists({}, {}, {});
    const std::string site = "http://www.example.com/";
    const std::string level2 = site + "games/level2.swf";
    const auto deepMissing = [&](const std::string& folder) {
        return lists({}, {{"deep.png", folder + "deep.png"}}, {});
    };
    const std::string outerCrawled = lists({{"../b.png?x=1", site + "b.png?x=1"},
                                            {"assets/a.png", site + "games/assets/a.png"},
                                            {level2, level2}},
                                           {{"ftp://x.org/y.swf", "ftp://x.org/y.swf"}}, {});
    const std::string innerCrawled = lists({{"level2.swf", level2}}, {}, {});
    const std::vector<std::string> outerRows{"null", "[1]", "[1,0]", "[1,0,0]", "[1,0,0,0]", "[3]"};
    std::vector<std::string> expected;
    const auto outerIn = [&](const std::string& path, const std::string& outerLists,
                             const std::string& innerLists, const std::string& folder) {
        const std::string rows[] = {outerLists, innerLists, deepMissing(folder),
                                    none,       "null",     "null"};
        for (std::size_t i = 0; i < 6; ++i) {
            expected.push_back(path + " " + outerRows[i] + " " + rows[i]);
        }
    };
    const auto level2In = [&](const std::string& path, const std::string& lists,
                              const std::string& folder) {
        for (const std::string& row :
             {"null " + lists, "[0] " + deepMissing(folder), "[0,0] " + none, "[0,0,0] " + none}) {
            expected.push_back(path + " " + row);
        }
    };
    outerIn("crawl.warc", outerCrawled, innerCrawled, site + "games/");
    level2In("crawl.warc", innerCrawled, site + "games/");
    const std::string mirrored = "content/www.example.com/games/";
    outerIn("game.zip",
            lists({{"../b.png?x=1", "content/b.png"},
                   {"assets/a.png", "content/game/assets/a.png"},
                   {level2, mirrored + "level2.swf"}},
                  {}, {{"ftp://x.org/y.swf", "ftp://x.org/y.swf"}}),
            lists({}, {{"level2.swf", "content/game/level2.swf"}}, {}), "content/game/");
    level2In("game.zip", lists({{"level2.swf", mirrored + "level2.swf"}}, {}, {}), mirrored);
    outerIn("outer.swf",
            lists({{"assets/a.png", "DIR/assets/a.png"}}, {{"../b.png?x=1", "UP/b.png"}},
                  {{"ftp://x.org/y.swf", "ftp://x.org/y.swf"}, {level2, level2}}),
            lists({}, {{"level2.swf", "DIR/level2.swf"}}, {}), "DIR/");
    outerIn("site.wacz", outerCrawled, innerCrawled, site + "games/");
    level2In("site.wacz", innerCrawled, site + "games/");
    EXPECT_EQ(got, expected);
    // Read from standard input, each container gives the rows it gives when named.
    for (const std::string& input : {zip, warc, wacz}) {
        const ProgramRun piped = RunCapturing(
            {"/bin/sh", "-c", "exec \"$0\" scan --deps --nested --stdin-name \"$1\" - < \"$1\"",
             VELPIN_CLI_PATH, input},
            io.Path());
        EXPECT_EQ(piped.out, Run({"scan", "--deps", "--nested", input}).out) << input;
    }
}

// A movie named by a path relative to where the scan runs finds what it references above that.
TEST_F(EmbeddedTest, DepsOfAMovieNamedByARelativePathReachAboveItsFolder) {
    std::filesystem::create_directories(dir.File("a/b"));
    dir.Write("a/b/m.swf", Movie(Cat({Pushes({"../../x.swf"}), ShowFrame(), End()})));
    dir.Write("x.swf", tooDeep);
    const ProgramRun run =
        RunCapturing({"/bin/sh", "-c", "cd \"$1\" && exec \"$0\" scan --deps m.swf",
                      VELPIN_CLI_PATH, dir.File("a/b")},
                     io.Path());
    EXPECT_EQ(Parse(run.out).at("dependencies"),
              Json::parse(R"({"present": [{"reference": "../../x.swf", "target": "../../x.swf"}],
                              "missing": [], "external": []})"));
}

// Each row says when its file or entry was last modified, as the file system or the container
// stores it, and a movie found inside another has the time of the one around it.
TEST_F(EmbeddedTest, RowsGiveWhenTheirFileOrEntryWasModified) {
    using namespace testcontainer;
    constexpr std::int64_t kModified = 1577934245;
    const std::string utc = "2020-01-02T03:04:05Z";
    const std::vector<Member> members{{"outer.swf", outer}};
    const timespec times[2] = {{kModified, 0}, {kModified, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, outerPath.c_str(), times, 0), 0);
    // 2021-02-03 04:05:06 as DOS stores it: the date (years from 1980, month, day) in the high
    // half, the time (hours, minutes, seconds halved) in the low one.
    const std::uint32_t dosTime =
        (((41u << 9) | (2u << 5) | 3u) << 16) | (4u << 11) | (5u << 5) | 3u;
    const std::string pipedIn = "cat \"$2\" | exec \"$0\" scan --nested -";
    const std::string fileIn = "exec \"$0\" scan --nested - < \"$2\"";
    const struct {
        std::string path;
        std::string shell;  // how it is given: named, or on standard input
        Json modified;
    } cases[] = {
        {outerPath, "", utc},
        {outerPath, fileIn, utc},
        {outerPath, pipedIn, nullptr},
        {dir.Write("a.zip", Archive(ArchiveFormat::Zip, members, ArchiveFilter::None, kModified)),
         "", utc},
        {dir.Write("a.7z",
                   Archive(ArchiveFormat::SevenZip, members, ArchiveFilter::None, kModified)),
         "", utc},
        {dir.Write("a.tgz", Archive(ArchiveFormat::Tar, members, ArchiveFilter::Gzip, kModified)),
         "", utc},
        {dir.Write("dos.zip", StoredZip(members, 0, dosTime)), "", "2021-02-03T04:05:06"},
        {dir.Write("none.zip", StoredZip(members, 0)), "", nullptr},
        {dir.Write("crawl.warc", Warc({{"resource", "file:///outer.swf", outer}})), "", nullptr},
    };
    std::optional<int> rowsEach;
    for (const auto& row : cases) {
        const ProgramRun run =
            row.shell.empty()
                ? Run({"scan", "--nested", row.path})
                : RunCapturing({"/bin/sh", "-c", row.shell, VELPIN_CLI_PATH, "-", row.path},
                               io.Path());
        std::istringstream lines(run.out);
        int rows = 0;
        for (std::string line; std::getline(lines, line); ++rows) {
            EXPECT_EQ(Parse(line).at("modified"), row.modified) << row.path << ": " << line;
        }
        EXPECT_GT(rows, 1) << row.path;
        EXPECT_EQ(rows, rowsEach.value_or(rows)) << row.path << row.shell;
        rowsEach = rows;
    }
}

// A WARC record's row says which record it is and where it lies, byte for byte: the bytes at its
// offset and length, gunzipped where they are a gzip member, are a WARC of that record alone.
TEST_F(CollectionTest, WarcRowsLeadBackToTheirRecords) {
    using namespace testcontainer;
    const std::string uri = "http://example.com/a.swf";
    const std::string swfType = "application/x-shockwave-flash";
    const std::vector<WarcRecord> records{
        {"warcinfo", "", {'x'}},
        {"request", uri, Text("GET")},
        {"response", uri,
         HttpResponse(
             {"Content-Type: " + swfType, "Transfer-Encoding: chunked", "Content-Encoding: gzip"},
             Chunked(Gzip(movie), 100))},
        {"revisit", uri, {}},
        {"resource", "file:///b.cws", ReadFile(cws), "WARC/1.0", swfType},
    };
    std::vector<Bytes> plain;
    std::vector<Bytes> members;
    for (const WarcRecord& record : records) {
        plain.push_back(WarcRecordBytes(record));
        members.push_back(Gzip(plain.back()));
    }
    const Bytes perRecord = Warc(records, true);
    const std::string innerWarc = dir.Write("data.warc.gz", perRecord);
    const struct {
        std::string path;
        std::string fetchedFrom;           // the WARC the offsets are in
        const std::vector<Bytes>* stored;  // each record as stored, or none when not alone
    } forms[] = {
        {dir.Write("crawl.warc", Warc(records)), dir.File("crawl.warc"), &plain},
        {dir.Write("crawl.warc.gz", perRecord), dir.File("crawl.warc.gz"), &members},
        {dir.Write("site.wacz", Archive(ArchiveFormat::Zip, {{"archive/data.warc.gz", perRecord}})),
         innerWarc, &members},
        {dir.Write("whole.warc.gz", Gzip(Warc(records))), "", nullptr},
    };
    for (const auto& form : forms) {
        std::istringstream lines(Run({"scan", "--hash", "sha256", form.path}).out);
        std::vector<Json> rows;
        for (std::string line; std::getline(lines, line);) {
            rows.push_back(Parse(line));
        }
        ASSERT_EQ(rows.size(), 2u) << form.path;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const std::size_t index = i == 0 ? 2 : 4;
            const bool response = records[index].type == "response";
            Json expected = {{"recordId", "urn:uuid:00000000-0000-0000-0000-000000000000"},
                             {"type", records[index].type},
                             {"date", "2024-01-01T00:00:00Z"},
                             {"targetUri", records[index].uri},
                             {"offset", nullptr},
                             {"length", nullptr},
                             {"httpStatus", response ? Json(200) : Json(nullptr)},
                             {"contentType", swfType}};
            if (form.stored != nullptr) {
                std::size_t offset = 0;
                for (std::size_t before = 0; before < index; ++before) {
                    offset += (*form.stored)[before].size();
                }
                expected["offset"] = offset;
                expected["length"] = (*form.stored)[index].size();
            }
            EXPECT_EQ(rows[i].at("warc"), expected) << form.path << " " << i;
            if (form.stored == nullptr) {
                continue;
            }
            const ProgramRun fetched = RunCapturing(
                {"/bin/sh", "-c",
                 "dd if=\"$1\" iflag=skip_bytes,count_bytes skip=\"$2\" count=\"$3\" status=none"
                 " | if [ \"$4\" = gz ]; then gunzip; else cat; fi"
                 " | exec \"$0\" scan --hash sha256 -",
                 VELPIN_CLI_PATH, form.fetchedFrom, expected.at("offset").dump(),
                 expected.at("length").dump(), form.stored == &members ? "gz" : ""},
                io.Path());
            const Json record = Parse(fetched.out);
            EXPECT_EQ(record.at("hashes"), rows[i].at("hashes")) << form.path << " " << i;
            EXPECT_EQ(record.at("entry").back(), rows[i].at("entry").back());
        }
    }
}

// A movie with one asset of each kind and one bitmap too large to export, exported alone and
// within a collection.
class ExportTest : public CollectionTest {
  protected:
    static Bytes Manifest(const std::string& folder) {
        return ReadFile(folder + "/manifest.jsonl");
    }

    // Items: 0 a 24-bit bitmap of 2 by 1, 1 an MP3 sound, 2 binary data holding a movie, 3
    // DoABC2, 4 DoAction, 5 a bitmap too wide, 6 ShowFrame, 7 End.
    // Two pixels, (10, 20, 30) and (255, 0, 7), compressed with zlib.
    const Bytes pixels{0x78, 0x9C, 0x63, 0xE0, 0x12, 0x91, 0x63, 0xF8,
                       0xCF, 0xC0, 0x0E, 0x00, 0x04, 0x60, 0x01, 0x43};
    const Bytes inner = Movie(Cat({ShowFrame(), End()}));
    const Bytes assets = Movie(Cat({
        Tag(20, Cat({U16(7), {5}, U16(2), U16(1), pixels})),
        Tag(14, Cat({U16(8), {0x2F}, U32(1152), U16(0), {0xFF, 0xFB, 0x90, 0x64, 0, 0, 0, 0}})),
        Tag(87, Cat({U16(9), U32(0), inner})),
        Tag(82, Cat({U32(1), {'m', 0}, {0x10, 0x00, 0x2E, 0x00}})),
        DoAction({0x07, 0x00}),
        Tag(20, Cat({U16(10), {5}, U16(20000), U16(1), pixels})),
        ShowFrame(),
        End(),
    }));
    const std::string assetsPath = dir.Write("assets.swf", assets);
};

TEST_F(ExportTest, ExportWritesEachAssetAndItsManifestAndNeverOverwrites) {
    const std::string out = dir.File("out");
    const ProgramRun run = Run({"export", assetsPath, out});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err,
              "velpin-cli: " + assetsPath +
                  ": item 5 (DefineBitsLossless): the bitmap is too large: 20000 by 1 pixels, "
                  "more than 16384 a side or 67108864 in all\nexport: 5 files in " +
                  out + ", 1 asset not exported\n");
    EXPECT_EQ(Listing(out), (std::vector<std::string>{"0-7.png", "1-8.mp3", "2-9.swf", "3.abc",
                                                      "4.bin", "manifest.jsonl"}));
    EXPECT_EQ(ReadFile(out + "/1-8.mp3"), Bytes({0xFF, 0xFB, 0x90, 0x64, 0, 0, 0, 0}));
    EXPECT_EQ(ReadFile(out + "/2-9.swf"), inner);
    EXPECT_EQ(ReadFile(out + "/3.abc"), Bytes({0x10, 0x00, 0x2E, 0x00}));
    EXPECT_EQ(ReadFile(out + "/4.bin"), Bytes({0x07, 0x00}));
    const ProgramRun file = RunCapturing({"/usr/bin/file", "-b", out + "/0-7.png"}, io.Path());
    EXPECT_EQ(file.out.rfind("PNG image data, 2 x 1, 8-bit/color RGB", 0), 0u) << file.out;
    const std::string manifest = AsText(Manifest(out));
    KeepJsonOutput("export-manifest", manifest);
    std::istringstream lines(manifest);
    std::vector<std::string> summary;
    for (std::string line; std::getline(lines, line);) {
        const Json asset = Parse(line);
        summary.push_back(asset.at("kind").get<std::string>() + " " + asset.at("file").dump());
        if (asset.at("file").is_string()) {
            EXPECT_EQ(asset.at("size"),
                      ReadFile(out + "/" + asset.at("file").get<std::string>()).size());
        }
    }
    EXPECT_EQ(summary, (std::vector<std::string>{"image \"0-7.png\"", "sound \"1-8.mp3\"",
                                                 "data \"2-9.swf\"", "script \"3.abc\"",
                                                 "script \"4.bin\"", "image null"}));

    // A second export into the same folder is refused before anything is written.
    const ProgramRun again = Run({"export", "--only", "sounds", assetsPath, out});
    EXPECT_EQ(again.status, 1);
    EXPECT_EQ(again.err,
              "velpin-cli: " + out + "/manifest.jsonl: the file exists; nothing was exported\n");
    EXPECT_EQ(Manifest(out), Bytes(manifest.begin(), manifest.end()));

    const std::string sounds = dir.File("sounds");
    EXPECT_EQ(Run({"export", "--only", "sounds,sounds", assetsPath, sounds}).status, 0);
    EXPECT_EQ(Listing(sounds), (std::vector<std::string>{"1-8.mp3", "manifest.jsonl"}));
    EXPECT_EQ(Run({"export", "--only", "pictures", assetsPath, dir.File("x")}).status, 2);
}

TEST_F(ExportTest, ScanExportWritesAMovieMetTwiceOnce) {
    TempDir collection;
    collection.Write("a.swf", assets);
    collection.Write("b.swf", assets);
    collection.Write("c.swf", Packed(assets, MovieCompression::Zlib));
    const std::string root = dir.File("assets-root");
    const std::vector<std::string> scan{"scan",     "--inflate", "--hash",         "sha256",
                                        "--export", root,        collection.Path()};
    std::vector<std::string> twoJobs = scan;
    twoJobs.insert(twoJobs.end(), {"--jobs", "2"});
    const ProgramRun run = Run(twoJobs);
    EXPECT_EQ(run.status, 0) << run.err;
    std::istringstream lines(run.out);
    std::set<std::string> folders;
    for (std::string line; std::getline(lines, line);) {
        const Json row = Parse(line);
        const std::string sha = row.at("hashes").at("sha256");
        const Json expected =
            Json::parse("{\"folder\": \"" + root + "/" + sha.substr(0, 2) + "/" + sha +
                        "\", \"files\": 5, \"errors\": 1, \"error\": null}");
        EXPECT_EQ(row.at("export"), expected) << line;
        folders.insert(expected.at("folder").get<std::string>());
    }
    // a.swf and b.swf share their folder; c.swf has bytes of its own.
    ASSERT_EQ(folders.size(), 2u);
    std::size_t entries = 0;
    for (const auto& level : std::filesystem::directory_iterator(root)) {
        entries += Listing(level.path().string()).size();
    }
    EXPECT_EQ(entries, 2u);
    const std::string single = dir.File("single");
    Run({"export", assetsPath, single});
    for (const std::string& folder : folders) {
        EXPECT_EQ(Manifest(folder), Manifest(single));
    }
    // A scan again finds every folder there and writes nothing, with the same rows.
    EXPECT_EQ(Run(scan).out, run.out);
}
