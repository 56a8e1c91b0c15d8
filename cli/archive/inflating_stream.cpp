#include "cli/archive/inflating_stream.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <new>

namespace {

constexpr std::size_t kInputBytes = 64 * 1024;
constexpr int kGzipWindowBits = 16 + MAX_WBITS;
// How much of a member is kept to search again after damage: a record of a compressed WARC.
constexpr std::size_t kKeptMemberBytes = 8u << 20;

}  // namespace

bool StartsGzip(const std::uint8_t* bytes, std::size_t count) {
    return count >= 2 && bytes[0] == 0x1F && bytes[1] == 0x8B;
}

InflatingStream::InflatingStream(ByteStream& inner, Deflation kind, bool entryLevel, bool resumable)
    : inner_(inner),
      kind_(kind),
      entryLevel_(entryLevel),
      input_(kInputBytes),
      resumable_(resumable && kind == Deflation::Gzip) {}

InflatingStream::~InflatingStream() {
    if (started_) {
        inflateEnd(&z_);
    }
}

void InflatingStream::Fail(const std::string& why) const {
    RaiseStreamError(entryLevel_, why);
}

void InflatingStream::Start(int windowBits) {
    const int rc = inflateInit2(&z_, windowBits);
    if (rc == Z_MEM_ERROR) {
        throw std::bad_alloc();
    }
    if (rc != Z_OK) {
        Fail("zlib could not start: error " + std::to_string(rc));
    }
    started_ = true;
}

bool InflatingStream::FillInput() {
    const std::size_t got = inner_.Read(input_.data(), input_.size());
    z_.next_in = input_.data();
    z_.avail_in = static_cast<uInt>(got);
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
    return got > 0;
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
        kept_.assign(z_.next_in, z_.next_in + z_.avail_in);
    }
    keptStart_ = memberStart_;
    keptWhole_ = true;
}

bool InflatingStream::OnlyZerosFollow() {
    do {
        if (std::any_of(z_.next_in, z_.next_in + z_.avail_in, [](Bytef b) { return b != 0; })) {
            return false;
        }
        z_.avail_in = 0;
    } while (FillInput());
    return true;
}

bool InflatingStream::SkipToNextMember() {
    if (!started_ || kind_ != Deflation::Gzip) {
        return false;
    }
    static constexpr Bytef kMagic[] = {0x1F, 0x8B, 0x08};
    if (resumable_ && keptWhole_ && keptStart_ == memberStart_ && !kept_.empty()) {
        // The member's own bytes are searched again, past its first; they run on to the last
        // byte taken, so the search goes on after them where it left off.
        const auto found =
            std::search(kept_.begin() + 1, kept_.end(), std::begin(kMagic), std::end(kMagic));
        const auto from = found != kept_.end()
                              ? found
                              : kept_.end() - static_cast<std::ptrdiff_t>(std::min<std::size_t>(
                                                  kept_.size() - 1, sizeof kMagic - 1));
        input_.assign(from, kept_.end());
        const std::size_t count = input_.size();
        input_.resize(std::max(count, kInputBytes));
        z_.next_in = input_.data();
        z_.avail_in = static_cast<uInt>(count);
    } else if (InputPosition() == memberStart_ && z_.avail_in > 0) {
        ++z_.next_in;  // the damaged member's own signature
        --z_.avail_in;
    }
    for (;;) {
        if (z_.avail_in < sizeof kMagic) {
            // Keeps the bytes that may begin a signature cut by the end of the buffer.
            std::memmove(input_.data(), z_.next_in, z_.avail_in);
            const std::size_t kept = z_.avail_in;
            const std::size_t got = inner_.Read(input_.data() + kept, input_.size() - kept);
            inputTaken_ += got;
            z_.next_in = input_.data();
            z_.avail_in = static_cast<uInt>(kept + got);
            if (got == 0) {
                ended_ = true;
                return false;
            }
            continue;
        }
        Bytef* const end = z_.next_in + z_.avail_in;
        Bytef* const found = std::search(z_.next_in, end, std::begin(kMagic), std::end(kMagic));
        if (found != end) {
            z_.avail_in = static_cast<uInt>(end - found);
            z_.next_in = found;
            inflateReset(&z_);
            memberEnded_ = false;
            ended_ = false;
            damage_.clear();
            keptWhole_ = false;  // what is kept so far is of the damaged member
            MemberBegins();
            return true;
        }
        z_.next_in = end - (sizeof kMagic - 1);
        z_.avail_in = sizeof kMagic - 1;
    }
}

std::size_t InflatingStream::Read(std::uint8_t* buffer, std::size_t count) {
    if (ended_ || count == 0) {
        return 0;
    }
    if (!damage_.empty()) {
        Fail(damage_);
    }
    if (!started_) {
        FillInput();
        int windowBits = kGzipWindowBits;
        if (kind_ == Deflation::ZlibOrRaw) {
            // RFC 9110 means a zlib stream by "deflate", but servers long sent raw deflate under
            // that name, and browsers take both; a zlib header is recognised by its checksum.
            const bool zlibHeader = z_.avail_in >= 2 && (z_.next_in[0] & 0x0F) == Z_DEFLATED &&
                                    ((z_.next_in[0] << 8) | z_.next_in[1]) % 31 == 0;
            windowBits = zlibHeader ? MAX_WBITS : -MAX_WBITS;
        }
        Start(windowBits);
    }
    for (;;) {
        if (memberEnded_) {
            // Another gzip member may follow; anything else after the last member ends the data.
            if (z_.avail_in == 0 && !FillInput()) {
                ended_ = true;
                return 0;
            }
            if (z_.next_in[0] != 0x1F) {
                // Zero padding after the last member is ignored, as gzip itself does.
                if (OnlyZerosFollow()) {
                    ended_ = true;
                    return 0;
                }
                Fail("the gzip data is followed by bytes that are not gzip");
            }
            inflateReset(&z_);
            MemberBegins();
            memberEnded_ = false;
        }
        if (z_.avail_in == 0 && !FillInput()) {
            Fail("the compressed data is cut off");
        }
        z_.next_out = buffer;
        z_.avail_out = static_cast<uInt>(std::min<std::size_t>(count, 1u << 30));
        const int rc = inflate(&z_, Z_NO_FLUSH);
        const std::size_t produced = static_cast<std::size_t>(z_.next_out - buffer);
        if (rc == Z_STREAM_END) {
            if (kind_ == Deflation::Gzip) {
                memberEnded_ = true;
            } else {
                ended_ = true;
            }
        } else if (rc == Z_DATA_ERROR || rc == Z_NEED_DICT) {
            const std::string why = std::string("the compressed data is corrupt: zlib reports ") +
                                    (z_.msg != nullptr ? z_.msg : "invalid data");
            if (produced == 0) {
                Fail(why);
            }
            // The bytes before the damage are delivered; the damage is met on the next read.
            damage_ = why;
            return produced;
        } else if (rc == Z_MEM_ERROR) {
            throw std::bad_alloc();
        } else if (rc != Z_OK && rc != Z_BUF_ERROR) {
            Fail("zlib failed: error " + std::to_string(rc));
        }
        if (produced > 0) {
            return produced;
        }
        if (ended_) {
            return 0;
        }
    }
}
