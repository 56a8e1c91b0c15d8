#include "export/inflated_reader.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "base/error.h"

namespace velpin {

namespace {

constexpr std::size_t kBlockBytes = 64 * 1024;

}  // namespace

InflatedReader::InflatedReader(const std::uint8_t* bytes, std::size_t size, const char* what,
                               std::uint64_t expected)
    : inflater_(DeflateWrapper::Zlib), block_(kBlockBytes), what_(what), expected_(expected) {
    inflater_.SetInput(bytes, size);
}

void InflatedReader::Read(std::uint8_t* out, std::size_t count) {
    // The decoder takes all the input it can before it says it needs more: a step that gives
    // nothing twice running has nothing left to give.
    int idleSteps = 0;
    while (count > 0) {
        if (blockStart_ == blockEnd_) {
            Inflater::Step step;
            if (!ended_) {
                step = inflater_.Decode(block_.data(), block_.size());
            }
            if (!step.corrupt.empty()) {
                throw Error::Content(ErrorSubject::Input,
                                     std::string(what_) + " cannot be inflated: " + step.corrupt);
            }
            ended_ = ended_ || step.ended;
            blockStart_ = 0;
            blockEnd_ = step.produced;
            idleSteps = step.produced == 0 ? idleSteps + 1 : 0;
            if (step.produced == 0 && (ended_ || idleSteps == 2)) {
                throw Error::Content(ErrorSubject::Input,
                                     std::string(what_) + " inflate to " +
                                         std::to_string(produced_) + " bytes, fewer than the " +
                                         std::to_string(expected_) + " the header computes");
            }
        }
        const std::size_t taken = std::min(count, blockEnd_ - blockStart_);
        std::memcpy(out, block_.data() + blockStart_, taken);
        blockStart_ += taken;
        produced_ += taken;
        out += taken;
        count -= taken;
    }
}

}  // namespace velpin
