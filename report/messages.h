// The plain lines the commands print about what happened, beside their outputs.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/library_version.h"
#include "codec/signature.h"
#include "codec/swfcodec.h"
#include "input/movie_edit.h"
#include "scan/scan_runner.h"

namespace velpin {

// "Error Opening file! (load result -5: ...)", with a hint that names --inflate after it when the
// movie refused with -5 is `compressed` (CWS or ZWS); a -1 names `maxSize`, the limit in force.
std::string LoadFailureLine(std::int32_t result, Signature compressed, std::int64_t maxSize);

// A compressed movie that could not be inflated, or a movie that could not be compressed, with
// the codec's words.
std::string InflateFailureLine(std::string_view words);
std::string CompressFailureLine(std::string_view words);

// What save's deletions by code took out: "top-level tags removed: 2 (40 bytes); nested tags
// removed but still written inside their sprites: 1".
std::string RemovalLine(const Deletion& deletion);

// inflate -v's summary: "CWS version 10, 512 bytes -> FWS version 10, 1024 bytes".
std::string ConversionLine(const ConversionSummary& summary);

// What inflate says of `count` bytes after a whole compressed stream, which it leaves out.
std::string TrailingBytesLeftOutLine(std::size_t count);

// Scan's progress line, without the carriage return that rewrites it: "scan: 12 of 40 files".
std::string ProgressText(std::size_t done, std::size_t total);

// Scan's summary: "scan: 40 files, 38 loaded, 2 failed, ... 1.250 seconds".
std::string ScanSummaryLine(const ScanTotals& totals, double seconds);

// What --version prints: the program and its version, then each library with the version it was
// built with and the one it runs on, a line each.
std::string VersionText(const std::string& program, const LibraryVersions& libraries);

}  // namespace velpin
