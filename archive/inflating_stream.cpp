#include "archive/inflating_stream.h"

#include <algorithm>
#include <iterator>

namespace velpin {

namespace {

constexpr std::size_t kInputBytes = 64 * 1024;
// Asked for a few bytes, the decoder decodes into a buffer of its own as far as its input goes,
// up to 64 KiB. So the first input is small, and grows from there: a look at a signature costs
// little more than the signature, and the thread that reads on decodes the rest.
constexpr std::size_t kFirstInputBytes = 256;
// How much of a member is kept to search again after damage: a record of a compressed WARC.
constexpr std::size_t kKeptMemberBytes = 8u << 20;
constexpr std::uint8_t kGzipMagic[] = {0x1F, 0x8B, 0x08};

// RFC 9110 means a zlib stream by "deflate", but servers long sent raw deflate under that name,
// and browsers take both; a zlib header is recognised by its checksum.
bool StartsZlib(const std::uint8_t* bytes, std::size_t count) {
    return count >= 2 && (bytes[0] & 0x0F) == 8 && ((bytes[0] << 8) | bytes[1]) % 31 == 0;
}

}  // namespace

bool StartsGzip(const std::uint8_t* bytes, std::size_t count) {
    return count >= 2 && bytes[0] == 0x1F && bytes[1] == 0x8B;
}

InflatingStream::InflatingStream(ByteStream& inner, Deflation kind, bool entryLevel, bool resumable)
    : inner_(inner),
      kind_(kind),
      entryLevel_(entryLevel),
      resumable_(resumable && kind == Deflation::Gzip) {}

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
    if (resumable_ && keptWhole_) {
        if (kept_.size() + got <= kKeptMemberBytes) {
            kept_.insert(kept_.end(), input_.begin(),
                         input_.begin() + static_cast<std::ptrdiff_t>(got));
        } else {
            keptWhole_ = false;
            kept_.clear();
        }
    }
    inputTaken_ += got;
    return !innerEnded_;
}

void InflatingStream::MemberBegins() {
    memberStart_ = InputPosition();
    if (!resumable_) {
        return;
    }
    // Only the bytes from the new member on are kept: what the input buffer holds of it.
    if (keptWhole_ && memberStart_ >= keptStart_ && memberStart_ - keptStart_ <= kept_.size()) {
        kept_.erase(kept_.begin(),
                    kept_.begin() + static_cast<std::ptrdiff_t>(memberStart_ - keptStart_));
    } else {
        kept_.assign(inflater_->NextInput(), inflater_->NextInput() + inflater_->InputLeft());
    }
    keptStart_ = memberStart_;
    keptWhole_ = true;
}

bool InflatingStream::OnlyZerosFollow() {
    do {
        const std::uint8_t* const next = inflater_->NextInput();
        if (std::any_of(next, next + inflater_->InputLeft(),
                        [](std::uint8_t b) { return b != 0; })) {
            return false;
        }
    } while (FillInput());
    return true;
}

bool InflatingStream::SkipToNextMember() {
    if (!inflater_ || kind_ != Deflation::Gzip) {
        return false;
    }
    // The search runs over `input_`, the bytes from `at` on, `left` of them.
    std::size_t at = static_cast<std::size_t>(inflater_->NextInput() - input_.data());
    std::size_t left = inflater_->InputLeft();
    if (resumable_ && keptWhole_ && keptStart_ == memberStart_ && !kept_.empty()) {
        // The member's own bytes are searched again, past its first; they run on to the last
        // byte taken, so the search goes on after them where it left off.
        const auto found = std::search(kept_.begin() + 1, kept_.end(), std::begin(kGzipMagic),
                                       std::end(kGzipMagic));
        const auto from = found != kept_.end()
                              ? found
                              : kept_.end() - static_cast<std::ptrdiff_t>(std::min<std::size_t>(
                                                  kept_.size() - 1, sizeof kGzipMagic - 1));
        input_.assign(from, kept_.end());
        left = input_.size();
        at = 0;
        input_.resize(std::max(left, kInputBytes));
    } else if (InputPosition() == memberStart_ && left > 0) {
        ++at;  // the damaged member's own signature
        --left;
    }
    for (;;) {
        if (left < sizeof kGzipMagic) {
            // Keeps the bytes that may begin a signature cut by the end of the buffer.
            std::copy(input_.begin() + static_cast<std::ptrdiff_t>(at),
                      input_.begin() + static_cast<std::ptrdiff_t>(at + left), input_.begin());
            input_.resize(std::max(input_.size(), kInputBytes));
            const std::size_t got = inner_.Read(input_.data() + left, input_.size() - left);
            inputTaken_ += got;
            at = 0;
            left += got;
            if (got == 0) {
                ended_ = true;
                return false;
            }
            continue;
        }
        const std::uint8_t* const begin = input_.data() + at;
        const std::uint8_t* const end = begin + left;
        const std::uint8_t* const found =
            std::search(begin, end, std::begin(kGzipMagic), std::end(kGzipMagic));
        if (found != end) {
            inflater_->Restart();
            inflater_->SetInput(found, static_cast<std::size_t>(end - found));
            memberEnded_ = false;
            ended_ = false;
            innerEnded_ = false;
            corrupt_.clear();
            keptWhole_ = false;  // what is kept so far is of the damaged member
            MemberBegins();
            return true;
        }
        at += left - (sizeof kGzipMagic - 1);
        left = sizeof kGzipMagic - 1;
    }
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
        // A zlib header is told by its first two bytes, which a stream may hand over one at a
        // time (a chunked payload whose first chunk is one byte long).
        if (inflater_->InputLeft() == 1 && !innerEnded_) {
            innerEnded_ = ReadFully(inner_, input_.data() + 1, 1) == 0;
            inflater_->SetInput(input_.data(), innerEnded_ ? 1 : 2);
        }
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
                // Zero padding after the last member is ignored, as gzip itself does.
                if (OnlyZerosFollow()) {
                    ended_ = true;
                    return 0;
                }
                Fail("the gzip data is followed by bytes that are not gzip");
            }
            inflater_->Restart();
            MemberBegins();
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
                if (memberEndWatch_) {
                    memberEndWatch_(memberStart_, InputPosition());
                }
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

}  // namespace velpin
