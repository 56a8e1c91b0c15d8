#include "bench/worst_movies.h"

namespace testmovie {

namespace {

constexpr std::size_t kLargestMovieBytes = 4194304;
constexpr std::size_t kTwoByteTags = (kLargestMovieBytes - 20 - 2) / 2;  // after a 20-byte header
constexpr std::uint16_t kFrames = 65535;
// A varied mix of bodiless tags, so that node texts differ as in a real movie.
constexpr std::uint16_t kMinimalCodes[] = {26, 28, 4, 5, 9, 43, 15, 2, 22, 32, 11, 33, 19, 77};

// `count` 2-byte tags of mixed codes, every 32nd a ShowFrame until `showFrames` are placed.
Bytes MinimalTags(std::size_t count, std::size_t showFrames) {
    Bytes tags;
    tags.reserve(count * 2);
    std::size_t placed = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const bool showFrame = i % 32 == 31 && placed < showFrames;
        placed += showFrame ? 1 : 0;
        const std::uint16_t code =
            showFrame ? 1 : kMinimalCodes[i % (sizeof kMinimalCodes / sizeof kMinimalCodes[0])];
        const std::uint16_t word = static_cast<std::uint16_t>(code << 6);
        tags.push_back(static_cast<std::uint8_t>(word & 0xFF));
        tags.push_back(static_cast<std::uint8_t>(word >> 8));
    }
    return tags;
}

// n chained run-on sprites (each declaring only its two fields, so its contents run on into
// the next ones) make 2^(n+1) - 1 items with the End that follows them; `before` top-level tags
// ahead of them add one item each. The largest chain under the cap, topped up to the cap.
Bytes RunOnChainAtTheCap() {
    constexpr std::size_t kCap = 4194304;
    std::size_t sprites = 0;
    while ((std::size_t{1} << (sprites + 2)) - 1 <= kCap) {
        ++sprites;
    }
    const std::size_t chainItems = (std::size_t{1} << (sprites + 1)) - 1;
    const std::size_t before = kCap - chainItems - 1;  // and one filler tag
    const std::size_t chainBytes = sprites * 6 + 2;
    const std::size_t fillerBody = kLargestMovieBytes - 21 - before * 2 - chainBytes - 6;
    return Cat({Tag(2, Bytes(fillerBody, 0), true), Repeated(Tag(9), before),
                Repeated(Sprite({}), sprites), End()});
}

}  // namespace

std::vector<WorstMovie> WorstMovies(const std::string& shapes) {
    const auto wanted = [&shapes](const char* name) {
        return shapes.find(name) != std::string::npos;
    };
    std::vector<WorstMovie> movies;
    if (wanted("a")) {
        movies.push_back(
            {"a", "2,097,141 minimal tags, 65,535 ShowFrames",
             Movie(HeaderOfLength(20, kFrames), Cat({MinimalTags(kTwoByteTags, kFrames), End()}))});
    }
    if (wanted("b")) {
        movies.push_back({"b", "2,097,144 top-level ShowFrames, frame index wraps",
                          Movie(HeaderOfLength(14, kFrames),
                                Cat({Repeated(ShowFrame(), kTwoByteTags + 3), End()}))});
    }
    if (wanted("c")) {
        const std::size_t nested = (kLargestMovieBytes - 21 - 10 - 2) / 2 - 1;
        movies.push_back(
            {"c", "one DefineSprite holding 2,097,135 tags",
             Movie(Cat(
                 {Tag(39, Cat({U16(1), U16(kFrames), MinimalTags(nested, kFrames), End()}), true),
                  End()}))});
    }
    if (wanted("d")) {
        const std::size_t levels = 65535;
        const std::size_t fillerTags = ((kLargestMovieBytes - 21 - 2) / levels - 12) / 2;
        movies.push_back({"d", "65,535 nested sprites", Movie(NestedSprites(levels, fillerTags))});
    }
    if (wanted("e")) {
        movies.push_back(
            {"e", "chained run-on sprites at the item cap", Movie(RunOnChainAtTheCap())});
    }
    if (wanted("f")) {
        constexpr std::size_t kActions = 524283;
        Bytes actions;
        actions.reserve(kActions * 8);
        for (std::size_t i = 0; i < kActions; ++i) {
            const auto frame = static_cast<std::uint16_t>(i * 7919);
            Append(actions, DoAction(Cat({{0x81, 0x02, 0x00}, U16(frame), {0x00}})));
        }
        movies.push_back(
            {"f", "524,283 DoActions, first action GotoFrame", Movie(Cat({actions, End()}))});
    }
    return movies;
}

}  // namespace testmovie
