#include "analysis/movie_statistics.h"

#include <algorithm>

#include "swfff/vocabulary.h"
#include "swfff/writer.h"

namespace velpin {

MovieStatistics ComputeMovieStatistics(const CInputScript& movie) {
    MovieStatistics statistics;
    statistics.header = movie.Header;
    statistics.codes.resize(kTagCodeCount);
    for (const TagItem* item = movie.FirstTag; item != nullptr; item = item->Next) {
        ++statistics.tags;
        TagCodeFigures& figures = statistics.codes[item->TagCode];
        ++figures.count;
        statistics.maxDepth = std::max<std::int64_t>(statistics.maxDepth, item->Depth);
        if (item->Depth == 0) {
            ++statistics.topLevelTags;
            figures.topLevelBytes += std::int64_t{item->HeaderLength} + item->BodyLength;
            statistics.showFrames += item->TagCode == tagShowFrame ? 1 : 0;
        }
    }
    statistics.trailingBytes = TrailingBytes(movie);
    const auto present = [&statistics](std::uint16_t code) {
        return statistics.codes[code].count != 0;
    };
    statistics.as3 = present(tagDoAbc) || present(tagDoAbcDefine);
    statistics.debug = present(tagEnableDebugger) || present(tagEnableDebugger2);
    statistics.metadata = present(tagMetadata);
    statistics.productInfo = present(tagProductInfo);
    return statistics;
}

}  // namespace velpin
