#include "report/info_report.h"

#include <cstdint>

#include "report/decimal.h"
#include "report/faults.h"
#include "report/output.h"

namespace velpin {

namespace {

struct AttributeName {
    std::uint8_t bit;
    const char* name;
};

// In the order of the JSON object: the highest bit first.
constexpr AttributeName kAttributeNames[] = {
    {attributeUseDirectBlit, "useDirectBlit"},
    {attributeUseGpu, "useGpu"},
    {attributeHasMetadata, "hasMetadata"},
    {attributeActionScript3, "actionScript3"},
    {attributeSuppressCrossDomainCaching, "suppressCrossDomainCaching"},
    {attributeRelativeUrls, "relativeUrls"},
    {attributeUseNetwork, "useNetwork"},
};

std::string ColorText(const std::array<std::uint8_t, 3>& rgb) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text = "#";
    for (const std::uint8_t channel : rgb) {
        text.push_back(kHex[channel >> 4]);
        text.push_back(kHex[channel & 0xF]);
    }
    return text;
}

std::string VersionText(const ProductInfo& product) {
    std::string text;
    AppendDecimal(text, product.majorVersion);
    text.push_back('.');
    AppendDecimal(text, product.minorVersion);
    return text;
}

// Writes `key` and the array of `entries`, each through `write`, calling `after` behind each one.
template <typename Entry, typename Write>
void WriteList(JsonWriter& json, const char* key, const std::vector<Entry>& entries,
               const std::function<void()>& after, const Write& write) {
    json.Key(key);
    json.BeginArray();
    for (const Entry& entry : entries) {
        write(entry);
        if (after) {
            after();
        }
    }
    json.EndArray();
}

void WriteSettings(JsonWriter& json, const MovieInfo& info) {
    json.Key("backgroundColor");
    if (info.backgroundColor) {
        json.String(ColorText(*info.backgroundColor));
    } else {
        json.Null();
    }
    json.Key("fileAttributes");
    if (info.fileAttributes) {
        json.BeginObject();
        json.Key("flags");
        json.Integer(*info.fileAttributes);
        for (const AttributeName& attribute : kAttributeNames) {
            json.Key(attribute.name);
            json.Boolean((*info.fileAttributes & attribute.bit) != 0);
        }
        json.EndObject();
    } else {
        json.Null();
    }
    json.Key("metadata");
    json.StringOrNull(info.metadata);
    json.Key("productInfo");
    if (const std::optional<ProductInfo>& product = info.productInfo) {
        json.BeginObject();
        json.Key("productId");
        json.Integer(product->productId);
        json.Key("edition");
        json.Integer(product->edition);
        json.Key("version");
        json.String(VersionText(*product));
        json.Key("build");
        json.Unsigned(product->build);
        json.Key("compiledAtMs");
        json.Unsigned(product->compiledAtMs);
        json.Key("compiledAt");
        if (const std::optional<std::string> compiledAt = IsoUtcTime(product->compiledAtMs)) {
            json.String(*compiledAt);
        } else {
            json.Null();
        }
        json.EndObject();
    } else {
        json.Null();
    }
    json.Key("scriptLimits");
    if (info.scriptLimits) {
        json.BeginObject();
        json.Key("maxRecursionDepth");
        json.Integer(info.scriptLimits->maxRecursionDepth);
        json.Key("scriptTimeoutSeconds");
        json.Integer(info.scriptLimits->scriptTimeoutSeconds);
        json.EndObject();
    } else {
        json.Null();
    }
    json.Key("protect");
    if (info.protect) {
        json.BeginObject();
        json.Key("passwordHash");
        json.StringOrNull(info.protect->passwordHash);
        json.EndObject();
    } else {
        json.Null();
    }
    json.Key("debugger");
    if (info.debugger) {
        json.BeginObject();
        json.Key("code");
        json.Integer(info.debugger->code);
        json.Key("passwordHash");
        json.StringOrNull(info.debugger->passwordHash);
        json.EndObject();
    } else {
        json.Null();
    }
}

void WriteLists(JsonWriter& json, const MovieInfo& info, const std::function<void()>& after) {
    const auto assetName = [&json](const AssetName& name) {
        json.BeginObject();
        json.Key("id");
        json.Integer(name.id);
        json.Key("name");
        json.String(name.name);
        json.EndObject();
    };
    WriteList(json, "symbols", info.symbols, after, assetName);
    WriteList(json, "exports", info.exports, after, assetName);
    WriteList(json, "imports", info.imports, after, [&json](const ImportedAsset& asset) {
        json.BeginObject();
        json.Key("url");
        json.String(asset.url);
        json.Key("id");
        json.Integer(asset.id);
        json.Key("name");
        json.String(asset.name);
        json.EndObject();
    });
    WriteList(json, "frameLabels", info.frameLabels, after, [&json](const FrameLabelEntry& label) {
        json.BeginObject();
        json.Key("frame");
        json.Integer(label.frame);
        json.Key("depth");
        json.Integer(label.depth);
        json.Key("name");
        json.String(label.name);
        json.EndObject();
    });
    WriteList(json, "abc", info.abc, after, [&json](const AbcEntry& abc) {
        json.BeginObject();
        json.Key("index");
        json.Integer(abc.index);
        json.Key("name");
        json.StringOrNull(abc.name);
        json.Key("flags");
        json.IntegerOrNull(abc.flags);
        json.Key("size");
        json.Integer(abc.size);
        json.EndObject();
    });
    WriteList(json, "binaryData", info.binaryData, after, [&json](const BinaryDataEntry& data) {
        json.BeginObject();
        json.Key("index");
        json.Integer(data.index);
        json.Key("id");
        json.Integer(data.id);
        json.Key("size");
        json.Integer(data.size);
        json.Key("signature");
        json.StringOrNull(data.signature);
        json.Key("version");
        json.IntegerOrNull(data.version);
        json.Key("declaredLength");
        json.IntegerOrNull(data.declaredLength);
        json.EndObject();
    });
    const auto string = [&json](std::string_view text) { json.String(text); };
    WriteList(json, "urls", info.urls, after, string);
    WriteList(json, "files", info.files, after, string);
}

// A string of the movie on one line: control bytes, which would break the line or move the
// cursor, are shown as \xNN.
void AppendShown(std::string& out, std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            out += "\\x";
            out.push_back(kHex[byte >> 4]);
            out.push_back(kHex[byte & 0xF]);
        } else {
            out.push_back(c);
        }
    }
}

