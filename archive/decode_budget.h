// How many bytes a container may make its readers decode: 1 GiB plus 1,000 times what it stores.
// Honest compression stays far below that (deflate cannot pass 1,032 to 1), while a bomb of any
// depth meets it early: every byte decoded inside a container counts against it and against each
// container around it. Every reader that decodes (the archive reader, the WARC reader's inflater,
// the walk of a zip file) charges the budget of the container it reads, and only on the walk's
// own thread: a zip entry handed over to be inflated elsewhere is charged before it goes, with
// all that its stream can decode.
#pragma once

#include <cstdint>
#include <string>

#include "archive/byte_stream.h"

namespace velpin {

class DecodeBudget;

// A container decoded more than its budget allows; the walk of that container ends here, and
// only that container's: `budget` tells the walk which one it is.
class BudgetError : public Error {
  public:
    BudgetError(const DecodeBudget& budget, const std::string& message)
        : Error(ErrorClass::Content, ErrorSubject::Container, message), budget_(&budget) {}
    const DecodeBudget* Budget() const { return budget_; }

  private:
    const DecodeBudget* budget_;
};

class DecodeBudget {
  public:
    static constexpr std::uint64_t kBaseBytes = std::uint64_t{1} << 30;
    static constexpr std::uint64_t kBytesPerStoredByte = 1000;

    // A container of `storedBytes` (none for a file), allowed `baseBytes` on top of 1,000 times
    // that. A nested container's size is often unknown until it has been read: it is then
    // counted up by AddStored as it goes.
    DecodeBudget(std::uint64_t storedBytes, std::uint64_t baseBytes)
        : stored_(storedBytes), base_(baseBytes), outer_(nullptr) {}
    // A container inside `outer`, with the same base.
    explicit DecodeBudget(DecodeBudget* outer) : stored_(0), base_(outer->base_), outer_(outer) {}

    void AddStored(std::uint64_t bytes) { stored_ += bytes; }
    // Counts `bytes` decoded here; raises a BudgetError naming the first budget, from the
    // outermost inward, that they overdraw.
    void Charge(std::uint64_t bytes);

    std::uint64_t Limit() const;

  private:
    std::uint64_t stored_;
    std::uint64_t base_;
    std::uint64_t decoded_ = 0;
    DecodeBudget* outer_;
};

// Charges `budget` for every byte read through it.
class ChargedStream : public ByteStream {
  public:
    ChargedStream(ByteStream& inner, DecodeBudget* budget) : inner_(inner), budget_(budget) {}
    std::size_t Read(std::uint8_t* buffer, std::size_t count) override;

  private:
    ByteStream& inner_;
    DecodeBudget* budget_;
};

}  // namespace velpin
