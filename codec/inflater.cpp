#include "codec/inflater.h"

#include <isa-l/igzip_lib.h>
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <limits>
#include <new>

namespace velpin {

namespace {

std::uint32_t WrapperFlag(DeflateWrapper wrapper) {
    switch (wrapper) {
        case DeflateWrapper::Zlib:
            return ISAL_ZLIB;
        case DeflateWrapper::Gzip:
            return ISAL_GZIP;
        case DeflateWrapper::Raw:
            break;
    }
    return ISAL_DEFLATE;
}

// The same faults in the words zlib gives them, which users of other tools know.
std::string Problem(int rc, DeflateWrapper wrapper) {
    switch (rc) {
        case ISAL_NEED_DICT:
            return "it asks for a preset dictionary";
        case ISAL_INVALID_BLOCK:
            return "invalid block type";
        case ISAL_INVALID_SYMBOL:
            return "invalid code";
        case ISAL_INVALID_LOOKBACK:
            return "invalid distance too far back";
        case ISAL_INVALID_WRAPPER:
            return "incorrect header check";
        case ISAL_UNSUPPORTED_METHOD:
            return wrapper == DeflateWrapper::Gzip ? "unknown compression method"
                                                   : "incorrect header check";
        case ISAL_INCORRECT_CHECKSUM:
            return "incorrect data check";
        default:
            return "igzip error " + std::to_string(rc);
    }
}

struct DecompressorFree {
    void operator()(libdeflate_decompressor* decompressor) const {
        libdeflate_free_decompressor(decompressor);
    }
};

}  // namespace

bool InflateWhole(DeflateWrapper wrapper, const std::uint8_t* in, std::size_t inBytes,
                  std::uint8_t* out, std::size_t outBytes, std::size_t& inUsed) {
    // One per thread: a decompressor is not to be shared, and costs an allocation to make.
    thread_local const std::unique_ptr<libdeflate_decompressor, DecompressorFree> decompressor(
        libdeflate_alloc_decompressor());
    if (!decompressor) {
        throw std::bad_alloc();
    }
    std::size_t produced = 0;
    const libdeflate_result result =
        wrapper == DeflateWrapper::Zlib
            ? libdeflate_zlib_decompress_ex(decompressor.get(), in, inBytes, out, outBytes, &inUsed,
                                            &produced)
        : wrapper == DeflateWrapper::Raw
            ? libdeflate_deflate_decompress_ex(decompressor.get(), in, inBytes, out, outBytes,
                                               &inUsed, &produced)
            : libdeflate_gzip_decompress_ex(decompressor.get(), in, inBytes, out, outBytes, &inUsed,
                                            &produced);
    return result == LIBDEFLATE_SUCCESS && produced == outBytes;
}

bool InflateHead(const std::uint8_t* in, std::size_t inBytes, std::uint8_t* out,
                 std::size_t outBytes) {
    // One per thread, reset for each look: zlib never reads back past what the stream itself
    // produced, so what an earlier stream left in it cannot show through.
    struct HeadStream {
        z_stream stream{};
        bool ready = inflateInit2(&stream, -MAX_WBITS) == Z_OK;
        ~HeadStream() {
            if (ready) {
                inflateEnd(&stream);
            }
        }
    };
    thread_local HeadStream head;
    if (!head.ready || inBytes > std::numeric_limits<uInt>::max() ||
        outBytes > std::numeric_limits<uInt>::max() || inflateReset(&head.stream) != Z_OK) {
        return false;
    }
    head.stream.next_in = const_cast<std::uint8_t*>(in);
    head.stream.avail_in = static_cast<uInt>(inBytes);
    head.stream.next_out = out;
    head.stream.avail_out = static_cast<uInt>(outBytes);
    const int rc = inflate(&head.stream, Z_SYNC_FLUSH);
    return (rc == Z_OK || rc == Z_STREAM_END || rc == Z_BUF_ERROR) && head.stream.avail_out == 0;
}

// Zeroed, though isal_inflate_init sets what a valid stream uses: a corrupt one can reach back
// before its own start into the decoder's buffer, and must find the same bytes there every time.
Inflater::Inflater(DeflateWrapper wrapper)
    : wrapper_(wrapper), state_(std::make_unique<inflate_state>()) {
    isal_inflate_init(state_.get());
    state_->crc_flag = WrapperFlag(wrapper_);
}

Inflater::~Inflater() = default;

void Inflater::SetInput(const std::uint8_t* bytes, std::size_t count) {
    // Callers hand over blocks far below 4 GiB; a larger one is taken in parts.
    state_->next_in = const_cast<std::uint8_t*>(bytes);
    state_->avail_in = static_cast<std::uint32_t>(
        std::min<std::size_t>(count, std::numeric_limits<std::uint32_t>::max()));
}

std::size_t Inflater::InputLeft() const {
    return state_->avail_in;
}

const std::uint8_t* Inflater::NextInput() const {
    return state_->next_in;
}

Inflater::Step Inflater::Decode(std::uint8_t* buffer, std::size_t count) {
    Step step;
    if (state_->block_state == ISAL_BLOCK_FINISH) {
        step.ended = true;
        return step;
    }
    state_->next_out = buffer;
    state_->avail_out = static_cast<std::uint32_t>(std::min<std::size_t>(count, 1u << 30));
    const int rc = isal_inflate(state_.get());
    step.produced = static_cast<std::size_t>(state_->next_out - buffer);
    if (rc != ISAL_DECOMP_OK) {
        step.corrupt = Problem(rc, wrapper_);
        return step;
    }
    step.ended = state_->block_state == ISAL_BLOCK_FINISH;
    if (step.ended) {
        // The decoder reads up to eight bytes ahead into its bit buffer; whole bytes left there
        // belong to what follows the stream, as a next gzip member or as bytes to be refused.
        const std::uint32_t readAhead = static_cast<std::uint32_t>(state_->read_in_length) / 8;
        state_->next_in -= readAhead;
        state_->avail_in += readAhead;
        state_->read_in = 0;
        state_->read_in_length = 0;
    }
    return step;
}

void Inflater::Restart() {
    std::uint8_t* const nextIn = state_->next_in;
    const std::uint32_t availIn = state_->avail_in;
    isal_inflate_init(state_.get());
    state_->crc_flag = WrapperFlag(wrapper_);
    state_->next_in = nextIn;
    state_->avail_in = availIn;
}

}  // namespace velpin