// The plain form: headings, and indented lines under them.
class TextLines {
  public:
    TextLines(std::string& out, const std::function<void()>& afterEachLine)
        : out_(out), afterEachLine_(afterEachLine) {}

    void Heading(const char* title) {
        out_ += title;
        out_ += '\n';
    }
    // Starts an indented line and returns the string to finish it in; End() closes it.
    std::string& Line(const char* label = nullptr) {
        out_ += "  ";
        if (label != nullptr) {
            out_ += label;
            out_ += ": ";
        }
        return out_;
    }
    void End() {
        out_ += '\n';
        if (afterEachLine_) {
            afterEachLine_();
        }
    }
    void Shown(const char* label, const std::optional<std::string_view>& value) {
        Line(label);
        if (value) {
            AppendShown(out_, *value);
        } else {
            out_ += "none";
        }
        End();
    }
    void None(const char* label) {
        Line(label) += "none";
        End();
    }
    // A list's heading: its title and how many entries follow, or that none do.
    void ListHeading(const char* title, std::size_t entries) {
        out_ += title;
        if (entries == 0) {
            out_ += ": none\n";
            return;
        }
        out_ += " (";
        AppendDecimal(out_, static_cast<std::int64_t>(entries));
        out_ += ")\n";
    }

  private:
    std::string& out_;
    const std::function<void()>& afterEachLine_;
};

