// Scan's totals as one JSON object, for a program to read instead of the summary line.
#pragma once

#include <string>

#include "scan/scan_runner.h"

namespace velpin {

// {"scanner": "velpin-cli 1.0.0", "files": 40, "rows": 41, "loaded": 38, "failed": 3, ...},
// with its newline; `scanner` names the program and its version.
std::string ScanSummaryJson(const ScanTotals& totals, double seconds, const std::string& scanner);

}  // namespace velpin
