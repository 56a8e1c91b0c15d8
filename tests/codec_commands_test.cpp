// velpin-cli inflate and compress end to end: the built program is run as a user would run it.
#include <zlib.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/movie_builder.h"
#include "tests/support/run_program.h"

namespace {

using namespace testmovie;

class CodecCommandsTest : public ::testing::Test {
  protected:
    ProgramRun Run(const std::vector<std::string>& args) {
        std::vector<std::string> all{VELPIN_CLI_PATH};
        all.insert(all.end(), args.begin(), args.end());
        const ProgramRun run = RunCapturing(all, io.Path());
        if (run.status < 0) {
            ADD_FAILURE() << "cannot run " << VELPIN_CLI_PATH;
        }
        return run;
    }

    // Everything in the working folder, so that a leftover temporary file shows up too.
    std::vector<std::string> Listing() const { return testmovie::Listing(dir.Path()); }

    static Bytes Original() {
        HeaderSpec spec;
        spec.frameCount = 2;
        Bytes filler(5000);
        for (std::size_t i = 0; i < filler.size(); ++i) {
            filler[i] = static_cast<std::uint8_t>(i * 7 + i / 100);
        }
        return Movie(spec, Cat({Tag(9, {0, 0, 0}), DoAction({0x07, 0x00}), ShowFrame(),
                                Sprite(Cat({ShowFrame(), End()})), Tag(21, filler, true),
                                ShowFrame(), End()}));
    }

    // The CWS movie zlib itself makes of `movie`, not `compress`.
    static Bytes ZlibMade(const Bytes& movie) {
        uLongf packedLength = compressBound(static_cast<uLong>(movie.size()));
        Bytes packed(packedLength);
        EXPECT_EQ(compress2(packed.data(), &packedLength, movie.data() + 8,
                            static_cast<uLong>(movie.size() - 8), 9),
                  Z_OK);
        packed.resize(packedLength);
        return Cat(
            {{'C', 'W', 'S', movie[3]}, U32(static_cast<std::uint32_t>(movie.size())), packed});
    }

    TempDir io;
    TempDir dir;
    const Bytes original = Original();
    const std::string movie = dir.Write("movie.swf", original);
};

TEST_F(CodecCommandsTest, CompressThenInflateGivesTheMovieBack) {
    const struct {
        std::vector<std::string> option;
        const char* signature;
    } rows[] = {{{}, "CWS"}, {{"--lzma"}, "ZWS"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.signature);
        const std::string packed = dir.File("packed.swf");
        const std::string unpacked = dir.File("unpacked.swf");
        std::vector<std::string> args{"compress"};
        args.insert(args.end(), row.option.begin(), row.option.end());
        args.insert(args.end(), {movie, packed});
        const ProgramRun compress = Run(args);
        EXPECT_EQ(compress.status, 0);
        EXPECT_EQ(compress.out, "");
        EXPECT_EQ(compress.err, "");
        const Bytes c = ReadFile(packed);
        ASSERT_GE(c.size(), 8u);
        EXPECT_EQ(AsText(Bytes(c.begin(), c.begin() + 3)), row.signature);

        const ProgramRun quiet = Run({"inflate", packed, unpacked});
        EXPECT_EQ(quiet.status, 0);
        EXPECT_EQ(quiet.out, "");
        EXPECT_EQ(quiet.err, "");
        EXPECT_TRUE(ReadFile(unpacked) == original);

        const ProgramRun verbose = Run({"inflate", "-v", packed, unpacked});
        EXPECT_EQ(verbose.status, 0);
        EXPECT_EQ(verbose.out, "velpin-cli: " + packed + ": " + row.signature + " version 6, " +
                                   std::to_string(c.size()) + " bytes -> FWS version 6, " +
                                   std::to_string(original.size()) + " bytes\n");
        EXPECT_EQ(verbose.err, "");
        EXPECT_TRUE(ReadFile(unpacked) == original);
    }
}

// The point of the command: a compressed movie from elsewhere becomes one Velpin opens. The CWS
// here is made by zlib itself, not by `compress`.
TEST_F(CodecCommandsTest, InflatedCwsLoadsLikeTheOriginal) {
    const std::string cws = dir.Write("real.swf", ZlibMade(original));

    const std::string inflated = dir.File("inflated.swf");
    ASSERT_EQ(Run({"inflate", cws, inflated}).status, 0);
    const ProgramRun tags = Run({"tags", inflated});
    EXPECT_EQ(tags.status, 0);
    EXPECT_EQ(tags.err, "");
    EXPECT_NE(tags.out, "");
    EXPECT_EQ(tags.out, Run({"tags", movie}).out);
    EXPECT_EQ(Run({"tags", cws}).status, 1);
    // A pipe, whose size says nothing of its length, is read to its end.
    const ProgramRun piped = RunCapturing(
        {"/bin/sh", "-c",
         "cat \"$1\" | \"$0\" inflate /dev/stdin \"$2\" && cat \"$1\" | \"$0\" tags --inflate "
         "/dev/stdin",
         VELPIN_CLI_PATH, cws, inflated},
        io.Path());
    EXPECT_EQ(piped.status, 0);
    EXPECT_EQ(piped.out, tags.out);
    EXPECT_TRUE(ReadFile(inflated) == original);

    // A stray newline after the stream, as real movies carry, is left out of a whole movie.
    const std::string trailing = dir.Write("trailing.swf", Cat({ReadFile(cws), {'\n'}}));
    const ProgramRun run = Run({"inflate", trailing, inflated});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "velpin-cli: " + trailing +
                           ": 1 byte follows the end of the compressed data, and the movie is "
                           "written without it\n");
    EXPECT_TRUE(ReadFile(inflated) == original);