void AppendHash(std::string& out, const std::optional<std::string_view>& hash) {
    if (hash) {
        out += "password hash ";
        AppendShown(out, *hash);
    } else {
        out += "no password";
    }
}

void AppendSettingsText(TextLines& lines, const MovieInfo& info) {
    lines.Heading("Settings");
    lines.Shown("background color",
                info.backgroundColor ? std::optional<std::string>(ColorText(*info.backgroundColor))
                                     : std::nullopt);
    if (info.fileAttributes) {
        std::string& line = lines.Line("file attributes");
        AppendDecimal(line, *info.fileAttributes);
        const char* separator = " (";
        for (const AttributeName& attribute : kAttributeNames) {
            if ((*info.fileAttributes & attribute.bit) != 0) {
                line += separator;
                line += attribute.name;
                separator = ", ";
            }
        }
        line += *separator == ',' ? ")" : "";
        lines.End();
    } else {
        lines.None("file attributes");
    }
    lines.Shown("metadata", info.metadata);
    if (const std::optional<ProductInfo>& product = info.productInfo) {
        std::string& line = lines.Line("product");
        line += "id ";
        AppendDecimal(line, product->productId);
        line += ", edition ";
        AppendDecimal(line, product->edition);
        line += ", version " + VersionText(*product) + ", build ";
        AppendUnsignedDecimal(line, product->build);
        line += ", compiled ";
        line += IsoUtcTime(product->compiledAtMs).value_or("after year 9999");
        line += " (";
        AppendUnsignedDecimal(line, product->compiledAtMs);
        line += " ms)";
        lines.End();
    } else {
        lines.None("product");
    }
    if (info.scriptLimits) {
        std::string& line = lines.Line("script limits");
        line += "recursion depth ";
        AppendDecimal(line, info.scriptLimits->maxRecursionDepth);
        line += ", timeout ";
        AppendDecimal(line, info.scriptLimits->scriptTimeoutSeconds);
        line += " s";
        lines.End();
    } else {
        lines.None("script limits");
    }
    if (info.protect) {
        AppendHash(lines.Line("protect"), info.protect->passwordHash);
        lines.End();
    } else {
        lines.None("protect");
    }
    if (info.debugger) {
        std::string& line = lines.Line("debugger");
        line += "tag ";
        AppendDecimal(line, info.debugger->code);
        line += ", ";
        AppendHash(line, info.debugger->passwordHash);
        lines.End();
    } else {
        lines.None("debugger");
    }
}

// A list's heading, then one line per entry, which `append` writes.
template <typename Entry, typename Append>
void AppendListText(TextLines& lines, const char* title, const std::vector<Entry>& entries,
                    const Append& append) {
    lines.ListHeading(title, entries.size());
    for (const Entry& entry : entries) {
        append(lines.Line(), entry);
        lines.End();
    }
}

void AppendAssetName(std::string& line, const AssetName& name) {
    line += "id ";
    AppendDecimal(line, name.id);
    line += ' ';
    AppendShown(line, name.name);
}

void AppendImport(std::string& line, const ImportedAsset& asset) {
    AppendShown(line, asset.url);
    line += " id ";
    AppendDecimal(line, asset.id);
    line += ' ';
    AppendShown(line, asset.name);
}

void AppendFrameLabel(std::string& line, const FrameLabelEntry& label) {
    line += "frame ";
    AppendDecimal(line, label.frame);
    line += " depth ";
    AppendDecimal(line, label.depth);
    line += ' ';
    AppendShown(line, label.name);
}

void AppendAbc(std::string& line, const AbcEntry& abc) {
    line += "tag ";
    AppendDecimal(line, abc.index);
    line += ", ";
    AppendDecimal(line, abc.size);
    line += " bytes";
    if (abc.flags) {
        line += ", flags ";
        AppendDecimal(line, *abc.flags);
    }
    if (abc.name) {
        line += ", name ";
        AppendShown(line, *abc.name);
    }
}

