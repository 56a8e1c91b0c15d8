// The safe output file: the create/write side of the platform layer. Whatever goes wrong while a
// file is written, the file the user is saving over keeps its old bytes.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// One output file at a time, reusable after Commit or Abort.
//
// Create(path) picks how the bytes reach `path`:
//   - A regular file, existing or new: the bytes go to a fresh temporary file in the target's own
//     folder, and only Commit puts it in place (flushed to disk, then renamed over the target).
//     The target is not touched before that. An existing target's permission bits (and, where
//     the system allows, its owner and group) carry over; a new file gets 0666 less the umask.
//   - A symbolic link: the file the link leads to is the target (also when that file does not
//     exist yet); the link itself stays as it is.
//   - An existing file that is not a regular file (a character device, a FIFO): written in place,
//     never renamed over. A FIFO without a reader is refused instead of blocking.
// Create raises EInOutError with the codes of IoErrorCodeFor: an empty path or a missing folder
// gives 3 "Invalid filename"; a read-only target, a folder that cannot take the temporary file
// or a directory as the target gives 5 "File access denied".
//
// Write collects the bytes in a buffer of kBufferBytes and hands them to the system whenever it
// fills, so that a movie of two million small tags costs a few dozen system calls instead of two
// million; a block at least as large as the buffer goes straight through. Flush hands over what
// is buffered. Write and Flush return false on any failure, a short write included; the output
// is then already abandoned, as by Abort, and no later Commit can put it in place. A caller that
// reports a failed write differently from a failed commit flushes before it commits.
//
// Commit hands over what is still buffered, flushes the file to disk, closes it and renames it
// into place; it raises EInOutError when any of that fails (or when nothing is open), after
// removing the temporary file, so the target keeps its old bytes. The file counts as closed
// afterwards either way.
//
// Abort closes the file and removes the temporary file; it never raises. The destructor aborts a
// file that was not committed.
class OutputFile {
  public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();

    static constexpr std::size_t kBufferBytes = 256 * 1024;

    void Create(const std::string& path);
    bool Write(const void* data, std::size_t count);
    bool Flush();
    void Commit();
    void Abort() noexcept;
    bool IsOpen() const { return fd_ >= 0; }

  private:
    bool WriteThrough(const void* data, std::size_t count);

    int fd_ = -1;
    int lastError_ = 0;                  // the errno of the write that abandoned the output
    std::vector<unsigned char> buffer_;  // bytes written but not yet handed to the system
    std::string target_;    // the file that receives the bytes, symbolic links followed
    std::string tempPath_;  // empty when the target is written in place
};
