#include "report/export_report.h"

#include "export/asset_kinds.h"
#include "report/json_writer.h"
#include "swfff/vocabulary.h"

namespace velpin {

// Every code an asset comes from is one the format defines, so it always has a name.

void AppendManifestLine(const ExportedAsset& asset, std::string& out) {
    JsonWriter json(out);
    json.BeginObject();
    json.Key("index");
    json.Integer(asset.index);
    json.Key("code");
    json.Integer(asset.code);
    json.Key("formatName");
    json.String(TagFormatName(asset.code));
    json.Key("id");
    json.IntegerOrNull(asset.id);
    json.Key("kind");
    json.String(AssetKindName(asset.kind));
    json.Key("file");
    json.StringOrNull(asset.file);
    json.Key("size");
    json.IntegerOrNull(asset.size);
    json.Key("sha256");
    json.StringOrNull(asset.sha256);
    if (asset.kind == AssetKind::Image) {
        json.Key("width");
        json.IntegerOrNull(asset.width);
        json.Key("height");
        json.IntegerOrNull(asset.height);
    } else if (asset.kind == AssetKind::Sound) {
        const std::optional<SoundFigures>& sound = asset.sound;
        json.Key("format");
        json.StringOrNull(sound ? std::optional<std::string_view>(sound->format) : std::nullopt);
        json.Key("rate");
        json.IntegerOrNull(sound ? std::optional<std::uint32_t>(sound->rate) : std::nullopt);
        json.Key("channels");
        json.IntegerOrNull(sound ? std::optional<std::uint32_t>(sound->channels) : std::nullopt);
        json.Key("sampleCount");
        json.IntegerOrNull(sound ? std::optional<std::uint32_t>(sound->sampleCount) : std::nullopt);
    }
    json.Key("error");
    json.StringOrNull(asset.error);
    json.EndObject();
    out.push_back('\n');
}

std::string AssetFailureLine(const ExportedAsset& asset) {
    return "item " + std::to_string(asset.index) + " (" + TagFormatName(asset.code) +
           "): " + asset.error.value_or("");
}

std::string ExportSummaryLine(const ExportCounts& counts, const std::string& folder) {
    return "export: " + std::to_string(counts.files) + (counts.files == 1 ? " file" : " files") +
           " in " + folder + ", " + std::to_string(counts.errors) +
           (counts.errors == 1 ? " asset" : " assets") + " not exported";
}

}  // namespace velpin