void AppendBinaryData(std::string& line, const BinaryDataEntry& data) {
    line += "tag ";
    AppendDecimal(line, data.index);
    line += ", id ";
    AppendDecimal(line, data.id);
    line += ", ";
    AppendDecimal(line, data.size);
    line += " bytes";
    if (data.signature) {
        line += ", a ";
        line += *data.signature;
        line += " movie";
    }
    if (data.version) {
        line += ", version ";
        AppendDecimal(line, *data.version);
    }
    if (data.declaredLength) {
        line += ", declaring ";
        AppendDecimal(line, *data.declaredLength);
        line += " bytes";
    }
}

void AppendListsText(TextLines& lines, const MovieInfo& info) {
    AppendListText(lines, "Symbols", info.symbols, AppendAssetName);
    AppendListText(lines, "Exports", info.exports, AppendAssetName);
    AppendListText(lines, "Imports", info.imports, AppendImport);
    AppendListText(lines, "Frame labels", info.frameLabels, AppendFrameLabel);
    AppendListText(lines, "ActionScript 3", info.abc, AppendAbc);
    AppendListText(lines, "Binary data", info.binaryData, AppendBinaryData);
    AppendListText(lines, "URLs", info.urls, AppendShown);
    AppendListText(lines, "Files", info.files, AppendShown);
}

template <typename Number>
void AppendNumberList(TextLines& lines, const char* label, const std::vector<Number>& numbers) {
    std::string& line = lines.Line(label);
    if (numbers.empty()) {
        line += "none";
    }
    const char* separator = "";
    for (const Number number : numbers) {
        line += separator;
        AppendDecimal(line, number);
        separator = " ";
    }
    lines.End();
}

}  // namespace

void AppendInfoText(std::string& out, const MovieInfo& info,
                    const std::function<void()>& afterEachLine) {
    TextLines lines(out, afterEachLine);
    AppendSettingsText(lines, info);
    AppendListsText(lines, info);
    const MovieAnomalies& anomalies = info.anomalies;
    lines.Heading("Anomalies");
    AppendDecimal(lines.Line("trailing bytes"), anomalies.trailingBytes);
    lines.End();
    AppendNumberList(lines, "truncated tags", anomalies.truncatedTags);
    AppendNumberList(lines, "unknown codes", anomalies.unknownCodes);
    AppendNumberList(lines, "long headers on short bodies", anomalies.longHeaderShortBody);
    AppendNumberList(lines, "run-on sprites", anomalies.runOnSprites);
}

void WriteInfoJson(JsonWriter& json, const MovieInfo& info,
                   const std::function<void()>& afterEachEntry) {
    json.BeginObject();
    WriteSettings(json, info);
    WriteLists(json, info, afterEachEntry);
    const MovieAnomalies& anomalies = info.anomalies;
    json.Key("anomalies");
    json.BeginObject();
    json.Key("trailingBytes");
    json.Integer(anomalies.trailingBytes);
    const auto number = [&json](std::int64_t value) { json.Integer(value); };
    WriteList(json, "truncatedTags", anomalies.truncatedTags, afterEachEntry, number);
    WriteList(json, "unknownCodes", anomalies.unknownCodes, afterEachEntry, number);
    WriteList(json, "longHeaderShortBody", anomalies.longHeaderShortBody, afterEachEntry, number);
    WriteList(json, "runOnSprites", anomalies.runOnSprites, afterEachEntry, number);
    json.EndObject();
    json.EndObject();
}

void PrintInfo(const MovieInfo& info, const LoadedInput& loaded, bool json) {
    StdoutWriter out;
    const std::function<void()> flush = [&out]() { out.MaybeFlush(); };
    if (json) {
        JsonWriter writer(out.Buffer());
        writer.BeginObject();
        WriteLoadMembers(writer, loaded);
        writer.Key("info");
        WriteInfoJson(writer, info, flush);
        writer.EndObject();
        out.Put("\n");
    } else {
        AppendInfoText(out.Buffer(), info, flush);
    }
}

}  // namespace velpin
