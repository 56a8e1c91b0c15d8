// Broken movies read leniently and repaired: one row per shape of damage.
#include "swfff/repair.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "swfff/loader.h"
#include "swfff/scoped_movie.h"
#include "swfff/writer.h"
#include "tests/support/movie_builder.h"

namespace {

using namespace testmovie;

std::string DescribeFaults(const LoadFaults& faults) {
    if (!faults.readable) {
        return "unreadable";
    }
    std::ostringstream out;
    if (faults.lengthDiffers) {
        out << "length " << faults.declaredLength << "/" << faults.size << "; ";
    }
    if (faults.walk.result != loadOk) {
        out << "walk " << faults.walk.result << " @" << faults.walk.offset << " d"
            << faults.walk.depth << " " << faults.walk.reason;
    }
    return out.str();
}

std::string DescribeRepair(const RepairOutcome& outcome) {
    if (outcome.result == RepairResult::TooShort) {
        return "none: too short";
    }
    if (outcome.result == RepairResult::StillBreaks) {
        return "none: still breaks " + std::to_string(outcome.writtenLoadResult);
    }
    std::ostringstream out;
    out << "kept " << outcome.topLevelKept << "/" << outcome.topLevelRead
        << (outcome.endAdded ? " end+" : "") << " frames " << outcome.frameCountDeclared << "->"
        << outcome.frameCountWritten;
    return out.str();
}

std::vector<Bytes> TopLevelTags(const CInputScript& movie) {
    std::vector<Bytes> tags;
    for (const TagItem* item = movie.FirstTag; item != nullptr; item = item->Next) {
        if (item->Depth == 0) {
            tags.emplace_back(item->Data, item->Data + item->HeaderLength + item->BodyLength);
        }
    }
    return tags;
}

Bytes Cut(const Bytes& bytes, std::size_t keep) {
    return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(keep));
}

struct Shape {
    const char* what;
    Bytes file;
    std::int32_t result;
    std::string faults;
    std::size_t items;  // read leniently
    std::string repaired;
};

std::vector<Shape> Shapes() {
    HeaderSpec three;
    three.frameCount = 3;
    const Bytes body = Tag(2, Bytes(10, 7));
    const Bytes whole =
        Movie(three, Cat({ShowFrame(), body, ShowFrame(), body, ShowFrame(), End()}));
    // 21 header bytes; the second body tag starts at 37.
    const Bytes withSprite =
        Movie(three, Cat({ShowFrame(), Sprite(Cat({ShowFrame(), body, End()})), End()}));
    const Bytes fieldsCut = Movie(three, Cat({ShowFrame(), TagHeader(39, 2), Bytes{1, 0}}));
    const Bytes innerTagPastTheEnd =
        Movie(three, Cat({ShowFrame(), Tag(39, Cat({U16(1), U16(1), TagHeader(2, 50)})), End()}));
    // A sprite declaring its fields and a tag header whose body reaches 9 bytes past the sprite,
    // over the next tag and 1 byte into the one after, where its End is: read whole, it ends
    // there; once that last tag is cut away, it runs past the End written instead.
    const Bytes runOnPastTheCut =
        Movie(three,
              Cat({ShowFrame(), Tag(39, Cat({U16(1), U16(1), TagHeader(2, 9)})),
                   Tag(2, Bytes(4, 0)), TagHeader(2, 20), Bytes{7, 0, 0, 5, 5}}),
              200);
    // The one a fuzzer found: an empty DefineSprite, a tag of code 876 and a cut tag header.
    const Bytes fieldsPastTheBody = Movie(HeaderSpec{}, Cat({Tag(39), Tag(876, {0}), {0}}), 61);
    const Bytes runOn = Movie(three, Cat({ShowFrame(), Sprite(ShowFrame()), body, End()}));
    HeaderSpec wide = three;
    wide.fieldWidth = 31;
    HeaderSpec narrow = HeaderOfLength(13, 1);
    return {
        {"whole", whole, loadOk, "", 6, "kept 6/6 frames 3->3"},
        {"cut in a body", Cut(whole, 45), loadLengthMismatch,
         "length 53/45; walk -9 @37 d0 a tag runs past the end", 3, "kept 3/4 end+ frames 3->2"},
        {"cut at a tag boundary", Cut(whole, 37), loadLengthMismatch, "length 53/37; ", 3,
         "kept 3/3 end+ frames 3->2"},
        {"cut in a long header", Cut(Movie(three, Cat({ShowFrame(), Tag(2, {}, true)})), 26),
         loadLengthMismatch, "length 29/26; walk -9 @23 d0 a tag header runs past the end", 1,
         "kept 1/2 end+ frames 3->1"},
        {"cut inside a sprite", Cut(withSprite, 40), loadLengthMismatch,
         "length 47/40; walk -9 @23 d0 a tag runs past the end", 1, "kept 1/2 end+ frames 3->1"},
        {"a sprite's fields cut", fieldsCut, loadStructureLeavesFile,
         "walk -9 @23 d0 a sprite's fields run past the end", 2, "kept 1/2 end+ frames 3->1"},
        {"a tag in a sprite declaring more than the file holds", innerTagPastTheEnd,
         loadStructureLeavesFile, "walk -9 @29 d1 a tag runs past the end", 2,
         "kept 1/2 end+ frames 3->1"},
        {"a run-on sprite cut in the tag after it", Cut(runOn, 37), loadLengthMismatch,
         "length 45/37; walk -9 @31 d1 a tag runs past the end", 3, "kept 1/2 end+ frames 3->1"},
        {"a sprite whose fields lie past its empty body, in the tags cut away", fieldsPastTheBody,
         loadLengthMismatch, "length 61/27; walk -9 @26 d0 a tag header runs past the end", 2,
         "kept 0/3 end+ frames 1->1"},
        {"a run-on sprite that fails once the cut tag is gone", runOnPastTheCut, loadLengthMismatch,
         "length 200/44; walk -9 @37 d0 a tag runs past the end", 5, "kept 1/4 end+ frames 3->1"},
        {"bytes appended, counted", Movie(three, Cat({ShowFrame(), End(), {1, 2, 3}})), loadOk, "",
         2, "kept 2/2 frames 3->3"},
        {"bytes appended, not counted", Cat({whole, {1, 2}}), loadLengthMismatch, "length 53/55; ",
         6, "kept 6/6 frames 3->3"},
        {"declared length too large, nothing cut inside",
         Movie(three, Cat({ShowFrame(), body, ShowFrame(), body, ShowFrame(), End()}), 99),
         loadLengthMismatch, "length 99/53; ", 6, "kept 6/6 frames 3->3"},
        {"no End", Movie(three, Cat({ShowFrame(), body})), loadOk, "", 2,
         "kept 2/2 end+ frames 3->3"},
        {"header wider than the file", Cut(Movie(wide, End()), 22), loadStructureLeavesFile,
         "unreadable", 0, ""},
        {"nothing kept is too short to load", Cut(Movie(narrow, body), 21), loadLengthMismatch,
         "length 25/21; walk -9 @13 d0 a tag runs past the end", 0, "none: too short"},
        {"the tags kept still pass the item limit once written",
         Movie(three, TagsFillingTheItemLimit()), loadTooManyItems,
         "walk -11 @1499 d0 the tag items pass their limit", 4194304, "none: still breaks -11"},
    };
}

