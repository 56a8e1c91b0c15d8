// The two forms of a movie's info: the JSON object that `info --json` and `scan --info` print,
// and the plain sections `info` prints for a person.
#pragma once

#include <string>

#include "cli/info/movie_info.h"
#include "cli/json/json_writer.h"

// Writes `info` as one JSON object, as the next value of `writer`.
void WriteInfoJson(JsonWriter& writer, const MovieInfo& info);

// Appends `info` as sections of lines: a heading, then one indented line per fact or entry.
void AppendInfoText(std::string& out, const MovieInfo& info);
