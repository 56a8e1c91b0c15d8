#include "report/scan_row_report.h"

#include <cstdio>
#include <ctime>

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

// ISO 8601 to the second: with a Z in UTC, without one for a DOS time, which carries no zone.
std::string StoredTimeText(const StoredTime& time) {
    const std::time_t seconds = time.seconds;
    std::tm fields{};
    gmtime_r(&seconds, &fields);
    // Room for any year an int holds, though UtcTime lets none past 9999 through.
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%s", fields.tm_year + 1900,
                  fields.tm_mon + 1, fields.tm_mday, fields.tm_hour, fields.tm_min, fields.tm_sec,
                  time.utc ? "Z" : "");
    return text;
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

void WriteWarcRecord(JsonWriter& json, const WarcRecordInfo& record) {
    json.BeginObject();
    json.Key("recordId");
    json.StringOrNull(record.recordId);
    json.Key("type");
    json.StringOrNull(record.type);
    json.Key("date");
    json.StringOrNull(record.date);
    json.Key("targetUri");
    json.StringOrNull(record.targetUri);
    json.Key("offset");
    json.IntegerOrNull(record.offset);
    json.Key("length");
    json.IntegerOrNull(record.length);
    json.Key("httpStatus");
    json.IntegerOrNull(record.httpStatus);
    json.Key("contentType");
    json.StringOrNull(record.contentType);
    json.EndObject();
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
    json.Key("modified");
    if (row.provenance.modified) {
        json.String(StoredTimeText(*row.provenance.modified));
    } else {
        json.Null();
    }
    json.Key("warc");
    if (row.provenance.warc) {
        WriteWarcRecord(json, *row.provenance.warc);
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
