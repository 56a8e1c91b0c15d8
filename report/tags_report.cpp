#include "report/tags_report.h"

#include <optional>
#include <string_view>

#include "report/decimal.h"
#include "report/faults.h"
#include "report/json_writer.h"
#include "report/output.h"
#include "report/statistics_report.h"
#include "swfff/vocabulary.h"

namespace velpin {

namespace {

std::optional<std::string_view> FormatName(std::uint16_t code) {
    const char* const name = TagFormatName(code);
    return name != nullptr ? std::optional<std::string_view>(name) : std::nullopt;
}

// What the file's first three bytes say: the load of a movie inflated in memory, or embedded in
// another's data, made a header whose signature is the FWS of the bytes it loaded.
std::string_view SignatureHeld(const MovieHeader& header, const InputHead& head) {
    if (const std::optional<std::string_view> held = SignatureText(head.signature)) {
        return *held;
    }
    return std::string_view(reinterpret_cast<const char*>(header.Signature), 3);
}

}  // namespace

void PrintTagsText(const CInputScript& movie) {
    StdoutWriter out;
    std::string& text = out.Buffer();
    std::int64_t index = 0;
    for (const TagItem* item = movie.FirstTag; item != nullptr; item = item->Next) {
        AppendDecimal(text, index++);
        text += ' ';
        AppendDecimal(text, item->Data - FileBytes);
        text += ' ';
        AppendDecimal(text, item->TagCode);
        text += ' ';
        text += TagTypeName(item->TagCode);
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

void PrintTagsJson(const CInputScript& movie, const LoadedInput& loaded) {
    const MovieHeader& h = movie.Header;
    StdoutWriter out;
    JsonWriter json(out.Buffer());
    json.BeginObject();
    WriteLoadMembers(json, loaded);
    json.Key("header");
    json.BeginObject();
    json.Key("signature");
    json.String(SignatureHeld(h, loaded.head));
    json.Key("version");
    json.Integer(h.Version);
    json.Key("declaredLength");
    json.Integer(h.FileLength);
    WriteFrameMembers(json, h);
    json.EndObject();
    json.Key("tags");
    json.BeginArray(JsonWriter::Layout::OneElementPerLine);
    std::int64_t index = 0;
    for (const TagItem* item = movie.FirstTag; item != nullptr; item = item->Next) {
        json.BeginObject();
        json.Key("index");
        json.Integer(index++);
        json.Key("offset");
        json.Integer(item->Data - FileBytes);
        json.Key("code");
        json.Integer(item->TagCode);
        json.Key("name");
        json.String(TagTypeName(item->TagCode));
        json.Key("formatName");
        json.StringOrNull(FormatName(item->TagCode));
        json.Key("headerLength");
        json.Integer(item->HeaderLength);
        json.Key("bodyLength");
        json.Integer(item->BodyLength);
        json.Key("depth");
        json.Integer(item->Depth);
        json.Key("frame");
        json.Integer(item->FrameIndex);
        json.Key("icon");
        json.Integer(item->IconIndex);
        json.Key("action");
        if (item->TagCode == tagDoAction) {
            json.String(FirstActionName(*item));
        } else {
            json.Null();
        }
        json.EndObject();
        out.MaybeFlush();
    }
    json.EndArray();
    json.EndObject();
    out.Put("\n");
}

}  // namespace velpin
