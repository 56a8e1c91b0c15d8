#include "analysis/movie_statistics.h"

#include <gtest/gtest.h>

#include "swfff/loader.h"
#include "swfff/scoped_movie.h"
#include "tests/support/movie_builder.h"

using namespace velpin;

namespace {

using namespace testmovie;

// Each flag comes from either of its tags, inside a sprite as well as at the top level.
TEST(MovieStatistics, FlagsComeFromEitherOfTheirTags) {
    struct Row {
        Bytes tags;
        bool as3, debug, metadata, productInfo;
    };
    const Row rows[] = {
        {End(), false, false, false, false},
        {Cat({Tag(72, {0}), End()}), true, false, false, false},
        {Cat({Tag(82, {0}), End()}), true, false, false, false},
        {Cat({Tag(58), End()}), false, true, false, false},
        {Cat({Sprite(Cat({Tag(64), End()})), End()}), false, true, false, false},
        {Cat({Tag(77), Tag(41, {0}), End()}), false, false, true, true},
    };
    for (const Row& row : rows) {
        ScopedMovie document;
        const Bytes movie = Movie(HeaderSpec{}, row.tags);
        ASSERT_EQ(LoadMovieFromBytes(document.movie, "m.swf", movie.data(),
                                     static_cast<std::int64_t>(movie.size())),
                  loadOk);
        const MovieStatistics statistics = ComputeMovieStatistics(document.movie);
        EXPECT_EQ(statistics.as3, row.as3);
        EXPECT_EQ(statistics.debug, row.debug);
        EXPECT_EQ(statistics.metadata, row.metadata);
        EXPECT_EQ(statistics.productInfo, row.productInfo);
    }
}

}  // namespace
