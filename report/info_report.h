// The two forms of a movie's info: the JSON object that `info --json` and `scan --info` print,
// and the plain sections `info` prints for a person.
#pragma once

#include <functional>
#include <string>

#include "analysis/movie_info.h"
#include "input/movie_input.h"
#include "report/json_writer.h"

namespace velpin {

// Writes `info` as one JSON object, as the next value of `writer`. `afterEachEntry`, when given,
// runs after every entry of a list, so that a caller printing a movie of a hundred thousand
// references can flush the writer's string as it grows.
void WriteInfoJson(JsonWriter& writer, const MovieInfo& info,
                   const std::function<void()>& afterEachEntry = nullptr);

// Appends `info` as sections of lines: a heading, then one indented line per fact or entry.
// `afterEachLine`, when given, runs after every indented line, for the same reason.
void AppendInfoText(std::string& out, const MovieInfo& info,
                    const std::function<void()>& afterEachLine = nullptr);

// `info`: with `json`, the envelope (after a lenient read, the faults) and "info" as one object;
// otherwise the plain sections.
void PrintInfo(const MovieInfo& info, const LoadedInput& loaded, bool json);

}  // namespace velpin
