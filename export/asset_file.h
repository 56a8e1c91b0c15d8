// The file of one exported asset. It is always a new file: created only where no file of that
// name exists, so that an export never overwrites anything, and removed again when its bytes
// cannot all be written or its asset cannot be decoded, so that every file left is whole.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "codec/swfcodec.h"

namespace velpin {

struct WrittenFile {
    std::uint64_t size = 0;
    std::string sha256;
};

// Creates `path`, hands `produce` a sink for its bytes, and closes it. What `produce` raises
// passes through, the file removed. Raises EInOutError when the file exists or cannot be created
// or written, the file removed.
WrittenFile WriteNewFile(const std::string& path,
                         const std::function<void(const ByteSink&)>& produce);

// The same without a file: what WriteNewFile would have written.
WrittenFile MeasureFile(const std::function<void(const ByteSink&)>& produce);

}  // namespace velpin
