#include "cli/archive/inflating_stream.h"

#include <algorithm>

namespace {

constexpr std::size_t kInputBytes = 64 * 1024;
// Asked for a few bytes, the decoder decodes into a buffer of its own as far as its input goes,
// up to 64 KiB. So the first input is small, and grows from there: a look at a signature costs
// little more than the signature, and the thread that reads on decodes the rest.
constexpr std::size_t kFirstInputBytes = 256;

// RFC 9110 means a zlib stream by "deflate", but servers long sent raw deflate under that name,
// and browsers take both; a zlib header is recognised by its checksum.
bool StartsZlib(const std::uint8_t* bytes, std::size_t count) {
    return count >= 2 && (bytes[0] & 0x0F) == 8 && ((bytes[0] << 8) | bytes[1]) % 31 == 0;
}

}  // namespace

bool StartsGzip(const std::uint8_t* bytes, std::size_t count) {
    return count >= 2 && bytes[0] == 0x1F && bytes[1] == 0x8B;
}

InflatingStream::InflatingStream(ByteStream& inner, Deflation kind, bool entryLevel)
    : inner_(inner), kind_(kind), entryLevel_(entryLevel) {}

void InflatingStream::Fail(const std::string& why) const {
    RaiseStreamError(entryLevel_, why);
}

bool InflatingStream::FillInput() {
    if (innerEnded_) {
        return false;
    }
    const std::size_t ask =
        input_.empty() ? kFirstInputBytes : std::min(2 * input_.size(), kInputBytes);
    input_.resize(ask);
    const std::size_t got = inner_.Read(input_.data(), input_.size());
    innerEnded_ = got == 0;
    inflater_->SetInput(input_.data(), got);
    return !innerEnded_;
}

std::size_t InflatingStream::Read(std::uint8_t* buffer, std::size_t count) {
    if (!corrupt_.empty()) {
        Fail(corrupt_);
    }
    if (ended_ || count == 0) {
        return 0;
    }
    if (!inflater_) {
        inflater_.emplace(kind_ == Deflation::Gzip ? DeflateWrapper::Gzip : DeflateWrapper::Raw);
        FillInput();
        const std::uint8_t* const start = inflater_->NextInput();
        const std::size_t startBytes = inflater_->InputLeft();
        if (kind_ == Deflation::ZlibOrRaw && StartsZlib(start, startBytes)) {
            inflater_.emplace(DeflateWrapper::Zlib);
            inflater_->SetInput(start, startBytes);
        }
    }
    for (;;) {
        if (memberEnded_) {
            // Another gzip member may follow; anything else after the last member ends the data.
            if (inflater_->InputLeft() == 0 && !FillInput()) {
                ended_ = true;
                return 0;
            }
            if (*inflater_->NextInput() != 0x1F) {
                Fail("the gzip data is followed by bytes that are not gzip");
            }
            inflater_->Restart();
            memberEnded_ = false;
        }
        if (inflater_->InputLeft() == 0) {
            FillInput();
        }
        const Inflater::Step step = inflater_->Decode(buffer, count);
        if (!step.corrupt.empty()) {
            // The bytes before the damage are delivered first: the decoder reads far ahead, and
            // a bad checksum at a member's end would otherwise take all of the member with it.
            corrupt_ = "the compressed data is corrupt: " + step.corrupt;
            if (step.produced > 0) {
                return step.produced;
            }
            Fail(corrupt_);
        }
        if (step.ended) {
            if (kind_ == Deflation::Gzip) {
                memberEnded_ = true;
            } else {
                ended_ = true;
            }
        }
        if (step.produced > 0) {
            return step.produced;
        }
        if (ended_) {
            return 0;
        }
        // The decoder holds back no output while it has room and input, so a step that gives
        // nothing and does not end the stream is one that ran out of input for good.
        if (!memberEnded_ && (innerEnded_ || inflater_->InputLeft() > 0)) {
            Fail("the compressed data is cut off");
        }
    }
}
