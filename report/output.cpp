#include "report/output.h"

#include <cstdio>

namespace velpin {

namespace {

constexpr std::size_t kFlushBytes = 1 << 20;

}  // namespace

void WriteErrorLine(std::string_view message) {
    WriteNoteLine("velpin-cli: " + std::string(message));
}

std::string FileLine(std::string_view path, std::string_view message) {
    return "velpin-cli: " + std::string(path) + ": " + std::string(message);
}

void WriteErrorLine(std::string_view path, std::string_view message) {
    WriteNoteLine(FileLine(path, message));
}

void WriteNoteLine(std::string_view line) {
    // One write, so that lines of processes sharing the stream do not interleave.
    std::string text(line);
    text.push_back('\n');
    std::fwrite(text.data(), 1, text.size(), stderr);
}

void StdoutWriter::Put(std::string_view text) {
    buffer_.append(text);
    MaybeFlush();
}

void StdoutWriter::MaybeFlush() {
    if (buffer_.size() >= kFlushBytes) {
        Flush();
    }
}

void StdoutWriter::Flush() {
    // A failed write sets the stream's error flag, which the front end checks before it exits.
    std::fwrite(buffer_.data(), 1, buffer_.size(), stdout);
    buffer_.clear();
}

bool StdoutWriter::Failed() const {
    return std::ferror(stdout) != 0;
}

}  // namespace velpin
