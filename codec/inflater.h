// The deflate decoders for every place Velpin inflates: CWS movies, gzip members of WARC files and
// HTTP payloads, and deflated zip entries. ISA-L's igzip decodes streams, as a WARC member or a
// large zip entry needs, almost twice as fast as zlib; libdeflate decodes a whole stream held in
// memory into a buffer of the size it should fill, a quarter faster again, which is what a
// compressed movie is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

struct inflate_state;

namespace velpin {

enum class DeflateWrapper {
    Raw,   // bare deflate blocks: zip entries, and HTTP "deflate" from servers that send that
    Zlib,  // CWS movies, and HTTP "deflate" as RFC 9110 means it
    Gzip,  // one gzip member at a time
};

// Streams up to this size are decoded whole where their size is known, into a buffer of that size.
inline constexpr std::uint64_t kMaxWholeInflateBytes = 16u << 20;

// Decodes the zlib stream (or bare deflate blocks) that `in` starts with into `out`, whose
// `outBytes` the stream should fill exactly. Returns whether it did, and then how much of `in`
// the stream took; a stream that does not fit, is corrupt or cut off is told apart, in words,
// only by the streaming decoder.
bool InflateWhole(DeflateWrapper wrapper, const std::uint8_t* in, std::size_t inBytes,
                  std::uint8_t* out, std::size_t outBytes, std::size_t& inUsed);

// The first `outBytes` bytes that the bare deflate blocks `in` stand for: a look at an entry's
// signature, which costs less to start than the streaming decoder, whose state is large and
// zeroed. Returns whether it got that many; when not, the streaming decoder tells why.
bool InflateHead(const std::uint8_t* in, std::size_t inBytes, std::uint8_t* out,
                 std::size_t outBytes);

class Inflater {
  public:
    explicit Inflater(DeflateWrapper wrapper);
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;
    ~Inflater();

    // The compressed bytes to decode next; they must stay put until they are used up.
    void SetInput(const std::uint8_t* bytes, std::size_t count);
    std::size_t InputLeft() const;
    const std::uint8_t* NextInput() const;

    struct Step {
        std::size_t produced = 0;  // bytes written to the buffer
        bool ended = false;        // the stream ended here and its checksum matched
        // Why the data cannot be decoded, in the words users know from zlib; empty when it can.
        std::string corrupt;
    };
    // Decodes into `buffer` as far as the input and the room allow. After the end, the input not
    // used is what follows the stream.
    Step Decode(std::uint8_t* buffer, std::size_t count);

    // Starts the next stream of the same kind with the input left over: the next gzip member.
    void Restart();

  private:
    DeflateWrapper wrapper_;
    std::unique_ptr<inflate_state> state_;
};

}  // namespace velpin
