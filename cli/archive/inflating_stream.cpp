#include "cli/archive/inflating_stream.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <new>

namespace {

constexpr std::size_t kInputBytes = 64 * 1024;
constexpr int kGzipWindowBits = 16 + MAX_WBITS;

}  // namespace

bool StartsGzip(const std::uint8_t* bytes, std::size_t count) {
    return count >= 2 && bytes[0] == 0x1F && bytes[1] == 0x8B;
}

InflatingStream::InflatingStream(ByteStream& inner, Deflation kind, bool entryLevel)
    : inner_(inner), kind_(kind), entryLevel_(entryLevel), input_(kInputBytes) {}

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
    inputTaken_ += got;
    return got > 0;
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
    // The member being read is not searched again: its first byte is stepped over.
    bool stepped = InputPosition() > memberStart_;
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
        if (!stepped) {
            ++z_.next_in;
            --z_.avail_in;
            stepped = true;
            continue;
        }
        Bytef* const end = z_.next_in + z_.avail_in;
        Bytef* const found = std::search(z_.next_in, end, std::begin(kMagic), std::end(kMagic));
        if (found != end) {
            z_.avail_in = static_cast<uInt>(end - found);
            z_.next_in = found;
            inflateReset(&z_);
            memberStart_ = InputPosition();
            memberEnded_ = false;
            ended_ = false;
            return true;
        }
        // Keeps the last two bytes, which may begin a signature.
        z_.next_in = end - (sizeof kMagic - 1);
        z_.avail_in = sizeof kMagic - 1;
    }
}

std::size_t InflatingStream::Read(std::uint8_t* buffer, std::size_t count) {
    if (ended_ || count == 0) {
        return 0;
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
            memberStart_ = InputPosition();
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
            Fail(std::string("the compressed data is corrupt: zlib reports ") +
                 (z_.msg != nullptr ? z_.msg : "invalid data"));
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
