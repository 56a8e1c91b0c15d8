#include "report/scan_summary_report.h"

#include <cmath>

#include "report/json_writer.h"

namespace velpin {

std::string ScanSummaryJson(const ScanTotals& totals, double seconds, const std::string& scanner) {
    std::string text;
    JsonWriter json(text);
    json.BeginObject();
    json.Key("scanner");
    json.String(scanner);
    json.Key("files");
    json.Integer(totals.files);
    json.Key("rows");
    json.Integer(totals.rows);
    json.Key("loaded");
    json.Integer(totals.loaded);
    json.Key("failed");
    json.Integer(totals.rows - totals.loaded);
    json.Key("bytes");
    json.Integer(totals.bytes);
    json.Key("containers");
    json.Integer(totals.containers);
    json.Key("otherEntries");
    json.Integer(totals.otherEntries);
    json.Key("unreadable");
    json.Integer(totals.unreadable);
    // Whole milliseconds: the writer has no fractions, and a reader wants no rounding rules.
    json.Key("milliseconds");
    json.Integer(static_cast<std::int64_t>(std::llround(seconds * 1000)));
    json.EndObject();
    text += '\n';
    return text;
}

}  // namespace velpin