    // Past 16 MiB the stream is decoded as it streams, by a decoder that reads ahead past its end
    // and has to give back what it took of the bytes after it.
    const std::uint32_t large = (16u << 20) + 9;
    const std::string longer = dir.Write(
        "longer.swf",
        Cat({ZlibMade(Cat({{'F', 'W', 'S', 6}, U32(large), Bytes(large - 8)})), {'a', 'b', 'c'}}));
    EXPECT_EQ(Run({"inflate", longer, "/dev/null"}).err,
              "velpin-cli: " + longer +
                  ": 3 bytes follow the end of the compressed data, and the movie is written "
                  "without them\n");
}

TEST_F(CodecCommandsTest, FailuresWriteNothing) {
    const std::string cws = dir.File("movie.cws");
    ASSERT_EQ(Run({"compress", movie, cws}).status, 0);
    const Bytes c = ReadFile(cws);
    dir.Write("truncated.swf", Bytes(c.begin(), c.end() - 20));
    Bytes wrongLength = original;
    wrongLength[4] ^= 1;
    dir.Write("wrong-length.swf", wrongLength);
    const std::string out = dir.File("out.swf");
    const std::vector<std::string> before = Listing();

    const struct {
        std::vector<std::string> args;
        int status;
        std::string err;
    } rows[] = {
        {{"inflate", movie, out},
         1,
         "velpin-cli: " + movie +
             ": Error Inflating file! (the movie is not compressed: it is FWS, there is nothing to "
             "inflate)\n"},
        {{"inflate", dir.File("truncated.swf"), out},
         1,
         "velpin-cli: " + dir.File("truncated.swf") +
             ": Error Inflating file! (the compressed data ends early"},
        {{"compress", cws, out},
         1,
         "velpin-cli: " + cws +
             ": Error Compressing file! (the movie is already compressed: it is CWS, there is "
             "nothing to compress)\n"},
        {{"compress", "--lzma", dir.File("wrong-length.swf"), out},
         1,
         "velpin-cli: " + dir.File("wrong-length.swf") +
             ": Error Compressing file! (the header declares"},
        {{"inflate", cws, "/dev/full"}, 4, "velpin-cli: /dev/full: Error Saving file!\n"},
        {{"inflate", dir.File("missing.swf"), out},
         1,
         "velpin-cli: " + dir.File("missing.swf") + ": File not found.\n"},
        {{"compress", movie, dir.File("no-such-folder/out.swf")},
         4,
         "velpin-cli: " + dir.File("no-such-folder/out.swf") + ": the folder " +
             dir.File("no-such-folder") + " does not exist\n"},
        {{"inflate", "--lzma", cws, out},
         2,
         "velpin-cli: The following argument was not expected: --lzma (see 'velpin-cli inflate "
         "--help')\n"},
        {{"compress", "-v", movie, out},
         2,
         "velpin-cli: The following argument was not expected: -v (see 'velpin-cli compress "
         "--help')\n"},
        {{"inflate", cws}, 2, "velpin-cli: OUT is required (see 'velpin-cli inflate --help')\n"},
        {{"compress", movie, out, out},
         2,
         "velpin-cli: The following argument was not expected: " + out +
             " (see 'velpin-cli compress --help')\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args[0] + " " + row.args[1]);
        const ProgramRun run = Run(row.args);
        EXPECT_EQ(run.status, row.status);
        EXPECT_EQ(run.out, "");
        if (row.err.back() == '\n') {
            EXPECT_EQ(run.err, row.err);
        } else {
            EXPECT_EQ(run.err.rfind(row.err, 0), 0u) << run.err;
            EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
        }
        EXPECT_EQ(Listing(), before);
    }
}

TEST_F(CodecCommandsTest, FailedConversionKeepsTheOldOutput) {
    const Bytes old = {'o', 'l', 'd'};
    const std::string out = dir.Write("out.swf", old);
    EXPECT_EQ(Run({"inflate", movie, out}).status, 1);
    EXPECT_TRUE(ReadFile(out) == old);
    EXPECT_EQ(Run({"compress", "--lzma", movie, out}).status, 0);
    EXPECT_EQ(Run({"inflate", out, out}).status, 0);
    EXPECT_TRUE(ReadFile(out) == original);
}

}  // namespace
