// Numbers with one decimal, as the frame statistics show them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// `value` in fixed-point notation with exactly one digit after the point, right-aligned in a
// field of at least three characters. Halves round away from zero, judged on the value's
// 15-significant-digit decimal form, the form people read: 0.15, stored as 0.1499999..., gives
// "0.2". `value` must be finite.
std::string OneDecimalText(double value);

// The same text appended to `out`, and its length, without the temporary strings: a tree shows
// millions of these numbers.
void AppendOneDecimal(std::string& out, double value);
std::size_t OneDecimalLength(double value);

// The number of digits of `value` in plain decimal.
std::size_t DecimalDigits(std::uint64_t value);
