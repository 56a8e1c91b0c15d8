// The bytes a zlib-family encoding stands for, decoded as they are read: gzip (one member after
// another, as a WARC compressed record by record is), a zlib stream, or raw deflate.
#pragma once

#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "archive/byte_stream.h"
#include "codec/inflater.h"

namespace velpin {

enum class Deflation {
    Gzip,       // gzip members back to back
    ZlibOrRaw,  // HTTP's "deflate": a zlib stream, or raw deflate from servers that send that
    Raw,        // a zip entry's deflate blocks
};

class InflatingStream : public ByteStream {
  public:
    // Damage raises an entry Error when `entryLevel` (a payload), a container's otherwise. With
    // `resumable`, the bytes of each gzip member are kept, up to a limit, for SkipToNextMember.
    InflatingStream(ByteStream& inner, Deflation kind, bool entryLevel, bool resumable = false);
    InflatingStream(const InflatingStream&) = delete;
    InflatingStream& operator=(const InflatingStream&) = delete;
    std::size_t Read(std::uint8_t* buffer, std::size_t count) override;

    // Where in the compressed stream the gzip member began that the last bytes read came from.
    // One Read never delivers bytes of two members.
    std::uint64_t MemberStart() const { return memberStart_; }
    // After damage: goes on with the next gzip member that starts after the one being read began,
    // if there is one. A member cut short is followed by the next one's bytes, which the inflater
    // has taken as its own: they are searched again when the member was kept whole.
    bool SkipToNextMember();
    // Called with where each gzip member began and ended in the compressed stream, as it ends.
    using MemberEndWatch = std::function<void(std::uint64_t start, std::uint64_t end)>;
    void WatchMemberEnds(MemberEndWatch ended) { memberEndWatch_ = std::move(ended); }

  private:
    bool OnlyZerosFollow();
    void MemberBegins();
    std::uint64_t InputPosition() const { return inputTaken_ - inflater_->InputLeft(); }
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
    std::uint64_t inputTaken_ = 0;
    std::uint64_t memberStart_ = 0;
    MemberEndWatch memberEndWatch_;
    // The bytes taken since the member began, when `resumable`, while there are not too many.
    bool resumable_;
    bool keptWhole_ = true;
    std::vector<std::uint8_t> kept_;
    std::uint64_t keptStart_ = 0;  // the position of kept_[0]
};

// Whether `bytes` start a gzip member.
bool StartsGzip(const std::uint8_t* bytes, std::size_t count);

}  // namespace velpin
