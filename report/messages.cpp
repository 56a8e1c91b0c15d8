#include "report/messages.h"

#include <cstdio>

#include "Unit1/presentation/MessageTexts.h"
#include "report/envelope.h"
#include "swfff/document.h"

namespace velpin {

std::string LoadFailureLine(std::int32_t result, Signature compressed, std::int64_t maxSize) {
    std::string line = std::string(kOpenFailedText) + " (load result " + std::to_string(result) +
                       ": " + LoadResultWords(result, maxSize) + ")";
    if (result == loadNotUncompressedSwf && IsCompressed(compressed)) {
        line += "; it is compressed (" + std::string(*SignatureText(compressed)) +
                "): add --inflate to load it in memory";
    }
    return line;
}

std::string InflateFailureLine(std::string_view words) {
    return "Error Inflating file! (" + std::string(words) + ")";
}

std::string CompressFailureLine(std::string_view words) {
    return "Error Compressing file! (" + std::string(words) + ")";
}

std::string RemovalLine(const Deletion& deletion) {
    return "top-level tags removed: " + std::to_string(deletion.topLevelTags) + " (" +
           std::to_string(deletion.topLevelBytes) +
           " bytes); nested tags removed but still written inside their sprites: " +
           std::to_string(deletion.nestedStillWritten);
}

std::string ConversionLine(const ConversionSummary& summary) {
    return summary.fromSignature + " version " + std::to_string(summary.version) + ", " +
           std::to_string(summary.inputBytes) + " bytes -> " + summary.toSignature + " version " +
           std::to_string(summary.version) + ", " + std::to_string(summary.outputBytes) + " bytes";
}

std::string TrailingBytesLeftOutLine(std::size_t count) {
    return BytesAfterTheStream(count) + ", and the movie is written without " +
           (count == 1 ? "it" : "them");
}

std::string ProgressText(std::size_t done, std::size_t total) {
    return "scan: " + std::to_string(done) + " of " + std::to_string(total) + " files";
}

std::string ScanSummaryLine(const ScanTotals& totals, double seconds) {
    const auto counted = [](std::int64_t count, const char* one, const char* many) {
        return std::to_string(count) + " " + (count == 1 ? one : many);
    };
    char time[32];
    std::snprintf(time, sizeof time, "%.3f", seconds);
    return "scan: " + counted(totals.files, "file", "files") + ", " +
           std::to_string(totals.loaded) + " loaded, " +
           std::to_string(totals.rows - totals.loaded) + " failed, " +
           std::to_string(totals.bytes) + " bytes, " +
           counted(totals.containers, "container", "containers") + ", " +
           std::to_string(totals.otherEntries) + " other " +
           (totals.otherEntries == 1 ? "entry" : "entries") + ", " +
           std::to_string(totals.unreadable) + " unreadable, " + time + " seconds";
}

std::string VersionText(const std::string& program, const LibraryVersions& libraries) {
    std::string text = program + "\nbuilt with, and running on:\n";
    for (const LibraryVersion& library : libraries) {
        text += "  " + library.name + " " + library.built;
        if (!library.running.empty()) {
            text += ", running " + library.running;
        }
        text += '\n';
    }
    return text;
}

}  // namespace velpin