TEST(RepairTest, EachBrokenShapeIsReadAsFarAsItGoesAndRepairedIntoAMovieThatLoads) {
    for (const Shape& shape : Shapes()) {
        SCOPED_TRACE(shape.what);
        ScopedMovie read;
        LoadFaults faults;
        EXPECT_EQ(LoadMovieFromBytes(read.movie, "m.swf", shape.file.data(),
                                     static_cast<std::int64_t>(shape.file.size()), &faults),
                  shape.result);
        EXPECT_EQ(DescribeFaults(faults), shape.faults);
        if (!faults.readable) {
            EXPECT_EQ(read.movie.FirstTag, nullptr);
            continue;
        }
        std::size_t items = 0;
        for (const TagItem* item = read.movie.FirstTag; item != nullptr; item = item->Next) {
            ++items;
        }
        EXPECT_EQ(items, shape.items);
        const std::vector<Bytes> readTags = TopLevelTags(read.movie);
        const RepairOutcome outcome = RepairMovie(read.movie, faults, false);
        EXPECT_EQ(DescribeRepair(outcome), shape.repaired);
        if (outcome.result != RepairResult::Repaired) {
            continue;
        }
        const Bytes repaired = SavedMovieBytes(read.movie);
        EXPECT_EQ(repaired.size(), outcome.fileLength);

        // It loads, its top-level tags are the ones kept as read, and repairing it again gives
        // the same bytes.
        ScopedMovie again;
        LoadFaults none;
        ASSERT_EQ(LoadMovieFromBytes(again.movie, "r.swf", repaired.data(),
                                     static_cast<std::int64_t>(repaired.size()), &none),
                  loadOk);
        std::vector<Bytes> wanted(readTags.begin(), readTags.begin() + outcome.topLevelKept);
        if (outcome.endAdded) {
            wanted.push_back(End());
        }
        EXPECT_EQ(TopLevelTags(again.movie), wanted);
        EXPECT_EQ(again.movie.Header.FrameCount, outcome.frameCountWritten);
        EXPECT_EQ(DescribeRepair(RepairMovie(again.movie, none, false)),
                  "kept " + std::to_string(wanted.size()) + "/" + std::to_string(wanted.size()) +
                      " frames " + std::to_string(outcome.frameCountWritten) + "->" +
                      std::to_string(outcome.frameCountWritten));
        EXPECT_EQ(SavedMovieBytes(again.movie), repaired);
    }
}

}  // namespace
