// Numbers as every output of velpin-cli writes them, plain text and JSON alike: plain decimal,
// without the temporary strings std::to_string makes, since the outputs hold millions of numbers.
#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <string>

namespace velpin {

template <typename Integer>
void AppendInteger(std::string& out, Integer value) {
    char digits[24];
    const std::to_chars_result end = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, static_cast<std::size_t>(end.ptr - digits));
}
inline void AppendDecimal(std::string& out, std::int64_t value) {
    AppendInteger(out, value);
}
// The same for the 64-bit fields of a movie, which may use their top bit.
inline void AppendUnsignedDecimal(std::string& out, std::uint64_t value) {
    AppendInteger(out, value);
}

}  // namespace velpin
