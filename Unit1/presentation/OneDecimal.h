// Numbers with one decimal, as the frame statistics show them.
#pragma once

#include <string>

// `value` in fixed-point notation with exactly one digit after the point, right-aligned in a
// field of at least three characters. Halves round away from zero, judged on the value's
// 15-significant-digit decimal form, the form people read: 0.15, stored as 0.1499999..., gives
// "0.2". `value` must be finite.
std::string OneDecimalText(double value);
