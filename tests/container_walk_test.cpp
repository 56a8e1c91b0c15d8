// The container walk against containers built here: every format gives the same movies in the
// same order, WARC payloads come out decoded, nesting stops at its limit, and a broken container
// is reported after the movies before the break. Also what is held of an entry, and the digests.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/container_walk.h"
#include "archive/inflating_stream.h"
#include "codec/digests.h"
#include "input/held_entry.h"
#include "tests/support/container_builder.h"

using namespace velpin;

namespace {

using namespace testmovie;
using namespace testcontainer;

const std::vector<HashAlgorithm> kSha256{HashAlgorithm::Sha256};

// HoldEntry with `limit` bytes held and the digests of the whole entry, taken on the way when it
// did not fit (`onTheWay`), else from the bytes held.
struct Digested {
    HeldEntry held;
    HashValues hashes;
    bool onTheWay = false;
};
Digested HoldDigested(ByteStream& in, std::size_t limit,
                      const std::vector<HashAlgorithm>& algorithms) {
    Digested result;
    Digester digester(algorithms);
    result.held = HoldEntry(
        in, [limit](const std::uint8_t*, std::size_t) { return limit; },
        [&](const std::uint8_t* bytes, std::size_t count) {
            result.onTheWay = true;
            digester.Update(bytes, count);
        });
    result.hashes = result.onTheWay ? digester.Finish()
                                    : DigestBytes(algorithms, result.held.bytes.data(),
                                                  result.held.bytes.size());
    return result;
}

// One line per movie ("names | size | sha256 prefix") or failure ("! names: message").
class Recorder : public ContainerVisitor {
  public:
    void Movie(const std::vector<std::string>& entry, const EntryProvenance&,
               ByteStream& bytes) override {
        std::string line = Names(entry);
        try {
            const Digested digested = HoldDigested(bytes, 64, kSha256);
            line += " | " + std::to_string(digested.held.size) + " | " +
                    digested.hashes[0].second.substr(0, 8);
        } catch (const Error& error) {
            if (!IsEntryError(error)) {
                throw;
            }
            line += " | error: " + std::string(error.what());
        }
        lines.push_back(line);
    }
    void Failure(const std::vector<std::string>& entry, const Error& error) override {
        const std::string message = error.what();
        lines.push_back("! " + Names(entry) + ": " + message);
    }

    static std::string Names(const std::vector<std::string>& entry) {
        std::string text;
        for (const std::string& name : entry) {
            text += (text.empty() ? "" : " > ") + name;
        }
        return text;
    }

    std::vector<std::string> lines;
};

struct Walked {
    std::vector<std::string> lines;
    std::int64_t others;
};

constexpr std::size_t kWhole = std::numeric_limits<std::size_t>::max();

// At most `piece` bytes a read, so that lines, records and members are split across reads.
class Trickle : public ByteStream {
  public:
    Trickle(ByteStream& inner, std::size_t piece) : inner_(inner), piece_(piece) {}
    std::size_t Read(std::uint8_t* buffer, std::size_t count) override {
        return inner_.Read(buffer, std::min(count, piece_));
    }

