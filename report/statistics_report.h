// How the figures of one loaded movie are written: the header's frame members, shared by `tags`
// and scan rows, and a scan row's "movie" object.
#pragma once

#include "analysis/movie_statistics.h"
#include "report/json_writer.h"
#include "swfff/document.h"

namespace velpin {

// The header's frame rectangle, frame rate and frame count, as members of the object open in
// `json`: `tags --json` and `scan` show them alike.
void WriteFrameMembers(JsonWriter& json, const MovieHeader& header);

// The members of a scanned movie's "movie" object, into the object open in `json`.
void WriteMovieStatistics(JsonWriter& json, const MovieStatistics& statistics);

}  // namespace velpin
