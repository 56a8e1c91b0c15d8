#include "archive/decode_budget.h"

#include <limits>

namespace velpin {

std::uint64_t DecodeBudget::Limit() const {
    const std::uint64_t most = std::numeric_limits<std::uint64_t>::max();
    if (stored_ > (most - base_) / kBytesPerStoredByte) {
        return most;
    }
    return base_ + kBytesPerStoredByte * stored_;
}

void DecodeBudget::Charge(std::uint64_t bytes) {
    if (outer_ != nullptr) {
        outer_->Charge(bytes);
    }
    decoded_ += bytes;
    if (decoded_ > Limit()) {
        throw BudgetError(*this, "the container decodes to more than its budget of " +
                                     std::to_string(Limit()) + " bytes (" + std::to_string(base_) +
                                     " + " + std::to_string(kBytesPerStoredByte) + " x its " +
                                     std::to_string(stored_) + " bytes); reading it stops here");
    }
}

std::size_t ChargedStream::Read(std::uint8_t* buffer, std::size_t count) {
    const std::size_t got = inner_.Read(buffer, count);
    if (budget_ != nullptr) {
        budget_->Charge(got);
    }
    return got;
}

}  // namespace velpin
