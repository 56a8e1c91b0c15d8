// Where every output goes: standard output through one large buffer, and standard error one line
// at a time, each line naming the program.
#pragma once

#include <string>
#include <string_view>

namespace velpin {

// An error as one line on standard error that names the program and, for an error about a file,
// the file: "velpin-cli: games/a.swf: File not found.", so that a shell loop over many files can
// tell which one failed.
void WriteErrorLine(std::string_view message);
void WriteErrorLine(std::string_view path, std::string_view message);
// Such a line about a file, without its newline, for a line that goes elsewhere.
std::string FileLine(std::string_view path, std::string_view message);

// A line on standard error that is not an error, such as a summary.
void WriteNoteLine(std::string_view line);

// Standard output through one large buffer: a tree of two million lines must not cost two
// million writes.
class StdoutWriter {
  public:
    StdoutWriter() = default;
    StdoutWriter(const StdoutWriter&) = delete;
    StdoutWriter& operator=(const StdoutWriter&) = delete;
    ~StdoutWriter() { Flush(); }

    // Append here, then call MaybeFlush() now and then.
    std::string& Buffer() { return buffer_; }
    void Put(std::string_view text);
    // Writes out the buffer once it has grown large.
    void MaybeFlush();
    void Flush();
    // Whether a write to standard output failed: whatever follows is lost with it.
    bool Failed() const;

  private:
    std::string buffer_;
};

}  // namespace velpin
