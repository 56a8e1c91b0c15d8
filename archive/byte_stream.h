// Byte streams that containers are read through: a container is never held whole, and no part
// of one is ever written to disk. Each stream holds at most a fixed buffer of its own, so what a
// walk costs in memory does not depend on what a container declares.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "base/error.h"
#include "swfff/fileio.h"

namespace velpin {

// The container cannot be read on: it is cut off or malformed beyond the entry being read.
inline Error ContainerError(const std::string& words) {
    return Error::Content(ErrorSubject::Container, words);
}

// One entry's bytes cannot be read (a damaged payload, an encrypted member); the container
// around it can still be read on.
inline Error EntryError(const std::string& words) {
    return Error::Content(ErrorSubject::Entry, words);
}

inline bool IsEntryError(const Error& error) {
    return error.Subject() == ErrorSubject::Entry;
}

class ByteStream {
  public:
    virtual ~ByteStream() = default;
    // Delivers up to `count` bytes, and 0 only once the stream has ended. Raises a container's or
    // an entry's Error, and EInOutError for a file.
    virtual std::size_t Read(std::uint8_t* buffer, std::size_t count) = 0;
};

// Reads until `count` bytes arrived or the stream ended; returns how many arrived.
std::size_t ReadFully(ByteStream& in, std::uint8_t* buffer, std::size_t count);
// Reads the rest of the stream and drops it.
void Drain(ByteStream& in);

// The bytes of a block held in memory (tests, the fuzzer, a head already read).
class MemoryStream : public ByteStream {
  public:
    MemoryStream(const std::uint8_t* bytes, std::size_t count) : at_(bytes), end_(bytes + count) {}
    std::size_t Read(std::uint8_t* buffer, std::size_t count) override;

  private:
    const std::uint8_t* at_;
    const std::uint8_t* end_;
};

// The stream of an entry that could not be opened: reading it raises an entry Error with why.
class FailedStream : public ByteStream {
  public:
    explicit FailedStream(std::string message) : message_(std::move(message)) {}
    std::size_t Read(std::uint8_t*, std::size_t) override { throw EntryError(message_); }

  private:
    std::string message_;
};

// A file read from its start; failures raise EInOutError as the movie loader's would.
class FileStream : public ByteStream {
  public:
    explicit FileStream(const std::string& path);
    std::size_t Read(std::uint8_t* buffer, std::size_t count) override;
    std::int64_t Size() { return file_.Size(); }

  private:
    InputFile file_;
    std::string path_;
};

// The first bytes of a stream, read ahead so that the stream can be recognised by them, and then
// delivered again ahead of the rest. An entry error met while reading ahead is kept and raised
// when the reader gets that far, so a look never loses the bytes before the damage.
class PeekedStream : public ByteStream {
  public:
    PeekedStream(ByteStream& inner, std::size_t peekBytes);
    const std::vector<std::uint8_t>& Head() const { return head_; }
    bool HeadFailed() const { return static_cast<bool>(headError_); }
    std::size_t Read(std::uint8_t* buffer, std::size_t count) override;

  private:
    ByteStream& inner_;
    std::vector<std::uint8_t> head_;
    std::size_t served_ = 0;
    std::exception_ptr headError_;
    bool headComplete_ = false;
};

// One stream's bytes, then another's.
class ChainedStream : public ByteStream {
  public:
    ChainedStream(ByteStream& first, ByteStream& second) : first_(first), second_(second) {}
    std::size_t Read(std::uint8_t* buffer, std::size_t count) override;

  private:
    ByteStream& first_;
    ByteStream& second_;
    bool firstEnded_ = false;
};

// At most `limit` bytes of `inner`: a record's block. Ending early is a cut container.
class BoundedStream : public ByteStream {
  public:
    BoundedStream(ByteStream& inner, std::uint64_t limit) : inner_(inner), left_(limit) {}
    std::size_t Read(std::uint8_t* buffer, std::size_t count) override;

  private:
    ByteStream& inner_;
    std::uint64_t left_;
};

// Reads lines and bytes from a stream through one buffer: the reader of record and HTTP headers.
class LineReader : public ByteStream {
  public:
    explicit LineReader(ByteStream& inner) : inner_(inner), buffer_(kBufferBytes) {}
    // One line without its CR LF (or bare LF). Returns false at the end of the stream before any
    // byte of a line. A line longer than `maxBytes` raises `tooLong` as the error kind asks.
    bool ReadLine(std::string& line, std::size_t maxBytes, bool entryLevel);
    // The same for a line of any length, of which only the first `keep` bytes are kept (and a CR
    // among them dropped when it ends the line), and in `tail` its last `keep` bytes with its
    // line end.
    bool ReadLineStart(std::string& line, std::size_t keep, std::string& tail);
    std::size_t Read(std::uint8_t* buffer, std::size_t count) override;
    // How many bytes of the inner stream have been taken, as lines or as bytes.
    std::uint64_t Position() const { return delivered_ - (end_ - at_); }
    // Drops what is buffered: the inner stream has moved on (to the next gzip member).
    void Discard();

  private:
    static constexpr std::size_t kBufferBytes = 64 * 1024;
    bool Fill();
    ByteStream& inner_;
    std::vector<std::uint8_t> buffer_;
    std::size_t at_ = 0;
    std::size_t end_ = 0;
    std::uint64_t delivered_ = 0;
};

// Raises an entry Error when `entryLevel`, else a container's.
[[noreturn]] void RaiseStreamError(bool entryLevel, const std::string& message);

}  // namespace velpin
