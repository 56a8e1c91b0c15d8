// The members every single-movie JSON output opens with, and scan rows carry too, so that one
// `jq` filter reads them all alike: "result", "reason" and "error", always present.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include <string>

#include "input/movie_input.h"
#include "report/json_writer.h"

namespace velpin {

// How getting a movie ended: the load's result, or none when an error stopped it before the load
// gave one (the file cannot be read, a compressed movie cannot be inflated), with that error.
struct MovieOutcome {
    std::optional<std::int32_t> result;
    std::string_view error;
    std::int64_t maxSize = kDefaultMaxSize;  // the limit the load ran under
};

// The words of a load result: LoadResultReason's, except that a movie too large (-1) is said to
// be over the limit in force, `maxSize`, and the option that sets it is named.
std::string LoadResultWords(std::int32_t result, std::int64_t maxSize);

// "result" is the load result; "reason" its words, null for 0; "error" the words of an error
// that left no load result, which is then null, and otherwise null itself.
void WriteOutcomeMembers(JsonWriter& json, const MovieOutcome& outcome);

// Opens a single-movie object with the three members; the caller adds its own and closes it.
void BeginJsonEnvelope(JsonWriter& json, const MovieOutcome& outcome);

// Prints, as one line on standard output, the object a JSON output is replaced by when there is
// no movie to print: the envelope alone, and with `noFaults` a null "faults", as a lenient read
// that could read nothing gives.
void PrintJsonFailure(const MovieOutcome& outcome, bool noFaults = false);

}  // namespace velpin
