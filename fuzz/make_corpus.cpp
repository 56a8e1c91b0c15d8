// Writes the fuzzers' seed corpus from the test-side movie builder:
//   make_corpus <corpus folder>
// fills <corpus folder>/fuzz_load, fuzz_reader, fuzz_codec, fuzz_containers, fuzz_info and
// fuzz_export (whose seeds are the tags of a movie, without its header). The
// seeds are small, well-formed movies of every shape the loader distinguishes, plus a few that
// each fail in their own way, so the fuzzer starts next to every branch.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "codec/swfcodec.h"
#include "tests/support/asset_builder.h"
#include "tests/support/container_builder.h"
#include "tests/support/movie_builder.h"

using namespace velpin;

namespace {

using testmovie::AbcData;
using testmovie::Action;
using testmovie::Bytes;
using testmovie::Cat;
using testmovie::CString;
using testmovie::DoAction;
using testmovie::End;
using testmovie::HeaderSpec;
using testmovie::Movie;
using testmovie::ShowFrame;
using testmovie::Sprite;
using testmovie::Tag;
using testmovie::TagHeader;
using testmovie::U16;
using testmovie::U32;

using Seeds = std::vector<std::pair<std::string, Bytes>>;

Bytes Repeat(const Bytes& part, int times) {
    Bytes out;
    for (int i = 0; i < times; ++i) {
        testmovie::Append(out, part);
    }
    return out;
}

HeaderSpec WithFieldWidth(int fieldWidth) {
    HeaderSpec spec;
    spec.fieldWidth = fieldWidth;
    // Values that use the width's top bit, so the sign extension is exercised.
    const std::int32_t big = fieldWidth >= 2 ? (std::int32_t{1} << (fieldWidth - 2)) : 0;
    spec.xMin = -big;
    spec.xMax = big;
    spec.yMin = fieldWidth > 0 ? -1 : 0;
    spec.yMax = big / 2;
    return spec;
}

Seeds LoadSeeds() {
    const Bytes stop = DoAction(Cat({{0x07}, {0x00}}));
    const Bytes gotoFrame = DoAction(Cat({{0x81}, U16(2), U16(7), {0x00}}));
    Seeds seeds;
    seeds.push_back({"two_tags", Movie(Cat({ShowFrame(), End()}))});
    seeds.push_back({"header_only", Movie(Bytes{})});
    for (int width : {0, 1, 5, 12, 15, 16, 17, 24, 31}) {
        // Narrow headers need a body long enough to reach the 21-byte minimum.
        seeds.push_back(
            {"field_width_" + std::to_string(width),
             Movie(WithFieldWidth(width), Cat({DoAction(Bytes(8, 0x00)), ShowFrame(), End()}))});
    }
    seeds.push_back({"actions", Movie(Cat({stop, gotoFrame, DoAction(Cat({{0x81}, U16(2), {0x05}})),
                                           DoAction({}), DoAction({0x99, 0x01}),
                                           Tag(12, {0x06, 0x00}, true), ShowFrame(), End()}))});
    seeds.push_back(
        {"long_headers", Movie(Cat({Tag(9, {0xFF, 0xFF, 0xFF}, true), Tag(2, Bytes(100, 0x11)),
                                    ShowFrame(), Tag(1, {}, true), Tag(0, {}, true)}))});
    seeds.push_back(
        {"sprite", Movie(Cat({Tag(9, {0x00, 0x00, 0x00}), Sprite(Cat({ShowFrame(), End()})),
                              ShowFrame(), stop, End()}))});
    seeds.push_back(
        {"sprite_frames",
         Movie(Cat({ShowFrame(), Sprite(Cat({stop, ShowFrame(), ShowFrame(), End()}), 2, 2),
                    ShowFrame(), End()}))});
    seeds.push_back(
        {"nested_sprites",
         Movie(Cat({Sprite(Cat({Sprite(Cat({Sprite(Cat({gotoFrame, ShowFrame(), End()})),
                                            ShowFrame(), End()})),
                                ShowFrame(), End()})),
                    ShowFrame(), End()}))});
    seeds.push_back(
        {"sprite_long_header", Movie(Cat({Tag(39, Cat({U16(3), U16(1), ShowFrame(), End()}), true),
                                          ShowFrame(), End()}))});
    seeds.push_back({"run_on_sprite", Movie(Cat({Sprite(ShowFrame()), ShowFrame(), stop, End()}))});
    seeds.push_back({"run_on_chain", Movie(Cat({Repeat(Sprite(Bytes{}), 6), ShowFrame(), End()}))});
    seeds.push_back({"sprite_at_file_end", Movie(Cat({ShowFrame(), Sprite(ShowFrame())}))});
    seeds.push_back({"no_end", Movie(Cat({ShowFrame(), stop, ShowFrame()}))});
    seeds.push_back({"after_end", Movie(Cat({ShowFrame(), End(), Bytes{0x40, 0x00, 0x00}}))});
    seeds.push_back({"many_frames", Movie(Repeat(ShowFrame(), 300))});
    HeaderSpec beyondTable;
    beyondTable.frameCount = 10005;
    seeds.push_back(
        {"frames_beyond_table", Movie(beyondTable, Cat({Repeat(ShowFrame(), 10005), End()}))});
    HeaderSpec fewFrames;
    fewFrames.frameCount = 1;
    seeds.push_back({"more_frames_than_declared",
                     Movie(fewFrames, Cat({ShowFrame(), ShowFrame(), ShowFrame(), stop, End()}))});
    for (std::uint16_t rate : {0x0000, 0x0080, 0x0C80, 0xFFFF}) {
        HeaderSpec spec;
        spec.frameRate = rate;
        seeds.push_back({"frame_rate_" + std::to_string(rate),
                         Movie(spec, Cat({ShowFrame(), ShowFrame(), End()}))});
    }
    // Failures, one per code the bytes alone can cause.
    HeaderSpec compressed;
    compressed.signature = "CWS";
    seeds.push_back({"compressed", Movie(compressed, Cat({ShowFrame(), End()}))});
    seeds.push_back({"length_mismatch", Movie(HeaderSpec{}, Cat({ShowFrame(), End()}), 99)});
    seeds.push_back({"body_past_end", Movie(Cat({ShowFrame(), TagHeader(2, 4000000000u)}))});
    seeds.push_back({"cut_header", Movie(Cat({ShowFrame(), Bytes{0x7F}}))});
    seeds.push_back(
        {"sprite_fields_cut", Movie(Cat({ShowFrame(), TagHeader(39, 0), Bytes{0x01}}))});
    return seeds;
}

// fuzz_reader's input: a length byte, that many operation bytes, then the bytes to read.
Bytes ReaderInput(const Bytes& program, const Bytes& bytes) {
    return Cat({Bytes{static_cast<std::uint8_t>(program.size())}, program, bytes});
}

Seeds ReaderSeeds() {
    // Operation byte: the top three bits choose the read, the low five give its width.
    const std::uint8_t u8 = 0x40, u16 = 0x41, u32 = 0x42, rect = 0x60, tag = 0x80, reset = 0xA0,
                       walk = 0xC0;
    const Bytes movie = Movie(Cat({DoAction({0x81, 0x02, 0x00, 0x05, 0x00}), ShowFrame(),
                                   Sprite(Cat({ShowFrame(), End()})), End()}));
    Seeds seeds;
    seeds.push_back(
        {"movie_walk", ReaderInput({u8, u8, u8, u8, u32, rect, u16, u16, walk}, movie)});
    seeds.push_back(
        {"bits", ReaderInput({0x04, 0x08, 0x04, 0x25, 0x3F, 0x1F, reset, 0x01, 0x00, u8},
                             Cat({Bytes{0xAB, 0xCD}, U32(0x8000FFFF), U32(0x12345678)}))});
    seeds.push_back({"rects", ReaderInput({rect, rect, rect},
                                          Cat({testmovie::FrameRect(15, 0, 11000, 0, 8000),
                                               testmovie::FrameRect(16, -20, 11000, -40, 8000),
                                               testmovie::FrameRect(31, -1, 1, -2, 2)}))});
    seeds.push_back({"tags", ReaderInput({tag, tag, tag, tag},
                                         Cat({Tag(12, {0x81, 0x02, 0x00}), Tag(12, {}, true),
                                              Tag(1), TagHeader(2, 0xFFFFFFFFu)}))});
    return seeds;
}

Bytes Compressed(const Bytes& movie, MovieCompression method) {
    Bytes out;
    CompressMovie(movie.data(), movie.size(), method,
                  [&](const std::uint8_t* piece, std::size_t count) {
                      out.insert(out.end(), piece, piece + count);
                  });
    return out;
}

// Compressed movies in both forms, and a few that are broken in the ways a container can be.
Seeds CodecSeeds() {
    const Bytes movie =
        Movie(Cat({DoAction({0x07, 0x00}), Sprite(Cat({ShowFrame(), End()})), ShowFrame(), End()}));
    const Bytes frames = Movie(Repeat(ShowFrame(), 200));
    Seeds seeds;
    for (const auto& [name, bytes] : {std::pair<std::string, Bytes>{"movie", movie},
                                      std::pair<std::string, Bytes>{"frames", frames}}) {
        seeds.push_back({name + ".cws", Compressed(bytes, MovieCompression::Zlib)});
        seeds.push_back({name + ".zws", Compressed(bytes, MovieCompression::Lzma)});
    }
    Bytes cut = Compressed(movie, MovieCompression::Zlib);
    cut.resize(cut.size() - 3);
    seeds.push_back({"cut.cws", cut});
    Bytes trailing = Compressed(movie, MovieCompression::Zlib);
    testmovie::Append(trailing, {0x00, 0x01});
    seeds.push_back({"trailing.cws", trailing});
    Bytes badAdler = Compressed(movie, MovieCompression::Zlib);
    badAdler.back() ^= 1;
    seeds.push_back({"bad_adler.cws", badAdler});
    Bytes longer = Compressed(movie, MovieCompression::Lzma);
    longer[4] = static_cast<std::uint8_t>(longer[4] + 1);  // declares one byte more than it holds
    seeds.push_back({"declared_longer.zws", longer});
    return seeds;
}

// Movies holding every tag `info` decodes, whole and cut, so the fuzzer starts inside each of
// its decoders.
Seeds InfoSeeds() {
    using Tags = std::vector<std::pair<std::uint16_t, Bytes>>;
    const Bytes actions =
        Cat({Action(0x88, Cat({U16(2), CString("http://a.example/"), CString("b.swf")})),
             Action(0x96, Cat({{0x00},
                               CString("c.xml"),
                               {0x07},
                               U32(1),
                               {0x06},
                               Bytes(8, 0x00),
                               {0x02, 0x04, 0x01, 0x09, 0x01, 0x00}})),
             Action(0x83, Cat({CString("http://d.example/x.php?q=1"), CString("_self")})),
             Action(0x07), Action(0x00)});
    const Bytes abc = AbcData({"http://ns.example/2006", "e.json", "flash.events"}, {1, 3});
    const Tags settings = {
        {9, {0x10, 0x20, 0x30}},
        {69, {0x19, 0, 0, 0}},
        {77, CString("<rdf/>")},
        {41, Cat({U32(3), U32(6), {10, 1}, U32(1), U32(0), U32(0x5B7D8A32), U32(0x133)})},
        {65, Cat({U16(1000), U16(60)})},
        {24, Cat({{0, 0}, CString("$1$h")})},
        {64, Cat({{0, 0}, CString("$1$i")})},
        {58, CString("$1$j")}};
    const Tags assets = {
        {76, Cat({U16(1), U16(0), CString("Main")})},
        {56, Cat({U16(1), U16(2), CString("Clip")})},
        {57, Cat({CString("lib.swf"), U16(1), U16(3), CString("Font")})},
        {71, Cat({CString("http://cdn.example/ui.swf"), {1, 0}, U16(1), U16(4), CString("A")})},
        {87, Cat({U16(5), U32(0), {'C', 'W', 'S', 10}})}};
    const Tags code = {{12, actions},
                       {59, Cat({U16(1), actions})},
                       {72, abc},
                       {82, Cat({U32(1), CString("frame1"), abc})},
                       {43, CString("intro")}};
    // Each tag whole, or cut one byte short of its body (behind a long header, so that the cut
    // tag stays a tag).
    const auto tags = [](const Tags& list, bool cut) {
        Bytes out;
        for (const auto& [tagCode, body] : list) {
            testmovie::Append(out, cut ? Tag(tagCode, Bytes(body.begin(), body.end() - 1), true)
                                       : Tag(tagCode, body));
        }
        return out;
    };
    Seeds seeds;
    seeds.push_back({"settings", Movie(Cat({tags(settings, false), ShowFrame(), End()}))});
    seeds.push_back({"assets", Movie(Cat({tags(assets, false), ShowFrame(), End()}))});
    seeds.push_back({"code", Movie(Cat({tags(code, false), ShowFrame(), End()}))});
    seeds.push_back(
        {"in_sprite",
         Movie(Cat({Sprite(Cat({tags(code, false), tags(assets, false), ShowFrame(), End()})),
                    ShowFrame(), End()}))});
    seeds.push_back({"cut", Movie(Cat({tags(settings, true), tags(assets, true), tags(code, true),
                                       ShowFrame(), End()}))});
    return seeds;
}

// Containers of each kind with a movie or two inside, nested ones, and a few cut short.
Seeds ContainerSeeds() {
    using namespace testcontainer;
    const Bytes movie = Movie(Cat({ShowFrame(), End()}));
    const Bytes cws = Compressed(movie, MovieCompression::Zlib);
    const std::vector<Member> members{{"a.swf", movie}, {"note.txt", {'h', 'i'}}, {"b", cws}};
    const Bytes response = HttpResponse({"Transfer-Encoding: chunked", "Content-Encoding: gzip"},
                                        Chunked(Gzip(movie), 9));
    const std::vector<WarcRecord> records{
        {"request", "http://x/a.swf", {'G', 'E', 'T', ' ', '/', '\r', '\n', '\r', '\n'}},
        {"response", "http://x/a.swf", response},
        {"response", "http://x/b.swf",
         HttpResponse({"Content-Encoding: deflate"}, Gzip(cws, true))},
        {"resource", "file:///c.swf", movie, "WARC/1.0"}};
    const Bytes warc = Warc(records);
    Seeds seeds;
    seeds.push_back({"zip", Archive(ArchiveFormat::Zip, members)});
    seeds.push_back({"tar", Archive(ArchiveFormat::Tar, members)});
    seeds.push_back({"tar.gz", Archive(ArchiveFormat::Tar, members, ArchiveFilter::Gzip)});
    seeds.push_back({"tar.xz", Archive(ArchiveFormat::Tar, members, ArchiveFilter::Xz)});
    seeds.push_back({"warc", warc});
    seeds.push_back({"warc_per_record.gz", Warc(records, true)});
    seeds.push_back({"warc_whole.gz", Gzip(warc)});
    seeds.push_back(
        {"wacz", Archive(ArchiveFormat::Zip, {{"archive/data.warc.gz", Warc(records, true)}})});
    seeds.push_back(
        {"nested.zip",
         Archive(ArchiveFormat::Zip,
                 {{"in.zip", Archive(ArchiveFormat::Zip, {{"in.tar", seeds[1].second}})}})});
    Bytes cut = warc;
    cut.resize(cut.size() / 2);
    seeds.push_back({"cut.warc", cut});
    Bytes cutGzip = Warc(records, true);
    cutGzip.resize(cutGzip.size() - 30);
    seeds.push_back({"cut_member.warc.gz", cutGzip});
    // The hostile shapes that once cost gigabytes or gave no row, in small forms.
    seeds.push_back({"hostile.7z", HostileSevenZip()});
    seeds.push_back({"hostile_compressed_header.7z", CompressedHostileSevenZip()});
    seeds.push_back({"recursive.zip", Archive(ArchiveFormat::Zip, {{"r.gz", RecursiveGzip()}})});
    const Bytes zeros =
        Archive(ArchiveFormat::Zip, {{"z.swf", Bytes(1 << 20)}, {"z", Bytes(1 << 20)}});
    seeds.push_back(
        {"zip_of_zips.zip", Archive(ArchiveFormat::Zip, {{"a.zip", zeros}, {"b.zip", zeros}})});
    seeds.push_back(
        {"nested.7z.zip",
         Archive(ArchiveFormat::Zip, {{"in.7z", Archive(ArchiveFormat::SevenZip, members)}})});
    seeds.push_back(
        {"names.zip", StoredZip({{"caf\xC3\xA9.swf", movie}, {"caf\x82.swf", cws}}, 0x800)});
    seeds.push_back({"broken_member.warc.gz",
                     Cat({Warc(records, true), {0x1F, 0x8B, 0x08, 0, 1, 2}, Warc(records, true)})});
    const std::string interim = "HTTP/1.1 100 Continue\r\n\r\n";
    seeds.push_back(
        {"interim.warc",
         Warc({{"response", "http://x/c.swf",
                Cat({Bytes(interim.begin(), interim.end()), HttpResponse({}, movie)})}})});
    Bytes badCrc = Warc(records, true);
    badCrc[badCrc.size() - 8] ^= 1;  // the last member's CRC-32
    seeds.push_back({"bad_crc.warc.gz", badCrc});
    Bytes badZipCrc = seeds[0].second;
    const std::string central = "PK\x01\x02";
    badZipCrc[static_cast<std::size_t>(
                  std::search(badZipCrc.begin(), badZipCrc.end(), central.begin(), central.end()) -
                  badZipCrc.begin()) +
              16] ^= 1;
    seeds.push_back({"bad_crc.zip", badZipCrc});
    // Damage that once went unsaid, and shapes read since.
    Bytes zeroedStart = Archive(ArchiveFormat::SevenZip, members);
    std::fill(zeroedStart.begin() + 8, zeroedStart.begin() + 32, 0);
    seeds.push_back({"zeroed_start.7z", zeroedStart});
    Bytes badChecksum = seeds[1].second;
    badChecksum[512 * 2 + 148] ^= 1;
    seeds.push_back({"bad_checksum.tar", badChecksum});
    Bytes badTarCrc = seeds[2].second;
    badTarCrc[badTarCrc.size() - 8] ^= 1;
    seeds.push_back({"bad_crc.tar.gz", badTarCrc});
    seeds.push_back({"links.tar", Archive(ArchiveFormat::Tar, {{"a.swf", movie},
                                                               {"hard.swf", {}, "a.swf"},
                                                               {"soft.swf", {}, "", "a.swf"}})});
    const Bytes record = WarcRecordBytes(records[3]);
    seeds.push_back(
        {"stray_bytes.warc", Cat({record, {'x', 'y', 'z'}, record, {0}, record, Bytes(512)})});
    std::string interims;
    for (int i = 0; i < 1000; ++i) {
        interims += interim;
    }
    seeds.push_back(
        {"no_payload.warc",
         Warc({{"response", "http://x/d.swf",
                Cat({Bytes(interims.begin(), interims.end()), HttpResponse({}, movie)})},
               {"response", "http://x/e.swf", HttpResponse({"Server: x"}, {})}})});
    seeds.push_back({"movie.swf.gz", Gzip(movie)});
    seeds.push_back({"gzipped_movie.zip", Archive(ArchiveFormat::Zip, {{"m.swf.gz", Gzip(cws)}})});
    Bytes encrypted = StoredZip({{"a.swf", movie}, {"b.swf", cws}}, 1);
    seeds.push_back({"encrypted.zip", encrypted});
    seeds.push_back(
        {"cut_directory.zip", Bytes(seeds[0].second.begin(), seeds[0].second.end() - 30)});
    seeds.push_back(
        {"names_not_utf8.zip", StoredZip({{"caf\xE9.swf", movie}, {"\xFF.swf", cws}}, 0x800)});
    seeds.push_back(
        {"self_extracting.exe", Cat({{'M', 'Z'}, Bytes(500), StoredZip({{"c.swf", movie}}, 0)})});
    seeds.push_back(
        {"lzma.zip", StoredZip({{"a.swf", movie, "", "", 14, ZipLzma(movie)}, {"b.swf", cws}}, 0)});
    seeds.push_back(
        {"nul_name_zip.tar",
         Archive(ArchiveFormat::Tar,
                 {{"in.zip", StoredZip({{std::string("nul\0a.swf", 9), movie}}, 0x800)}})});
    seeds.push_back({"lone_surrogate.7z", SolidSevenZip({{"a\xED\xA0\x80.swf", movie}})});
    return seeds;
}

Seeds ExportSeeds() {
    using testmovie::Jpeg;
    using testmovie::Lossless;
    using testmovie::SoundByte;
    using testmovie::Zlib;
    const Bytes jpeg = Jpeg(3, 2);
    const Bytes adpcm{0x00, 0xFA, 0x00, 0x70};
    const Bytes mp3{0xFF, 0xFB, 0x90, 0x64, 0, 0};
    Seeds seeds;
    seeds.push_back(
        {"lossless", Cat({Lossless(20, 3, 3, 2, {1, 2, 3, 4, 5, 6}, Bytes(8), 2),
                          Lossless(20, 4, 1, 1, {}, {0x7C, 0, 0, 0}),
                          Lossless(36, 5, 2, 1, {}, {128, 64, 0, 128, 0, 1, 2, 3}), End()})});
    seeds.push_back({"jpeg", Cat({Tag(8, Cat({jpeg, {0xFF, 0xD9}})), Tag(6, Cat({U16(1), jpeg})),
                                  Tag(21, Cat({U16(2), {0xFF, 0xD9, 0xFF, 0xD8}, jpeg})),
                                  Tag(35, Cat({U16(3), U32(jpeg.size()), jpeg, Zlib(Bytes(6))})),
                                  Tag(90, Cat({U16(4), U32(jpeg.size()), U16(0), jpeg})), End()})});
    seeds.push_back(
        {"sounds", Cat({Tag(14, Cat({U16(1), {SoundByte(1, 1, true, false)}, U32(4), adpcm})),
                        Tag(14, Cat({U16(2), {SoundByte(3, 2, true, true)}, U32(1), Bytes(4)})),
                        Tag(14, Cat({U16(3), {SoundByte(2, 3, true, false)}, U32(1152), mp3})),
                        Tag(45, Cat({{0, SoundByte(2, 3, true, false)}, U16(576), U16(0)})),
                        Tag(19, Cat({U16(576), U16(0), mp3})), ShowFrame(), End()})});
    seeds.push_back({"stored", Cat({Tag(87, Cat({U16(1), U32(0), Movie(End())})),
                                    Tag(82, Cat({U32(1), CString("a"), {0x10, 0, 0x2E, 0}})),
                                    DoAction({0x07, 0}), Tag(59, Cat({U16(1), {0}})), End()})});
    return seeds;
}

bool WriteSeeds(const std::string& folder, const Seeds& seeds) {
    mkdir(folder.c_str(), 0777);
    for (const auto& [name, bytes] : seeds) {
        const std::string path = folder + "/" + name;
        std::FILE* out = std::fopen(path.c_str(), "wb");
        if (out == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size() ||
            std::fclose(out) != 0) {
            std::fprintf(stderr, "make_corpus: cannot write %s\n", path.c_str());
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_corpus <corpus folder>\n");
        return 2;
    }
    const std::string root = argv[1];
    mkdir(root.c_str(), 0777);
    const bool ok = WriteSeeds(root + "/fuzz_load", LoadSeeds()) &&
                    WriteSeeds(root + "/fuzz_reader", ReaderSeeds()) &&
                    WriteSeeds(root + "/fuzz_codec", CodecSeeds()) &&
                    WriteSeeds(root + "/fuzz_containers", ContainerSeeds()) &&
                    WriteSeeds(root + "/fuzz_info", InfoSeeds()) &&
                    WriteSeeds(root + "/fuzz_export", ExportSeeds());
    return ok ? 0 : 1;
}
