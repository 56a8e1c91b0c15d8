// The container walk against containers built here: every format gives the same movies in the
// same order, WARC payloads come out decoded, nesting stops at its limit, and a broken container
// is reported after the movies before the break. Also what is held of an entry, and the digests.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "cli/archive/container_walk.h"
#include "cli/archive/held_entry.h"
#include "cli/hash/digests.h"
#include "tests/support/container_builder.h"

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
    void Movie(const std::vector<std::string>& entry, ByteStream& bytes) override {
        std::string line = Names(entry);
        try {
            const Digested digested = HoldDigested(bytes, 64, kSha256);
            line += " | " + std::to_string(digested.held.size) + " | " +
                    digested.hashes[0].second.substr(0, 8);
        } catch (const EEntryError& error) {
            line += " | error: " + std::string(error.what());
        }
        lines.push_back(line);
    }
    void Failure(const std::vector<std::string>& entry, const std::string& message) override {
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

Walked Walk(const Bytes& container) {
    Recorder recorder;
    MemoryStream in(container.data(), container.size());
    const std::int64_t others = WalkContainerStream(in, recorder);
    return {recorder.lines, others};
}

Walked WalkFile(const Bytes& container) {
    TempDir dir;
    Recorder recorder;
    const std::int64_t others = WalkContainerFile(dir.Write("c.zip", container), recorder);
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
    };
    for (const auto& row : kRows) {
        SCOPED_TRACE(row.name);
        const Walked walked = WalkFile(row.zip);
        EXPECT_EQ(walked.lines, (std::vector<std::string>{row.firstLine, Row("b.swf", kFws)}));
    }
}

TEST(ContainerWalkTest, SevenZipIsReadFromItsFile) {
    TempDir dir;
    const std::string path =
        dir.Write("games.7z", Archive(ArchiveFormat::SevenZip, {{"a.swf", kFws}, {"x", {1, 2}}}));
    Recorder recorder;
    EXPECT_EQ(WalkContainerFile(path, recorder), 1);
    EXPECT_EQ(recorder.lines, std::vector<std::string>{Row("a.swf", kFws)});
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
        {"revisit", uri, HttpResponse({}, {})},
        {"response", uri + "?bad", HttpResponse({"Transfer-Encoding: chunked"}, Text("5\r\nFWS"))},
    };
    const std::vector<std::string> expected{
        Row(uri, kFws),
        Row(uri + "?chunked", kLong),
        Row(uri + "?deflate", kCws),
        Row(uri + "?dechunked", kFws),
        Row("file:///movie.swf", kCws),
        uri + "?bad | error: the chunked payload is cut off inside a chunk",
    };
    for (const bool perRecord : {false, true}) {
        SCOPED_TRACE(perRecord ? "gzip per record" : "plain");
        const Walked walked = Walk(Warc(records, perRecord));
        EXPECT_EQ(walked.lines, expected);
        EXPECT_EQ(walked.others, 4);
    }
    const Walked whole = Walk(Gzip(Warc(records)));
    EXPECT_EQ(whole.lines, expected);
}

TEST(ContainerWalkTest, NestedContainersAreReadDownToThreeLevels) {
    const Bytes warc = Gzip(Warc({{"response", "http://a/x.swf", HttpResponse({}, kFws)}}));
    const Bytes wacz = Archive(ArchiveFormat::Zip,
                               {{"datapackage.json", Text("{}")}, {"archive/data.warc.gz", warc}});
    const Bytes level3 = Archive(ArchiveFormat::Zip, {{"3.swf", kFws}});
    const Bytes level4 = Archive(ArchiveFormat::Zip, {{"4.zip", level3}});
    const Bytes outer = Archive(
        ArchiveFormat::Tar, {{"site.wacz", wacz},
                             {"page.html.gz", Gzip(Text("<html>"))},
                             {"deep.zip", Archive(ArchiveFormat::Zip, {{"more.zip", level3}})},
                             {"deeper.zip", Archive(ArchiveFormat::Zip, {{"more.zip", level4}})}});
    const Walked walked = Walk(outer);
    EXPECT_EQ(walked.lines, (std::vector<std::string>{
                                Row("site.wacz > archive/data.warc.gz > http://a/x.swf", kFws),
                                Row("deep.zip > more.zip > 3.swf", kFws)}));
    // datapackage.json, page.html.gz, and 4.zip one level too deep.
    EXPECT_EQ(walked.others, 3);
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
    const struct {
        const char* name;
        Bytes container;
        std::vector<std::string> lines;
    } kRows[] = {
        {"cut warc",
         cutWarc,
         {Row("u:a", kFws), "! u:b: the container is cut off: 36 bytes of a record are missing"}},
        {"cut gzip", cutGzWarc, {Row("u:a", kFws), "! u:b: the compressed data is cut off"}},
        {"gzip crc",
         badCrcGzWarc,
         {Row("u:a", kFws), Row("u:b", kLong),
          "! : the compressed data is corrupt: incorrect data check"}},
        {"bad length",
         Text("WARC/1.1\r\nWARC-Type: resource\r\nContent-Length: 12x\r\n\r\n"),
         {"! : a WARC record has no valid Content-Length: 12x"}},
        {"future warc", Text("WARC/2.0\r\n\r\n"), {"! : unsupported WARC version: 2.0"}},
        {"cut tar", cutTar, {Row("a.swf", kFws), "! b.swf: Truncated tar archive"}},
        {"broken inner",
         brokenInner,
         {Row("inner.warc > u:a", kFws),
          "! inner.warc > u:b: the container is cut off: 36 bytes of a record are missing",
          Row("after.swf", kFws)}},
        {"not a container",
         Text("just text"),
         {"! : not a container: no zip, 7z, tar or WARC data"}},
    };
    for (const auto& row : kRows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(Walk(row.container).lines, row.lines);
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
    for (const char* bad : {"", "sha256,", "SHA256", "sha512", "md5,,sha1"}) {
        EXPECT_THROW(ParseHashList(bad), std::invalid_argument) << bad;
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
