#include "OneDecimal.h"

#include <cmath>
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

}  // namespace

std::string OneDecimalText(double value) {
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
