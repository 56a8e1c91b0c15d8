// The bytes a zlib-family encoding stands for, decoded as they are read: gzip (one member after
// another, as a WARC compressed record by record is), a zlib stream, or raw deflate.
#pragma once

#include <optional>
#include <vector>

#include "cli/archive/byte_stream.h"
#include "cli/codec/inflater.h"

enum class Deflation {
    Gzip,       // gzip members back to back
    ZlibOrRaw,  // HTTP's "deflate": a zlib stream, or raw deflate from servers that send that
    Raw,        // a zip entry's deflate blocks
};

class InflatingStream : public ByteStream {
  public:
    // Damage raises EEntryError when `entryLevel` (a payload), EContainerError otherwise.
    InflatingStream(ByteStream& inner, Deflation kind, bool entryLevel);
    InflatingStream(const InflatingStream&) = delete;
    InflatingStream& operator=(const InflatingStream&) = delete;
    std::size_t Read(std::uint8_t* buffer, std::size_t count) override;

  private:
    // Returns false once the inner stream has ended.
    bool FillInput();
    [[noreturn]] void Fail(const std::string& why) const;

    ByteStream& inner_;
    Deflation kind_;
    bool entryLevel_;
    std::optional<Inflater> inflater_;
    bool innerEnded_ = false;
    bool ended_ = false;
    bool memberEnded_ = false;
    std::string corrupt_;  // raised by the next read, once the bytes before it are delivered
    std::vector<std::uint8_t> input_;
};

// Whether `bytes` start a gzip member.
bool StartsGzip(const std::uint8_t* bytes, std::size_t count);
