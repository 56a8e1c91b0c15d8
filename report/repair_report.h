// What repair says it mended: one line for standard error, or one JSON object.
#pragma once

#include <cstdint>
#include <string>

#include "codec/signature.h"
#include "input/movie_faults.h"
#include "swfff/repair.h"

namespace velpin {

// "repair: <the faults>; kept 3 of 4 top-level tags; End added; 49 bytes written, as CWS", and
// what was not mended.
std::string RepairLine(const MovieFaults& faults, const RepairOutcome& outcome, Signature written);

// The envelope, the faults and what was kept and written, as one line on standard output.
void PrintRepairJson(std::int32_t result, const MovieFaults& faults, const RepairOutcome& outcome);

}  // namespace velpin
