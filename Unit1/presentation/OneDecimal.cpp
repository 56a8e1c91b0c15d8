#include "Unit1/presentation/OneDecimal.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kSignificantDigits = 15;
constexpr std::size_t kFieldWidth = 3;

// Adds one to a string of decimal digits.
void Increment(std::string& digits) {
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        if (*it != '9') {
            ++*it;
            return;
        }
        *it = '0';
    }
    digits.insert(digits.begin(), '1');
}

// The exact rule, through the value's 15-significant-digit decimal form.
std::string ExactOneDecimalText(double value) {
    // "d.dddddddddddddde±x": the decimal form rounded to 15 significant digits.
    char scientific[32];
    std::snprintf(scientific, sizeof scientific, "%.*e", kSignificantDigits - 1, std::fabs(value));
    std::string digits;
    digits.push_back(scientific[0]);
    digits.append(scientific + 2, kSignificantDigits - 1);
    const int exponent = std::atoi(scientific + 2 + kSignificantDigits);

    // Digit i is worth 10^(exponent - i); the tenths digit is digit exponent + 1, and the digit
    // after it decides the rounding.
    const int tenthsEnd = exponent + 2;
    std::string tenths;
    if (tenthsEnd > 0) {
        tenths = digits.substr(0, static_cast<std::size_t>(tenthsEnd));
        tenths.resize(static_cast<std::size_t>(tenthsEnd), '0');
    }
    const char decider = tenthsEnd >= 0 && tenthsEnd < kSignificantDigits ? digits[tenthsEnd] : '0';
    if (decider >= '5') {
        Increment(tenths);
    }
    if (tenths.size() < 2) {
        tenths.insert(0, 2 - tenths.size(), '0');
    }

    std::string text = tenths.substr(0, tenths.size() - 1) + "." + tenths.back();
    if (std::signbit(value) && text.find_first_not_of("0.") != std::string::npos) {
        text.insert(0, 1, '-');
    }
    if (text.size() < kFieldWidth) {
        text.insert(0, kFieldWidth - text.size(), ' ');
    }
    return text;
}

// The value in tenths, rounded, when that is certain without printing the decimal form, which
// costs ten times as much. Below 10^7:
// - the 15-digit form differs from the value by at most 5e-9, that is 5e-8 tenths, and computing
//   10 * value adds at most 1.2e-8 more; so unless the tenths fall within 1e-6 of a half,
//   rounding the value itself gives the tenths that rounding its decimal form gives;
// - when 10 * value comes out as exactly k + 0.5, the value lies within 2^-53 of (k + 0.5) / 10,
//   a number of at most 9 digits, so its 15-digit form is exactly that half, which rounds up.
//   Play times at whole frame rates land on such halves all the time.
// What remains near a half goes the exact way.
bool CertainTenths(double value, std::uint64_t& tenths) {
    if (!(value >= 0 && value < 1e7)) {
        return false;
    }
    const double scaled = value * 10;
    const double whole = std::floor(scaled);
    const double fraction = scaled - whole;
    if (fraction != 0.5 && std::fabs(fraction - 0.5) <= 1e-6) {
        return false;
    }
    tenths = static_cast<std::uint64_t>(whole) + (fraction >= 0.5 ? 1 : 0);
    return true;
}

}  // namespace

std::size_t DecimalDigits(std::uint64_t value) {
    std::size_t digits = 1;
    while (value >= 10) {
        value /= 10;
        ++digits;
    }
    return digits;
}

std::string OneDecimalText(double value) {
    std::string text;
    AppendOneDecimal(text, value);
    return text;
}

void AppendOneDecimal(std::string& out, double value) {
    std::uint64_t tenths = 0;
    if (!CertainTenths(value, tenths)) {
        out += ExactOneDecimalText(value);
        return;
    }
    char digits[24];
    const std::to_chars_result end = std::to_chars(digits, digits + sizeof digits, tenths / 10);
    out.append(digits, end.ptr);
    out += '.';
    out += static_cast<char>('0' + tenths % 10);
}

std::size_t OneDecimalLength(double value) {
    std::uint64_t tenths = 0;
    if (!CertainTenths(value, tenths)) {
        return ExactOneDecimalText(value).size();
    }
    return DecimalDigits(tenths / 10) + 2;
}