  private:
    ByteStream& inner_;
    std::size_t piece_;
};

// With `sized` false the walk is not told the container's size, as for standard input.
Walked Walk(const Bytes& container, std::size_t piece = kWhole,
            std::uint64_t baseBudget = DecodeBudget::kBaseBytes, bool sized = true) {
    Recorder recorder;
    MemoryStream memory(container.data(), container.size());
    Trickle in(memory, piece);
    const std::int64_t others = WalkContainerStream(
        in, recorder, sized ? std::optional<std::uint64_t>(container.size()) : std::nullopt,
        baseBudget);
    return {recorder.lines, others};
}

Walked WalkFile(const Bytes& container, std::uint64_t baseBudget = DecodeBudget::kBaseBytes) {
    TempDir dir;
    Recorder recorder;
    const std::int64_t others =
        WalkContainerFile(dir.Write("c.zip", container), recorder, baseBudget);
    return {recorder.lines, others};
}

std::size_t FindSignature(const Bytes& bytes, std::string_view signature) {
    return static_cast<std::size_t>(
        std::search(bytes.begin(), bytes.end(), signature.begin(), signature.end()) -
        bytes.begin());
}

std::string Sha8(const Bytes& bytes) {
    return DigestBytes(kSha256, bytes.data(), bytes.size())[0].second.substr(0, 8);
}

Bytes Text(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

const Bytes kFws = Movie(Cat({ShowFrame(), End()}));
// Long enough to be held only in part (the recorder holds 64 bytes): digested as it streams.
const Bytes kLong = Movie(Cat({Tag(9, Bytes(300, 7)), ShowFrame(), End()}));
const Bytes kCws = [] {
    Bytes cws = kFws;
    cws[0] = 'C';  // only its signature matters to the walk
    return cws;
}();

std::string Row(const std::string& names, const Bytes& bytes) {
    return names + " | " + std::to_string(bytes.size()) + " | " + Sha8(bytes);
}

TEST(ContainerWalkTest, EveryArchiveFormatGivesItsMoviesInOrder) {
    const std::vector<Member> members{{"content/a.swf", kFws},
                                      {"readme.txt", Text("hello")},
                                      {"content/b.bin", kCws},
                                      {"content/long.swf", kLong},
                                      {"empty.swf", {}}};
    const std::vector<std::string> expected{Row("content/a.swf", kFws), Row("content/b.bin", kCws),
                                            Row("content/long.swf", kLong), Row("empty.swf", {})};
    const struct {
        const char* name;
        ArchiveFormat format;
        ArchiveFilter filter;
    } kRows[] = {
        {"zip", ArchiveFormat::Zip, ArchiveFilter::None},
        {"tar", ArchiveFormat::Tar, ArchiveFilter::None},
        {"tar.gz", ArchiveFormat::Tar, ArchiveFilter::Gzip},
        {"tar.bz2", ArchiveFormat::Tar, ArchiveFilter::Bzip2},
        {"tar.xz", ArchiveFormat::Tar, ArchiveFilter::Xz},
        {"tar.zst", ArchiveFormat::Tar, ArchiveFilter::Zstd},
    };
    for (const auto& row : kRows) {
        SCOPED_TRACE(row.name);
        const Walked walked = Walk(Archive(row.format, members, row.filter));
        EXPECT_EQ(walked.lines, expected);
        EXPECT_EQ(walked.others, 1);
    }
    const Walked fromFile = WalkFile(Archive(ArchiveFormat::Zip, members));
    EXPECT_EQ(fromFile.lines, expected);
    EXPECT_EQ(fromFile.others, 1);
}

// A zip file is read through its central directory, and its entries are checked against it.
TEST(ContainerWalkTest, ZipFileEntriesAreCheckedAgainstTheCentralDirectory) {
    const Bytes zip = Archive(ArchiveFormat::Zip, {{"a.swf", kLong}, {"b.swf", kFws}});
    // In the first central directory record, the CRC-32 is at 16 and the size at 24; the first
    // entry's data follows its local header of 30 bytes, its name and its extra field.
    const std::size_t central = FindSignature(zip, "PK\x01\x02");
    const std::size_t local = FindSignature(zip, "PK\x03\x04");
    const std::size_t data = local + 30 + zip[local + 26] + zip[local + 28];
    const auto changed = [&](std::size_t at, std::uint8_t by) {
        Bytes bytes = zip;
        bytes[at] = static_cast<std::uint8_t>(bytes[at] + by);
        return bytes;
    };
    Bytes badBlock = zip;
    badBlock[data] |= 0x06;  // block type 3, which deflate does not have
    const std::string size = std::to_string(kLong.size());
    const struct {
        const char* name;
        Bytes zip;
        std::string firstLine;
    } kRows[] = {
        {"intact", zip, Row("a.swf", kLong)},
        {"crc", changed(central + 16, 1),
         "a.swf | error: the entry's data does not match its CRC-32"},
        {"size larger", changed(central + 24, 1),
         "a.swf | error: the entry holds " + size + " bytes, but the zip gives its size as " +
             std::to_string(kLong.size() + 1)},
        {"size smaller", changed(central + 24, 0xFF),
         "a.swf | error: the entry holds more than the " + std::to_string(kLong.size() - 1) +
             " bytes the zip gives as its size"},
        {"data", badBlock, "a.swf | error: the compressed data is corrupt: invalid block type"},
        {"encrypted", changed(central + 8, 1), "a.swf | error: the entry is encrypted"},
    };
    for (const auto& row : kRows) {
        SCOPED_TRACE(row.name);
        const Walked walked = WalkFile(row.zip);
        EXPECT_EQ(walked.lines, (std::vector<std::string>{row.firstLine, Row("b.swf", kFws)}));
    }
    // Methods our own decoders do not take are libarchive's, an entry at a time: one that does
    // not decode costs only itself.
    const Bytes lzma = ZipLzma(kLong);
    Bytes lzmaDamaged = lzma;
    std::fill_n(lzmaDamaged.begin() + 20, 20, 0xA5);
    Bytes lzmaVast = lzma;
    lzmaVast[8] = 0xF0;  // the dictionary's size, from byte 5
    const struct {
        const char* name;
        std::uint16_t method;
        Bytes stored;
        std::string firstLine;
    } kMethods[] = {
        {"lzma", 14, lzma, Row("a.swf", kLong)},
        {"lzma damaged", 14, lzmaDamaged, "a.swf | error: lzma data error (error 9)"},
        {"lzma dictionary", 14, lzmaVast,
         "a.swf | error: the entry's LZMA data needs more than 128 MiB of memory to decode"},
        {"unknown", 97, kLong, "a.swf | error: Unsupported ZIP compression method (97: wav-pack)"},
    };
    for (const auto& row : kMethods) {
        SCOPED_TRACE(row.name);
        const Bytes methodZip =
            StoredZip({{"a.swf", kLong, "", "", row.method, row.stored}, {"b.swf", kFws}}, 0);
        EXPECT_EQ(WalkFile(methodZip).lines,
                  (std::vector<std::string>{row.firstLine, Row("b.swf", kFws)}));
    }
    // Without its directory, such a zip is libarchive's to read from its entries' own headers:
    // an LZMA entry is bounded there too, and the entries after one that fails are still read.
    const Bytes vastZip = StoredZip({{"a.swf", kLong, "", "", 14, lzmaVast}, {"b.swf", kFws}}, 0);
    const auto directory = static_cast<std::ptrdiff_t>(FindSignature(vastZip, "PK\x01\x02"));
    EXPECT_EQ(WalkFile(Bytes(vastZip.begin(), vastZip.begin() + directory)).lines,
              (std::vector<std::string>{
                  "a.swf | error: lzma stream initialization error", Row("b.swf", kFws),
                  "! : the zip's central directory cannot be read (Not a zip archive): its "
                  "entries were read from their own headers",
                  "! : the archive cannot be read"}));
    // A zip inside another container too large to be held is read from a temporary copy, or
    // without one as a stream, with the same rows.
    const Bytes large = StoredZip({{"a.swf", kFws}, {"large.bin", Bytes(2 << 20)}}, 0);
    const Bytes tar = Archive(ArchiveFormat::Tar, {{"in.zip", large}});
    const std::vector<std::string> largeRows{Row("in.zip > a.swf", kFws)};
    EXPECT_EQ(Walk(tar).lines, largeRows);
    const char* const tmpdir = std::getenv("TMPDIR");
    const std::string savedTmpdir = tmpdir != nullptr ? tmpdir : "";
    setenv("TMPDIR", "/nonexistent", 1);
    const Walked streamed = Walk(tar);
    tmpdir != nullptr ? setenv("TMPDIR", savedTmpdir.c_str(), 1) : unsetenv("TMPDIR");
    EXPECT_EQ(streamed.lines, largeRows);
    // A directory that names an entry otherwise than its own header is followed, and said to.
    EXPECT_EQ(WalkFile(changed(central + 46, 2)).lines,
              (std::vector<std::string>{Row("c.swf", kLong), Row("b.swf", kFws),
                                        "! : the zip's own header of the entry c.swf disagrees "
                                        "with its central directory, which the rows follow"}));
    // A directory too large to be held is not: the zip is read entry after entry.
    Bytes vast = zip;
    std::fill_n(vast.end() - 22 + 12, 4, 0x7F);
    EXPECT_EQ(WalkFile(vast).lines,
              (std::vector<std::string>{Row("a.swf", kLong), Row("b.swf", kFws)}));
    // Without the end of its directory, a zip is still read, and said to be damaged.
    EXPECT_EQ(WalkFile(Bytes(zip.begin(), zip.end() - 30)).lines,
              (std::vector<std::string>{Row("a.swf", kLong), Row("b.swf", kFws),
                                        "! : the zip's central directory cannot be read (Not a "
                                        "zip archive): its entries were read from their own "
                                        "headers"}));
}

TEST(ContainerWalkTest, SevenZipIsReadFromItsFile) {
    TempDir dir;
    const std::string path =
        dir.Write("games.7z", Archive(ArchiveFormat::SevenZip, {{"a.swf", kFws}, {"x", {1, 2}}}));
    Recorder recorder;
    EXPECT_EQ(WalkContainerFile(path, recorder), 1);
    EXPECT_EQ(recorder.lines, std::vector<std::string>{Row("a.swf", kFws)});
    // A zip after other bytes, as a self-extractor has it, is read through its directory.
    const std::string prefixed =
        dir.Write("setup.exe", Cat({Text("MZ"), Bytes(500), StoredZip({{"b.swf", kFws}}, 0)}));
    ASSERT_EQ(RecogniseContainerFile(prefixed), ContainerKind::Archive);
    EXPECT_EQ(WalkContainerFile(prefixed, recorder), 0);
    EXPECT_EQ(recorder.lines.back(), Row("b.swf", kFws));
    // A plain header over one solid folder, whose every stream but the last has its size given.
    EXPECT_EQ(
        Walk(SolidSevenZip({{"a.swf", kFws}, {"b.swf", kLong}, {"c.swf", kCws}})).lines,
        (std::vector<std::string>{Row("a.swf", kFws), Row("b.swf", kLong), Row("c.swf", kCws)}));
}

TEST(ContainerWalkTest, EntryNamesComeOutAsUtf8) {
    const Walked flagged =
        Walk(StoredZip({{"caf\xC3\xA9.swf", kFws}, {"\xE6\x97\xA5.swf", kFws}}, 0x800));
    EXPECT_EQ(flagged.lines, (std::vector<std::string>{Row("caf\xC3\xA9.swf", kFws),
                                                       Row("\xE6\x97\xA5.swf", kFws)}));
    // Without the flag a name is in code page 437, where 0x82 is e acute.
    EXPECT_EQ(Walk(StoredZip({{"caf\x82.swf", kFws}}, 0)).lines,
              std::vector<std::string>{Row("caf\xC3\xA9.swf", kFws)});
    // A NUL inside a name does not cut it short, so that two such entries stay apart.
    const Bytes nul = StoredZip(
        {{std::string("nul\0hidden.swf", 14), kFws}, {std::string("nul\0other.swf", 13), kCws}},
        0x800);
    EXPECT_EQ(WalkFile(nul).lines,
              (std::vector<std::string>{Row("nul hidden.swf", kFws), Row("nul other.swf", kCws)}));
    EXPECT_EQ(Walk(Archive(ArchiveFormat::Tar, {{"in.zip", nul}})).lines,
              (std::vector<std::string>{Row("in.zip > nul hidden.swf", kFws),
                                        Row("in.zip > nul other.swf", kCws)}));
    // Names that are not the UTF-8 the flag says are told apart.
    EXPECT_EQ(Walk(StoredZip({{"caf\xE9.swf", kFws}, {"\xFF.swf", kCws}}, 0x800)).lines,
              (std::vector<std::string>{
                  Row("\xEF\xBF\xBD (entry 1, whose name cannot be decoded)", kFws),
                  Row("\xEF\xBF\xBD (entry 2, whose name cannot be decoded)", kCws),
                  "! : the zip's central directory cannot be read (an entry's name is not the "
                  "UTF-8 its flag says it is): its entries were read from their own headers"}));
    // A 7z name holding a lone surrogate, as UTF-16 allows and Unicode does not.
    EXPECT_EQ(Walk(SolidSevenZip({{"a\xED\xA0\x80.swf", kFws}, {"b\xED\xA0\x80.swf", kCws}})).lines,
              (std::vector<std::string>{
                  Row("\xEF\xBF\xBD (entry 1, whose name cannot be decoded)", kFws),
                  Row("\xEF\xBF\xBD (entry 2, whose name cannot be decoded)", kCws)}));
}

TEST(ContainerWalkTest, WarcPayloadsComeOutDecoded) {
    const std::string uri = "http://example.com/game.swf";
    const std::vector<WarcRecord> records{
        {"warcinfo", "", Text("software: test\r\n")},
        {"request", uri, Text("GET /game.swf HTTP/1.1\r\n\r\n")},
        {"response", uri, HttpResponse({"Content-Length: 25"}, kFws)},
        {"response", uri + "?chunked",
         HttpResponse({"Transfer-Encoding: chunked", "Content-Encoding: gzip"},
                      Chunked(Gzip(kLong), 7))},
        {"response", "<" + uri + "?deflate>",
         HttpResponse({"Content-Encoding: deflate"}, Gzip(kCws, true))},
        // A crawler that stored the payload de-chunked but kept the header.
        {"response", uri + "?dechunked", HttpResponse({"Transfer-Encoding: chunked"}, kFws)},
        {"response", "http://example.com/", HttpResponse({"Content-Type: text/html"}, Text("<p>"))},
        {"resource", "file:///movie.swf", kCws, "WARC/1.0"},
        {"resource", "", kFws},
        {"response", uri + "?continue",
         Cat({Text("HTTP/1.1 100 Continue\r\n\r\n"), HttpResponse({}, kFws)})},
        {"response", uri + "?switched",
         Cat({Text("HTTP/1.1 101 Switching Protocols\r\nUpgrade: x\r\n\r\n"), kFws})},
        {"revisit", uri, HttpResponse({}, {})},
        {"response", uri + "?bad", HttpResponse({"Transfer-Encoding: chunked"}, Text("5\r\nFWS"))},
        // Size lines with extensions, and size lines as long as they may be and one byte more.
        {"response", uri + "?extension",
         HttpResponse(
             {"Transfer-Encoding: chunked"},
             Cat({Text("5;x=y\r\n"), Bytes(kFws.begin(), kFws.begin() + 5), Text("\r\n14 ; y\r\n"),
                  Bytes(kFws.begin() + 5, kFws.end()), Text("\r\n0\r\n\r\n")}))},
        {"response", "http://example.com/longest.swf",
         HttpResponse(
             {"Transfer-Encoding: chunked"},
             Cat({Text("19;" + std::string(4093, 'x') + "\r\n"), kFws, Text("\r\n0\r\n\r\n")}))},
        {"response", "http://example.com/too-long.swf",
         HttpResponse(
             {"Transfer-Encoding: chunked"},
             Cat({Text("19;" + std::string(4094, 'x') + "\r\n"), kFws, Text("\r\n0\r\n\r\n")}))},
    };
    const std::vector<std::string> expected{
        Row(uri, kFws),
        Row(uri + "?chunked", kLong),
        Row(uri + "?deflate", kCws),
        Row(uri + "?dechunked", kFws),
        Row("file:///movie.swf", kCws),
        Row("urn:uuid:00000000-0000-0000-0000-000000000000", kFws),
        Row(uri + "?continue", kFws),
        Row(uri + "?switched", kFws),
        uri + "?bad | error: the chunked payload is cut off inside a chunk",
        Row(uri + "?extension", kFws),
        Row("http://example.com/longest.swf", kFws),
        "http://example.com/too-long.swf | error: a header line is longer than 4096 bytes",
    };
    for (const std::size_t piece : {kWhole, std::size_t{1}, std::size_t{7}}) {
        SCOPED_TRACE(piece);
        for (const bool perRecord : {false, true}) {
            SCOPED_TRACE(perRecord ? "gzip per record" : "plain");
            const Walked walked = Walk(Warc(records, perRecord), piece);
            EXPECT_EQ(walked.lines, expected);
            EXPECT_EQ(walked.others, 4);
        }
        EXPECT_EQ(Walk(Gzip(Warc(records)), piece).lines, expected);
    }
}

TEST(ContainerWalkTest, NestedContainersAreReadDownToThreeLevels) {
    const Bytes warc = Gzip(Warc({{"response", "http://a/x.swf", HttpResponse({}, kFws)}}));
    const Bytes wacz = Archive(ArchiveFormat::Zip,
                               {{"datapackage.json", Text("{}")}, {"archive/data.warc.gz", warc}});
    const Bytes level3 = Archive(ArchiveFormat::Zip, {{"3.swf", kFws}});
    const Bytes level4 = Archive(ArchiveFormat::Zip, {{"4.zip", level3}});
    Bytes corrupt = Gzip(Text(std::string(600, 'x')));
    corrupt[12] ^= 0xFF;
    const Bytes outer = Archive(
        ArchiveFormat::Tar,
        {{"site.wacz", wacz},
         {"page.html.gz", Gzip(Text("<html>"))},
         {"deep.zip", Archive(ArchiveFormat::Zip, {{"more.zip", level3}})},
         {"deeper.zip", Archive(ArchiveFormat::Zip, {{"more.zip", level4}})},
         {"games.zip", Archive(ArchiveFormat::Zip, {{"games.7z", Archive(ArchiveFormat::SevenZip,
                                                                         {{"7.swf", kFws}})}})},
         {"movie.swf", Gzip(kFws)},
         {"dir/movie.swf.gz", Gzip(kLong)},
         {"broken.gz", corrupt}});
    const Walked walked = Walk(outer);
    EXPECT_EQ(walked.lines,
              (std::vector<std::string>{
                  Row("site.wacz > archive/data.warc.gz > http://a/x.swf", kFws),
                  Row("deep.zip > more.zip > 3.swf", kFws),
                  "! deeper.zip > more.zip > 4.zip: nested deeper than 3 containers",
                  Row("games.zip > games.7z > 7.swf", kFws), Row("movie.swf", Gzip(kFws)),
                  Row("dir/movie.swf.gz > movie.swf", kLong),
                  "! broken.gz: the compressed data is corrupt: incorrect data check"}));
    EXPECT_EQ(walked.others, 2);  // datapackage.json, page.html.gz
    // Outermost, a movie compressed whole is named by its gzip header, else by nothing.
    Bytes named = Gzip(kFws);
    named[3] |= 0x08;
    named.insert(named.begin() + 10, {'m', '.', 's', 'w', 'f', 0});
    EXPECT_EQ(Walk(named).lines, std::vector<std::string>{Row("m.swf", kFws)});
    EXPECT_EQ(Walk(Gzip(kFws)).lines, std::vector<std::string>{Row("", kFws)});
}

TEST(ContainerWalkTest, BrokenContainersAreReportedAfterTheMoviesBeforeTheBreak) {
    const Bytes zip = Archive(ArchiveFormat::Zip, {{"a.swf", kFws}, {"b.swf", kLong}});
    const Bytes warc = Warc({{"resource", "u:a", kFws}, {"resource", "u:b", kLong}});
    const Bytes cutWarc(warc.begin(), warc.end() - 40);
    const Bytes gzWarc = Gzip(warc);
    const Bytes cutGzWarc(gzWarc.begin(), gzWarc.end() - 12);
    Bytes badCrcGzWarc = gzWarc;
    badCrcGzWarc[badCrcGzWarc.size() - 8] ^= 1;  // the member's CRC-32
    const Bytes tar = Archive(ArchiveFormat::Tar, {{"a.swf", kFws}, {"b.swf", kLong}});
    const Bytes cutTar(tar.begin(), tar.begin() + 1700);
    const Bytes brokenInner =
        Archive(ArchiveFormat::Zip, {{"inner.warc", cutWarc}, {"after.swf", kFws}});
    // Two deflated zips of zeros in a zip: the walk stops in the second, at the budget of the
    // outermost, which every byte decoded within it is charged to.
    const Bytes zeros = Archive(
        ArchiveFormat::Zip, {{"z1.swf", Bytes(3 << 20)}, {"z2", Bytes(3 << 20)}, {"m.swf", kFws}});
    const Bytes bomb = Archive(ArchiveFormat::Zip, {{"a.zip", zeros}, {"b.zip", zeros}});
    const std::string budget = "the container decodes to more than its budget of " +
                               std::to_string((1 << 20) + 1000 * bomb.size()) +
                               " bytes (1048576 + 1000 x its " + std::to_string(bomb.size()) +
                               " bytes); reading it stops here";
    // Movie entries that a zip on disk leaves to be read elsewhere are charged all the same.
    Bytes zeroMovie(8 << 20);
    std::copy_n("FWS", 3, zeroMovie.begin());
    const Bytes movieZeros =
        Archive(ArchiveFormat::Zip, {{"z1.swf", zeroMovie}, {"z2.swf", zeroMovie}});
    const std::string zerosBudget = "the container decodes to more than its budget of " +
                                    std::to_string(1000 * movieZeros.size()) +
                                    " bytes (0 + 1000 x its " + std::to_string(movieZeros.size()) +
                                    " bytes); reading it stops here";
    // Exactly what a budget allows decodes whole.
    const Bytes oneZeroMovie = Archive(ArchiveFormat::Zip, {{"z1.swf", zeroMovie}});
    ASSERT_GT(zeroMovie.size(), 1000 * oneZeroMovie.size());
    const std::uint64_t justEnough = zeroMovie.size() - 1000 * oneZeroMovie.size();
    const Bytes extra = Cat({WarcRecordBytes({"request", "u:a", Text("GET")}), Text("abc\r\n")});
    const Bytes records = Warc({{"resource", "u:a", kFws}, {"resource", "u:b", kLong}});
    const Bytes members = Warc({{"resource", "u:a", kFws}, {"resource", "u:b", kLong}}, true);
    const Bytes first = Gzip(WarcRecordBytes({"resource", "u:a", kFws}));
    const Bytes cutMember(members.begin(),
                          members.begin() + static_cast<std::ptrdiff_t>(first.size() + 30));
    // A member too long to be kept for the search after damage, its CRC-32 wrong, and the next
    // member right after it.
    std::uint32_t seed = 1;
    const Bytes noise = WarcRecordBytes({"resource", "u:n", Noise(8 << 20, seed)});
    Bytes longBadCrc = Gzip(noise);
    longBadCrc[longBadCrc.size() - 8] ^= 1;
    // Zeros gzipped twice, in a record's HTTP payload: the first record overdraws the budget.
    const Bytes overdrawn =
        Warc({{"response", "u:z",
               HttpResponse({"Content-Encoding: gzip"}, Gzip(Cat({Text("FWS"), Bytes(4 << 20)})))},
              {"resource", "u:a", kFws}},
             true);
    const Bytes sevenZip = Archive(ArchiveFormat::SevenZip, {{"a.swf", kFws}});
    // A record longer than the file whose block is a WARC in turn: the inner walk's resync must
    // not read the cut-off outer block again and again.
    const Bytes inner =
        Warc({{"resource", "u:a", kFws}, {"resource", "u:b", Text(std::string(5000, 'x'))}});
    const Bytes longer = Cat({Text("WARC/1.1\r\nWARC-Type: resource\r\nWARC-Target-URI: u:w\r\n"
                                   "Content-Length: 9999\r\n\r\n"),
                              inner});
    std::string interims;
    for (int i = 0; i < 1000; ++i) {
        interims += "HTTP/1.1 100 Continue\r\n\r\n";
    }
    const Bytes recordA = WarcRecordBytes({"resource", "u:a", kFws});
    const Bytes recordB = WarcRecordBytes({"resource", "u:b", kLong});
    // A line longer than the reader's buffer, past damage, that ends in a version line.
    const Bytes strayPastDamage =
        Text("WARC/1.1\r\nContent-Length: 5x\r\n\r\nab" + std::string(70000, 'c'));
    // An xz stream whose LZMA2 dictionary is said to be 4 GiB: its block header's property
    // byte, after the 12-byte stream header, the block header's own 2 and the filter's id and
    // size, and the block header's CRC-32 made to match.
    Bytes hugeDictionary = Archive(ArchiveFormat::Tar, {{"a.swf", kFws}}, ArchiveFilter::Xz);
    const std::size_t blockHeader = 12;
    const std::size_t blockHeaderBytes = (hugeDictionary[blockHeader] + 1u) * 4;
    hugeDictionary[blockHeader + 4] = 40;
    const uLong headerCrc =
        crc32(0, hugeDictionary.data() + blockHeader, static_cast<uInt>(blockHeaderBytes - 4));
    for (int i = 0; i < 4; ++i) {
        hugeDictionary[blockHeader + blockHeaderBytes - 4 + i] =
            static_cast<std::uint8_t>(headerCrc >> (8 * i));
    }
    const Bytes tarOfThree =
        Archive(ArchiveFormat::Tar, {{"a.swf", kFws}, {"b.swf", kFws}, {"c.swf", kLong}});
    const std::size_t secondHeader = FindSignature(tarOfThree, "b.swf");
    Bytes badChecksum = tarOfThree;
    badChecksum[FindSignature(badChecksum, "b.swf") + 148] ^= 1;
    Bytes tarGzBadCrc = Archive(ArchiveFormat::Tar, {{"a.swf", kFws}}, ArchiveFilter::Gzip);
    tarGzBadCrc[tarGzBadCrc.size() - 8] ^= 1;
    const struct {
        const char* name;
        Bytes container;
        std::vector<std::string> lines;
        std::uint64_t baseBudget = DecodeBudget::kBaseBytes;
    } kRows[] = {
        {"cut warc",
         cutWarc,
         {Row("u:a", kFws),
          "! u:b: record at byte 202: the container is cut off: 36 bytes of a record are missing"}},
        {"cut gzip",
         cutGzWarc,
         {Row("u:a", kFws),
          "! u:b: record at byte 202 of the decompressed data: the compressed data is cut off"}},
        {"gzip crc",
         badCrcGzWarc,
         {Row("u:a", kFws), Row("u:b", kLong),
          "! : record at byte 711 of the decompressed data: the compressed data is corrupt: "
          "incorrect data check"}},
        {"bad length",
         Text("WARC/1.1\r\nWARC-Type: resource\r\nContent-Length: 12x\r\n\r\n"),
         {"! : record at byte 0: a WARC record has no valid Content-Length: 12x"}},
        {"bad length, its block passed over",
         Cat({Text("WARC/1.1\r\nContent-Length: 5x\r\n\r\nabc\r\n\r\n\r\n"), records}),
         {"! : record at byte 0: a WARC record has no valid Content-Length: 5x", Row("u:a", kFws),
          Row("u:b", kLong)}},
        {"future warc",
         Text("WARC/2.0\r\n\r\n"),
         {"! : record at byte 0: unsupported WARC version: 2.0"}},
        {"cut tar", cutTar, {Row("a.swf", kFws), "! b.swf: Truncated tar archive"}},
        {"tar header with a bad checksum",
         badChecksum,
         {Row("a.swf", kFws),
          "! : Damaged tar archive: the header at byte " + std::to_string(secondHeader) +
              " cannot be read, and what follows it up to the next one is passed over",
          Row("c.swf", kLong)}},
        {"tar.gz whose crc does not match after its last entry",
         tarGzBadCrc,
         {Row("a.swf", kFws), "! : the compressed data is corrupt: incorrect data check"}},
        {"links named as movies",
         Archive(ArchiveFormat::Tar, {{"a.swf", kFws},
                                      {"hard.swf", {}, "a.swf"},
                                      {"soft.swf", {}, "", "a.swf"},
                                      {"soft", {}, "", "a.swf"}}),
         {Row("a.swf", kFws),
          "hard.swf | error: a hard link to a.swf, whose bytes are read under "
          "that name",
          "soft.swf | error: a symbolic link to a.swf, which is not followed"}},
        {"broken inner",
         brokenInner,
         {Row("inner.warc > u:a", kFws),
          "! inner.warc > u:b: record at byte 202: the container is cut off: 36 bytes of a record "
          "are missing",
          Row("after.swf", kFws)}},
        {"record longer than the file holds a warc",
         longer,
         {Row("u:w > u:a", kFws), "! u:w: record at byte 0: the container is cut off: " +
                                      std::to_string(9999 - inner.size()) +
                                      " bytes of a record are missing"}},
        {"not a container",
         Text("just text"),
         {"! : not a container: no zip, 7z, tar or WARC data"}},
        {"stray cr",
         Text("WARC/1.0\r\r\n\r\n"),
         {"! : record at byte 0: unsupported WARC version: 1.0\\r"}},
        {"bytes past a record",
         Cat({extra, records}),
         {"! : record at byte " + std::to_string(extra.size() - 5) + ": not a WARC record",
          Row("u:a", kFws), Row("u:b", kLong)}},
        {"cut member",
         Cat({cutMember, first}),
         {Row("u:a", kFws),
          "! : record at byte " + std::to_string(first.size()) +
              ": the compressed data is corrupt: incorrect data check",
          Row("u:a", kFws)}},
        {"zero padding", Cat({Gzip(records), Bytes(512)}), {Row("u:a", kFws), Row("u:b", kLong)}},
        {"zero padding after a plain warc",
         Cat({records, Bytes(4096)}),
         {Row("u:a", kFws), Row("u:b", kLong)}},
        {"stray bytes before a record past damage",
         Cat({strayPastDamage, Text("WARC/1.1\r\nContent-Length: 7y\r\n\r\n"), recordA}),
         {"! : record at byte 0: a WARC record has no valid Content-Length: 5x",
          "! : record at byte " + std::to_string(strayPastDamage.size()) +
              ": a WARC record has no valid Content-Length: 7y",
          Row("u:a", kFws)}},
        {"stray bytes before a record",
         Cat({recordA, Text("xyz"), recordB, Bytes(1), recordA}),
         {Row("u:a", kFws),
          "! : record at byte " + std::to_string(recordA.size()) + ": not a WARC record",
          Row("u:b", kLong), Row("u:a", kFws)}},
        {"responses that never reach their payload",
         Warc({{"response", "u:c.swf", Cat({Text(interims), HttpResponse({}, kFws)})},
               {"response", "u:d.swf", Text("HTTP/1.1 200 OK\r\nServer: x\r\n")},
               {"resource", "u:a", kFws}}),
         {"u:c.swf | error: the HTTP response holds more than 1000 interim responses",
          "u:d.swf | error: the HTTP headers are cut off", Row("u:a", kFws)}},
        {"xz dictionary past the decoder's memory",
         hugeDictionary,
         {"! : the xz data needs more than 128 MiB of memory to decode"}},
        {"7z bomb",
         HostileSevenZip(),
         {"! : damaged 7z archive: its header declares 50437409 folders in 76 bytes"}},
        {"7z bomb under a compressed header",
         CompressedHostileSevenZip(),
         {"! : damaged 7z archive: its header declares 50437409 folders in 76 bytes"}},
        {"7z whose start header is zeroed",
         Cat({Bytes(sevenZip.begin(), sevenZip.begin() + 8), Bytes(24),
              Bytes(sevenZip.begin() + 32, sevenZip.end())}),
         {"! : damaged 7z archive: its start header is zeroed, as a write cut short leaves it, "
          "so its entries cannot be found"}},
        // Cut by 1 and by 32 bytes, the header runs past the end by no more than the 32-byte
        // signature header before it.
        {"7z cut by 1",
         Bytes(sevenZip.begin(), sevenZip.end() - 1),
         {"! : damaged 7z archive: its header lies beyond the end of the file"}},
        {"7z cut by 32",
         Bytes(sevenZip.begin(), sevenZip.end() - 32),
         {"! : damaged 7z archive: its header lies beyond the end of the file"}},
        {"7z packed streams each within the file, together past it",
         SevenZip(Bytes(64), {0x01, 0x04, 0x06, 0x00, 0x02, 0x09, 64, 64, 0x00, 0x00, 0x00}),
         {"! : damaged 7z archive: its header declares packed streams larger than the file"}},
        {"7z LZMA dictionary past the decoder's memory",
         SevenZip(Bytes(64), {0x01, 0x04, 0x06, 0x00, 0x01, 0x09, 64,   0x00, 0x07, 0x0B,
                              0x01, 0x00, 0x01, 0x23, 0x03, 0x01, 0x01, 0x05, 0x5D, 0xFF,
                              0xFF, 0xFF, 0xFF, 0x0C, 64,   0x00, 0x00, 0x00}),
         {"! : the 7z archive's LZMA data needs more than 128 MiB of memory to decode"}},
        {"7z PPMd model past the decoder's memory",
         SevenZip(Bytes(64), {0x01, 0x04, 0x06, 0x00, 0x01, 0x09, 64,   0x00, 0x07, 0x0B,
                              0x01, 0x00, 0x01, 0x23, 0x03, 0x04, 0x01, 0x05, 0x06, 0x00,
                              0x00, 0x00, 0x20, 0x0C, 64,   0x00, 0x00, 0x00}),
         {"! : the 7z archive's PPMd data needs more than 256 MiB of memory to decode"}},
        {"long member with a bad crc",
         Cat({longBadCrc, Gzip(WarcRecordBytes({"resource", "u:a", kFws}))}),
         {"! : record at byte " + std::to_string(noise.size()) +
              " of the decompressed data: the compressed data is corrupt: incorrect data check",
          Row("u:a", kFws)}},
        {"budget overdrawn in the first record",
         overdrawn,
         {"! u:z: the container decodes to more than its budget of " +
          std::to_string(1000 * overdrawn.size()) + " bytes (0 + 1000 x its " +
          std::to_string(overdrawn.size()) + " bytes); reading it stops here"},
         0},
        {"recursive gzip",
         Archive(ArchiveFormat::Zip, {{"r.gz", RecursiveGzip()}}),
         {"! r.gz: the compressed data is corrupt: incorrect data check"}},
        {"zip of zips", bomb, {"! a.zip > z1.swf: " + budget}, std::uint64_t{1} << 20},
        {"movies of zeros", movieZeros, {Row("z1.swf", zeroMovie), "! z2.swf: " + zerosBudget}, 0},
        {"exactly the budget", oneZeroMovie, {Row("z1.swf", zeroMovie)}, justEnough},
    };
    for (const auto& row : kRows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(Walk(row.container, kWhole, row.baseBudget).lines, row.lines);
        // Of a size not known beforehand, a container may decode 1,000 times what has been read
        // of it so far, which is ahead of what honest data decodes to even with no base at all.
        if (row.baseBudget == DecodeBudget::kBaseBytes) {
            EXPECT_EQ(Walk(row.container, kWhole, 0, false).lines, row.lines);
        }
        // A zip or a 7z on disk is read otherwise, to the same rows.
        if (row.container.size() > 2 && ((row.container[0] == 'P' && row.container[1] == 'K') ||
                                         (row.container[0] == '7' && row.container[1] == 'z'))) {
            EXPECT_EQ(WalkFile(row.container, row.baseBudget).lines, row.lines);
        }
    }
}

// Reads of sizes a seed decides, from 1 byte to 64 KiB: what a pipe gives under changing load.
class RandomTrickle : public ByteStream {
  public:
    RandomTrickle(ByteStream& inner, std::uint32_t seed) : inner_(inner), seed_(seed) {}
    std::size_t Read(std::uint8_t* buffer, std::size_t count) override {
        seed_ = seed_ * 1664525u + 1013904223u;
        const std::size_t piece = std::size_t{1} << ((seed_ >> 24) % 17);
        return inner_.Read(buffer, std::min(count, piece));
    }

  private:
    ByteStream& inner_;
    std::uint32_t seed_;
};

// The damaged-gzip path of a WARC compressed record by record: the only thing in it that can
// change from run to run is how the reads of its input are split, and no split changes a row.
TEST(ContainerWalkTest, DamagedMembersGiveTheSameRowsHoweverTheReadsAreSplit) {
    std::uint32_t seed = 7;
    Bytes warc;
    std::vector<std::string> expected;
    for (int i = 0; i < 6; ++i) {
        const Bytes movie = Movie(Cat({Tag(9, Noise(64 << 10, seed)), ShowFrame(), End()}));
        const std::string uri = "http://x/" + std::to_string(i) + ".swf";
        Bytes member = Gzip(WarcRecordBytes({"response", uri, HttpResponse({}, movie)}));
        if (i == 2) {
            member.resize(member.size() / 2);
            expected.push_back("! " + uri + ": record at byte " + std::to_string(warc.size()) +
                               ": the compressed data is corrupt: invalid block type");
        } else {
            expected.push_back(Row(uri, movie));
        }
        Append(warc, member);
    }
    ASSERT_EQ(Walk(warc).lines, expected);
    for (std::uint32_t split = 0; split < 64; ++split) {
        SCOPED_TRACE(split);
        Recorder recorder;
        MemoryStream memory(warc.data(), warc.size());
        RandomTrickle in(memory, split);
        WalkContainerStream(
            in, recorder,
            split % 2 == 0 ? std::optional<std::uint64_t>(warc.size()) : std::nullopt);
        EXPECT_EQ(recorder.lines, expected);
    }
}

TEST(ContainerWalkTest, HeldEntryKeepsItsLimitAndDigestsTheRest) {
    const std::vector<HashAlgorithm> all = ParseHashList("sha256,sha1,md5,crc32,xxh128");
    const Bytes bytes = kLong;
    for (const std::size_t limit : {std::size_t{1}, std::size_t{3}, std::size_t{64},
                                    bytes.size() - 1, bytes.size(), bytes.size() + 1}) {
        SCOPED_TRACE(limit);
        MemoryStream in(bytes.data(), bytes.size());
        const Digested digested = HoldDigested(in, limit, all);
        const std::size_t kept = std::min(std::max<std::size_t>(limit, 3), bytes.size());
        EXPECT_EQ(digested.held.bytes, Bytes(bytes.begin(), bytes.begin() + kept));
        EXPECT_EQ(digested.held.size, bytes.size());
        EXPECT_EQ(digested.onTheWay, kept < bytes.size());
        EXPECT_EQ(digested.hashes, DigestBytes(all, bytes.data(), bytes.size()));
    }
}

// Entries shorter than the signature, at the limit and one byte over it, arriving a few bytes a
// read: the bytes held and the digests do not depend on how the stream was split.
TEST(ContainerWalkTest, HeldEntryIsTheSameHoweverTheStreamIsSplit) {
    constexpr std::size_t kLimit = 64;
    for (const std::size_t size : {0, 2, 3, 63, 64, 65, 300}) {
        for (const std::size_t piece : {std::size_t{1}, std::size_t{5}}) {
            SCOPED_TRACE(testing::Message() << size << " bytes, piece " << piece);
            const Bytes bytes(kLong.begin(), kLong.begin() + static_cast<std::ptrdiff_t>(size));
            MemoryStream memory(bytes.data(), bytes.size());
            Trickle in(memory, piece);
            const Digested digested = HoldDigested(in, kLimit, kSha256);
            EXPECT_EQ(digested.held.bytes,
                      Bytes(bytes.begin(), bytes.begin() + std::min(size, kLimit)));
            EXPECT_EQ(digested.held.size, size);
            EXPECT_EQ(digested.onTheWay, size > kLimit);
            EXPECT_EQ(digested.hashes, DigestBytes(kSha256, bytes.data(), bytes.size()));
        }
    }
}

TEST(DigestsTest, KnownValuesOverSplitInput) {
    const Bytes abc = Text("abc");
    Digester digester(ParseHashList("sha256,sha1,md5,crc32,xxh128,md5"));
    digester.Update(abc.data(), 1);
    digester.Update(abc.data() + 1, 0);
    digester.Update(abc.data() + 1, 2);
    const HashValues expected{
        {HashAlgorithm::Sha256, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {HashAlgorithm::Sha1, "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {HashAlgorithm::Md5, "900150983cd24fb0d6963f7d28e17f72"},
        {HashAlgorithm::Crc32, "352441c2"},
        {HashAlgorithm::Xxh128, "06b05ab6733a618578af5f94892f3950"},  // xxhsum -H2
    };
    EXPECT_EQ(digester.Finish(), expected);
    for (const char* bad : {"", "sha256,", "sha-256", "sha512", "md5,,sha1"}) {
        EXPECT_THROW(ParseHashList(bad), std::invalid_argument) << bad;
    }
}

TEST(DigestsTest, OddPiecesGiveTheDigestOfTheWhole) {
    const std::vector<HashAlgorithm> all = ParseHashList("sha256,sha1,md5,crc32,xxh128");
    Bytes bytes(100000);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 7 + (i >> 9));
    }
    Digester digester(all);
    for (std::size_t at = 0, piece = 1; at < bytes.size(); at += piece, piece = piece * 3 % 997) {
        digester.Update(bytes.data() + at, std::min(piece, bytes.size() - at));
    }
    EXPECT_EQ(digester.Finish(), DigestBytes(all, bytes.data(), bytes.size()));
    const HashValues empty{
        {HashAlgorithm::Sha256, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {HashAlgorithm::Sha1, "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {HashAlgorithm::Md5, "d41d8cd98f00b204e9800998ecf8427e"},
        {HashAlgorithm::Crc32, "00000000"},
        {HashAlgorithm::Xxh128, "99aa06d3014798d86001c324468d497f"},
    };
    EXPECT_EQ(DigestBytes(all, bytes.data(), 0), empty);
}

Bytes Zlib(const Bytes& data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    Bytes out(size);
    EXPECT_EQ(compress(out.data(), &size, data.data(), static_cast<uLong>(data.size())), Z_OK);
    out.resize(size);
    return out;
}

// Each zlib-family form read back through reads of a few bytes from input split as finely: what
// comes out ("size sha256-prefix"), or the error that stops it.
TEST(InflatingStreamTest, EveryFormDecodesInPiecesOfAnySize) {
    const Bytes gzip = Gzip(kLong);
    const struct {
        const char* name;
        Bytes encoded;
        Deflation kind;
        std::string got;
    } kRows[] = {
        {"gzip", gzip, Deflation::Gzip, Row("", kLong)},
        {"gzip members back to back, one empty", Cat({gzip, Gzip({}), Gzip(kFws)}), Deflation::Gzip,
         Row("", Cat({kLong, kFws}))},
        {"zlib", Zlib(kLong), Deflation::ZlibOrRaw, Row("", kLong)},
        {"raw deflate", Gzip(kLong, true), Deflation::ZlibOrRaw, Row("", kLong)},
        {"zlib then more bytes", Cat({Zlib(kFws), Text("x")}), Deflation::ZlibOrRaw, Row("", kFws)},
        {"gzip then other bytes", Cat({gzip, Text("x")}), Deflation::Gzip,
         "error: the gzip data is followed by bytes that are not gzip"},
        {"gzip cut in its trailer", Bytes(gzip.begin(), gzip.end() - 1), Deflation::Gzip,
         "error: the compressed data is cut off"},
        {"nothing", {}, Deflation::Gzip, "error: the compressed data is cut off"},
        {"not gzip", Text("\x1f\x8b\x09xxxxxxxxxx"), Deflation::Gzip,
         "error: the compressed data is corrupt: unknown compression method"},
    };
    for (const auto& row : kRows) {
        for (const std::size_t piece : {kWhole, std::size_t{1}, std::size_t{3}}) {
            SCOPED_TRACE(testing::Message() << row.name << ", piece " << piece);
            MemoryStream memory(row.encoded.data(), row.encoded.size());
            Trickle pieces(memory, piece);
            InflatingStream in(pieces, row.kind, true);
            Bytes out;
            std::string got;
            try {
                std::uint8_t buffer[5];
                while (const std::size_t n = in.Read(buffer, std::min(sizeof buffer, piece))) {
                    out.insert(out.end(), buffer, buffer + n);
                }
                got = Row("", out);
            } catch (const Error& error) {
                if (!IsEntryError(error)) {
                    throw;
                }
                got = "error: " + std::string(error.what());
            }
            EXPECT_EQ(got, row.got);
        }
    }
}

TEST(ContainerWalkTest, NamesAreRecognisedBySuffixInAnyCase) {
    for (const char* name : {"a.zip", "A.7Z", "x.tar", "x.tgz", "x.TAR.GZ", "x.tar.bz2", "x.tar.xz",
                             "x.tar.zst", "c.warc", "c.warc.gz", "c.WACZ"}) {
        EXPECT_TRUE(HasContainerSuffix(name)) << name;
    }
    for (const char* name : {"a.gz", "zip", "a.swf", "a.warcgz", "a.tar.lz"}) {
        EXPECT_FALSE(HasContainerSuffix(name)) << name;
    }
}

}  // namespace
