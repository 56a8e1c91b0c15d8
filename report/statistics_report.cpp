#include "report/statistics_report.h"

#include <utility>

namespace velpin {

void WriteFrameMembers(JsonWriter& json, const MovieHeader& header) {
    json.Key("frameRect");
    json.BeginObject();
    json.Key("xMin");
    json.Integer(header.FrameRect.XMin);
    json.Key("xMax");
    json.Integer(header.FrameRect.XMax);
    json.Key("yMin");
    json.Integer(header.FrameRect.YMin);
    json.Key("yMax");
    json.Integer(header.FrameRect.YMax);
    json.EndObject();
    json.Key("frameRate");
    json.Integer(header.FrameRate);
    json.Key("frameCount");
    json.Integer(header.FrameCount);
}

void WriteMovieStatistics(JsonWriter& json, const MovieStatistics& statistics) {
    WriteFrameMembers(json, statistics.header);
    const std::pair<const char*, std::int64_t> counts[] = {
        {"tags", statistics.tags},
        {"topLevelTags", statistics.topLevelTags},
        {"nestedTags", statistics.tags - statistics.topLevelTags},
        {"maxDepth", statistics.maxDepth},
        {"showFrames", statistics.showFrames},
        {"trailingBytes", statistics.trailingBytes},
    };
    for (const auto& [name, value] : counts) {
        json.Key(name);
        json.Integer(value);
    }
    json.Key("codes");
    json.BeginObject();
    for (std::size_t code = 0; code < statistics.codes.size(); ++code) {
        const TagCodeFigures& figures = statistics.codes[code];
        if (figures.count == 0) {
            continue;
        }
        json.Key(static_cast<std::int64_t>(code));
        json.BeginObject();
        json.Key("count");
        json.Integer(figures.count);
        json.Key("topLevelBytes");
        json.Integer(figures.topLevelBytes);
        json.EndObject();
    }
    json.EndObject();
    json.Key("flags");
    json.BeginObject();
    const std::pair<const char*, bool> flags[] = {
        {"as3", statistics.as3},
        {"debug", statistics.debug},
        {"metadata", statistics.metadata},
        {"productInfo", statistics.productInfo},
    };
    for (const auto& [name, value] : flags) {
        json.Key(name);
        json.Boolean(value);
    }
    json.EndObject();
}

}  // namespace velpin
