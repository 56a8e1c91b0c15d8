// Well-formed UTF-8, as Unicode defines it: what JSON output must carry, and what a zip entry's
// name must be when its flag says it is UTF-8.
#pragma once

#include <cstddef>
#include <string_view>

namespace velpin {

// The length of the well-formed UTF-8 sequence at the start of `text`, or 0 when its first byte
// does not begin one. Overlong forms, surrogates and values beyond U+10FFFF are not well formed.
std::size_t WellFormedUtf8Length(std::string_view text);

// Whether all of `text` is well-formed UTF-8.
bool IsWellFormedUtf8(std::string_view text);

}  // namespace velpin
