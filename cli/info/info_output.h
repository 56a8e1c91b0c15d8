// The two forms of a movie's info: the JSON object that `info --json` and `scan --info` print,
// and the plain sections `info` prints for a person.
#pragma once

#include <functional>
#include <string>

#include "cli/info/movie_info.h"
#include "cli/json/json_writer.h"

// Writes `info` as one JSON object, as the next value of `writer`. `afterEachEntry`, when given,
// runs after every entry of a list, so that a caller printing a movie of a hundred thousand
// references can flush the writer's string as it grows.
void WriteInfoJson(JsonWriter& writer, const MovieInfo& info,
                   const std::function<void()>& afterEachEntry = nullptr);

// Appends `info` as sections of lines: a heading, then one indented line per fact or entry.
// `afterEachLine`, when given, runs after every indented line, for the same reason.
void AppendInfoText(std::string& out, const MovieInfo& info,
                    const std::function<void()>& afterEachLine = nullptr);
