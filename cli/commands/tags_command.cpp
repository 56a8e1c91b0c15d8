// velpin-cli tags: the document's tag list, one item per line or as JSON.
#include <vector>

#include "cli/commands/cli_support.h"
#include "cli/commands/commands.h"
#include "cli/commands/movie_input.h"
#include "cli/json/json_writer.h"
#include "swfff/vocabulary.h"

namespace {

// Tag names by code, each made once: a movie may hold millions of tags.
class TagNames {
  public:
    const std::string& operator()(std::uint16_t code) {
        if (code >= names_.size()) {
            names_.resize(std::size_t{code} + 1);
        }
        if (names_[code].empty()) {
            names_[code] = TagTypeName(code);
        }
        return names_[code];
    }

  private:
    std::vector<std::string> names_;
};

void PrintText(const CInputScript& movie) {
    StdoutWriter out;
    std::string& text = out.Buffer();
    TagNames names;
    std::int64_t index = 0;
    for (const TagItem* item = movie.FirstTag; item != nullptr; item = item->Next) {
        AppendDecimal(text, index++);
        text += ' ';
        AppendDecimal(text, item->Data - FileBytes);
        text += ' ';
        AppendDecimal(text, item->TagCode);
        text += ' ';
        text += names(item->TagCode);
        for (const std::int64_t value :
             {std::int64_t{item->HeaderLength}, std::int64_t{item->BodyLength},
              std::int64_t{item->Depth}, std::int64_t{item->FrameIndex},
              std::int64_t{item->IconIndex}}) {
            text += ' ';
            AppendDecimal(text, value);
        }
        if (item->TagCode == tagDoAction) {
            text += ' ';
            text += FirstActionName(*item);
        }
        text += '\n';
        out.MaybeFlush();
    }
}

void AppendMember(std::string& text, const char* separatorAndName, std::int64_t value) {
    text += separatorAndName;
    AppendDecimal(text, value);
}

void PrintJson(const CInputScript& movie) {
    const MovieHeader& h = movie.Header;
    StdoutWriter out;
    std::string& text = out.Buffer();
    text += "{\"result\": 0, \"header\": {\"signature\": ";
    AppendJsonString(text, std::string_view(reinterpret_cast<const char*>(h.Signature), 3));
    AppendMember(text, ", \"version\": ", h.Version);
    AppendMember(text, ", \"fileLength\": ", h.FileLength);
    AppendMember(text, ", \"frameRect\": {\"xMin\": ", h.FrameRect.XMin);
    AppendMember(text, ", \"xMax\": ", h.FrameRect.XMax);
    AppendMember(text, ", \"yMin\": ", h.FrameRect.YMin);
    AppendMember(text, ", \"yMax\": ", h.FrameRect.YMax);
    AppendMember(text, "}, \"frameRate\": ", h.FrameRate);
    AppendMember(text, ", \"frameCount\": ", h.FrameCount);
    text += "}, \"tags\": [";
    TagNames names;
    std::int64_t index = 0;
    for (const TagItem* item = movie.FirstTag; item != nullptr; item = item->Next) {
        text += index == 0 ? "\n" : ",\n";
        AppendMember(text, "{\"index\": ", index++);
        AppendMember(text, ", \"offset\": ", item->Data - FileBytes);
        AppendMember(text, ", \"code\": ", item->TagCode);
        text += ", \"name\": ";
        AppendJsonString(text, names(item->TagCode));
        AppendMember(text, ", \"headerLength\": ", item->HeaderLength);
        AppendMember(text, ", \"bodyLength\": ", item->BodyLength);
        AppendMember(text, ", \"depth\": ", item->Depth);
        AppendMember(text, ", \"frameIndex\": ", item->FrameIndex);
        AppendMember(text, ", \"icon\": ", item->IconIndex);
        text += ", \"action\": ";
        if (item->TagCode == tagDoAction) {
            AppendJsonString(text, FirstActionName(*item));
        } else {
            text += "null";
        }
        text += '}';
        out.MaybeFlush();
    }
    text += index == 0 ? "]}\n" : "\n]}\n";
}

}  // namespace

int RunTagsCommand(const std::vector<std::string>& args) {
    const ParsedArguments parsed =
        ParseArguments(args, {{"--json", false}, {"--inflate", false}}, 1);
    const OutputMode mode = parsed.Has("--json") ? OutputMode::Json : OutputMode::Plain;
    const std::string& path = parsed.operands[0];
    return RunReportingRaisedErrors(mode, [&]() {
        ScopedMovie document;
        const std::int32_t result = LoadMovieInput(document.movie, path, parsed.Has("--inflate"));
        if (result != loadOk) {
            return ReportLoadFailure(result, mode, path);
        }
        if (mode == OutputMode::Json) {
            PrintJson(document.movie);
        } else {
            PrintText(document.movie);
        }
        return static_cast<int>(exitOk);
    });
}
