#include "archive/byte_stream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "swfff/errors.h"

namespace velpin {

void RaiseStreamError(bool entryLevel, const std::string& message) {
    if (entryLevel) {
        throw EntryError(message);
    }
    throw ContainerError(message);
}

std::size_t ReadFully(ByteStream& in, std::uint8_t* buffer, std::size_t count) {
    std::size_t got = 0;
    while (got < count) {
        const std::size_t more = in.Read(buffer + got, count - got);
        if (more == 0) {
            break;
        }
        got += more;
    }
    return got;
}

void Drain(ByteStream& in) {
    std::uint8_t scratch[16 * 1024];
    while (in.Read(scratch, sizeof scratch) > 0) {
    }
}

std::size_t MemoryStream::Read(std::uint8_t* buffer, std::size_t count) {
    const std::size_t n = std::min<std::size_t>(count, static_cast<std::size_t>(end_ - at_));
    if (n == 0) {
        return 0;  // an empty block may have no address at all
    }
    std::memcpy(buffer, at_, n);
    at_ += n;
    return n;
}

FileStream::FileStream(const std::string& path) : path_(path) {
    file_.Open(path);
}

std::size_t FileStream::Read(std::uint8_t* buffer, std::size_t count) {
    const std::int64_t got = file_.Read(buffer, static_cast<std::int64_t>(count));
    if (got < 0) {
        RaiseIoError(errno, path_, IoOp::Read);
    }
    return static_cast<std::size_t>(got);
}

PeekedStream::PeekedStream(ByteStream& inner, std::size_t peekBytes)
    : inner_(inner), head_(peekBytes) {
    std::size_t got = 0;
    try {
        for (std::size_t more = 1; got < peekBytes && more > 0; got += more) {
            more = inner_.Read(head_.data() + got, peekBytes - got);
        }
    } catch (const Error& error) {
        if (!IsEntryError(error)) {
            throw;
        }
        headError_ = std::current_exception();
    }
    headComplete_ = got < peekBytes && !headError_;
    head_.resize(got);
}

std::size_t PeekedStream::Read(std::uint8_t* buffer, std::size_t count) {
    if (served_ < head_.size()) {
        const std::size_t n = std::min(count, head_.size() - served_);
        std::memcpy(buffer, head_.data() + served_, n);
        served_ += n;
        return n;
    }
    if (headError_) {
        std::rethrow_exception(headError_);
    }
    // A head shorter than asked for was the whole stream; the inner stream is not asked again.
    return headComplete_ ? 0 : inner_.Read(buffer, count);
}

std::size_t ChainedStream::Read(std::uint8_t* buffer, std::size_t count) {
    if (!firstEnded_) {
        if (const std::size_t got = first_.Read(buffer, count); got > 0 || count == 0) {
            return got;
        }
        firstEnded_ = true;
    }
    return second_.Read(buffer, count);
}

std::size_t BoundedStream::Read(std::uint8_t* buffer, std::size_t count) {
    if (left_ == 0) {
        return 0;
    }
    const std::size_t asked = static_cast<std::size_t>(std::min<std::uint64_t>(count, left_));
    const std::size_t got = inner_.Read(buffer, asked);
    if (got == 0) {
        throw ContainerError("the container is cut off: " + std::to_string(left_) +
                             " bytes of a record are missing");
    }
    left_ -= got;
    return got;
}

bool LineReader::Fill() {
    // Only called once every buffered byte has been taken.
    at_ = 0;
    end_ = 0;
    end_ = inner_.Read(buffer_.data(), buffer_.size());
    delivered_ += end_;
    return end_ > 0;
}

void LineReader::Discard() {
    at_ = end_ = 0;
}

bool LineReader::ReadLine(std::string& line, std::size_t maxBytes, bool entryLevel) {
    line.clear();
    bool any = false;
    for (;;) {
        if (at_ == end_ && !Fill()) {
            if (any) {
                return true;  // a last line without its line end
            }
            return false;
        }
        any = true;
        const auto begin = buffer_.begin() + static_cast<std::ptrdiff_t>(at_);
        const auto stop = buffer_.begin() + static_cast<std::ptrdiff_t>(end_);
        const auto newline = std::find(begin, stop, '\n');
        line.append(begin, newline);
        at_ = static_cast<std::size_t>(newline - buffer_.begin());
        // The CR of a line's CR LF is no part of the line, so a line of `maxBytes` may carry one.
        const bool endsInCr = !line.empty() && line.back() == '\r';
        if (line.size() - (endsInCr ? 1 : 0) > maxBytes) {
            RaiseStreamError(entryLevel,
                             "a header line is longer than " + std::to_string(maxBytes) + " bytes");
        }
        if (newline != stop) {
            ++at_;
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            return true;
        }
    }
}

bool LineReader::ReadLineStart(std::string& line, std::size_t keep, std::string& tail) {
    line.clear();
    tail.clear();
    bool any = false;
    for (;;) {
        if (at_ == end_ && !Fill()) {
            return any;
        }
        any = true;
        const auto begin = buffer_.begin() + static_cast<std::ptrdiff_t>(at_);
        const auto stop = buffer_.begin() + static_cast<std::ptrdiff_t>(end_);
        const auto newline = std::find(begin, stop, '\n');
        line.append(begin, begin + std::min<std::ptrdiff_t>(
                                       newline - begin, static_cast<std::ptrdiff_t>(
                                                            keep - std::min(keep, line.size()))));
        const auto tailEnd = newline == stop ? stop : newline + 1;
        tail.append(std::max(begin, tailEnd - static_cast<std::ptrdiff_t>(keep + 2)), tailEnd);
        tail.erase(0, tail.size() - std::min(tail.size(), keep + 2));
        at_ = static_cast<std::size_t>(newline - buffer_.begin());
        if (newline != stop) {
            ++at_;
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            return true;
        }
    }
}

std::size_t LineReader::Read(std::uint8_t* buffer, std::size_t count) {
    if (at_ < end_) {
        const std::size_t n = std::min(count, end_ - at_);
        std::memcpy(buffer, buffer_.data() + at_, n);
        at_ += n;
        return n;
    }
    const std::size_t got = inner_.Read(buffer, count);
    delivered_ += got;
    return got;
}

}  // namespace velpin
