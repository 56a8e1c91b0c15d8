// How the faults of a lenient read are told: as JSON objects, and as sentences for standard
// error and for repair's report.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "input/movie_input.h"
#include "report/json_writer.h"

namespace velpin {

// The faults, in the order found, one sentence each: "declared length 268015, 120000 bytes held".
std::vector<std::string> FaultSentences(const MovieFaults& faults);

// "faults": null for a movie that could not be read at all, else the array of fault objects.
void WriteFaultsJson(JsonWriter& json, const std::optional<MovieFaults>& faults);

// The members an object about one loaded movie begins with: the envelope, and after a lenient
// read the faults.
void WriteLoadMembers(JsonWriter& json, const LoadedInput& loaded);

}  // namespace velpin
