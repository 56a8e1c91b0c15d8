#include "report/scan_row_report.h"

#include "report/envelope.h"
#include "report/faults.h"
#include "report/info_report.h"
#include "report/statistics_report.h"

namespace velpin {

namespace {

void WriteStrings(JsonWriter& json, const std::vector<std::string>& strings) {
    json.BeginArray();
    for (const std::string& text : strings) {
        json.String(text);
    }
    json.EndArray();
}

void WriteDependencies(JsonWriter& json, const std::vector<Dependency>& list) {
    json.BeginArray();
    for (const Dependency& dependency : list) {
        json.BeginObject();
        json.Key("reference");
        json.String(dependency.reference);
        json.Key("target");
        json.String(dependency.target);
        json.EndObject();
    }
    json.EndArray();
}

}  // namespace

void WriteScanRow(JsonWriter& json, const ScanRow& row) {
    json.BeginObject();
    json.Key("path");
    json.String(row.path);
    json.Key("entry");
    if (row.entry) {
        WriteStrings(json, *row.entry);
    } else {
        json.Null();
    }
    json.Key("embedded");
    if (!row.embedded.empty()) {
        json.BeginArray();
        for (const std::int64_t index : row.embedded) {
            json.Integer(index);
        }
        json.EndArray();
    } else {
        json.Null();
    }
    json.Key("size");
    json.IntegerOrNull(row.head.size);
    if (row.hashes) {
        json.Key("hashes");
        if (*row.hashes) {
            json.BeginObject();
            for (const auto& [algorithm, hex] : **row.hashes) {
                json.Key(HashName(algorithm));
                json.String(hex);
            }
            json.EndObject();
        } else {
            json.Null();
        }
    }
    json.Key("signature");
    json.StringOrNull(SignatureText(row.head.signature));
    json.Key("version");
    json.IntegerOrNull(row.head.version);
    json.Key("declaredLength");
    json.IntegerOrNull(row.head.declaredLength);
    WriteOutcomeMembers(json, {row.result, row.error, row.maxSize});
    if (row.lenient) {
        WriteFaultsJson(json, row.faults);
    }
    json.Key("movie");
    if (row.movie) {
        json.BeginObject();
        WriteMovieStatistics(json, *row.movie);
        if (row.info) {
            json.Key("info");
            WriteInfoJson(json, *row.info);
        }
        json.EndObject();
    } else {
        json.Null();
    }
    if (row.dependencies) {
        json.Key("dependencies");
        if (*row.dependencies) {
            json.BeginObject();
            json.Key("present");
            WriteDependencies(json, (*row.dependencies)->present);
            json.Key("missing");
            WriteDependencies(json, (*row.dependencies)->missing);
            json.Key("external");
            WriteDependencies(json, (*row.dependencies)->external);
            json.EndObject();
        } else {
            json.Null();
        }
    }
    if (row.exported) {
        json.Key("export");
        if (*row.exported) {
            json.BeginObject();
            json.Key("folder");
            json.String((*row.exported)->folder);
            json.Key("files");
            json.Integer((*row.exported)->files);
            json.Key("errors");
            json.Integer((*row.exported)->errors);
            json.Key("error");
            json.StringOrNull(row.exportError.empty()
                                  ? std::nullopt
                                  : std::optional<std::string_view>(row.exportError));
            json.EndObject();
        } else {
            json.Null();
        }
    }
    json.EndObject();
}

void AppendScanRowLine(const ScanRow& row, std::string& out) {
    JsonWriter json(out);
    WriteScanRow(json, row);
    out.push_back('\n');
}

}  // namespace velpin
