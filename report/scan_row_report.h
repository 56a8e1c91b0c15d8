// A scan row as one JSON object.
#pragma once

#include <string>

#include "report/json_writer.h"
#include "scan/scan_row.h"

namespace velpin {

void WriteScanRow(JsonWriter& json, const ScanRow& row);

// The row as a line of its own at the end of `out`: what a scan's RowWriter is.
void AppendScanRowLine(const ScanRow& row, std::string& out);

}  // namespace velpin
