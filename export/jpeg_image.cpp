#include "export/jpeg_image.h"

// jpeglib.h needs the size types declared before it.
#include <cstdio>

#include <jpeglib.h>

#include <csetjmp>
#include <string>

#include "base/error.h"
#include "export/export_limits.h"

namespace velpin {

namespace {

// A progressive JPEG is decoded again for every scan it holds, so a few kilobytes of empty scans
// could keep libjpeg busy for hours; real encoders write about ten.
constexpr int kMaxScans = 1000;
// libjpeg holds a progressive image's coefficients whole: 64 M pixels of three components take
// 384 MiB, which this allows, and no more.
constexpr long kMaxDecoderMemory = 512L << 20;

struct ErrorJump {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    char words[JMSG_LENGTH_MAX];
};

void JumpOnError(j_common_ptr info) {
    auto* error = reinterpret_cast<ErrorJump*>(info->err);
    (*info->err->format_message)(info, error->words);
    std::longjmp(error->jump, 1);
}

// libjpeg prints its warnings to standard error by default.
void IgnoreMessage(j_common_ptr) {}

void LimitScans(j_common_ptr info) {
    if (reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > kMaxScans) {
        auto* error = reinterpret_cast<ErrorJump*>(info->err);
        std::snprintf(error->words, sizeof error->words, "more than %d scans", kMaxScans);
        std::longjmp(error->jump, 1);
    }
}

}  // namespace

struct JpegRows::State {
    jpeg_decompress_struct info{};
    ErrorJump error{};
    jpeg_progress_mgr progress{};

    State() {
        info.err = jpeg_std_error(&error.manager);
        error.manager.error_exit = JumpOnError;
        error.manager.output_message = IgnoreMessage;
    }
    // Safe on a decompressor never created: libjpeg then has no memory to free.
    ~State() { jpeg_destroy_decompress(&info); }
    [[noreturn]] void Refused() const {
        throw Error::Content(ErrorSubject::Input,
                             std::string("libjpeg refuses the JPEG: ") + error.words);
    }
};

namespace {

// Each libjpeg call that can fail goes through one of these, which hold no object with a
// destructor, so that libjpeg's longjmp skips nothing.
bool StartHeader(jpeg_decompress_struct* info, ErrorJump* error, const std::uint8_t* bytes,
                 std::size_t size, jpeg_progress_mgr* progress) {
    if (setjmp(error->jump)) {
        return false;
    }
    jpeg_create_decompress(info);
    info->mem->max_memory_to_use = kMaxDecoderMemory;
    progress->progress_monitor = LimitScans;
    info->progress = progress;
    jpeg_mem_src(info, bytes, static_cast<unsigned long>(size));
    jpeg_read_header(info, TRUE);
    return true;
}

bool StartPixels(jpeg_decompress_struct* info, ErrorJump* error) {
    if (setjmp(error->jump)) {
        return false;
    }
    info->out_color_space = JCS_RGB;
    jpeg_start_decompress(info);
    return true;
}

bool ReadRow(jpeg_decompress_struct* info, ErrorJump* error, std::uint8_t* rgb) {
    if (setjmp(error->jump)) {
        return false;
    }
    JSAMPROW row = rgb;
    jpeg_read_scanlines(info, &row, 1);
    return true;
}

}  // namespace

JpegSize ReadJpegSize(const std::uint8_t* bytes, std::size_t size) {
    JpegRows::State state;
    if (!StartHeader(&state.info, &state.error, bytes, size, &state.progress)) {
        state.Refused();
    }
    CheckBitmapSize(state.info.image_width, state.info.image_height);
    return {state.info.image_width, state.info.image_height};
}

JpegRows::JpegRows(const std::uint8_t* bytes, std::size_t size)
    : state_(std::make_unique<State>()) {
    if (!StartHeader(&state_->info, &state_->error, bytes, size, &state_->progress)) {
        state_->Refused();
    }
    CheckBitmapSize(state_->info.image_width, state_->info.image_height);
    if (!StartPixels(&state_->info, &state_->error)) {
        state_->Refused();
    }
    size_ = {state_->info.output_width, state_->info.output_height};
}

JpegRows::~JpegRows() = default;

void JpegRows::Next(std::uint8_t* rgb) {
    // Past the last row libjpeg reads nothing; a caller asks for no more than Size() says.
    if (!ReadRow(&state_->info, &state_->error, rgb)) {
        state_->Refused();
    }
}

}  // namespace velpin
