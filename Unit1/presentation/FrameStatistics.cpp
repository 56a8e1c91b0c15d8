#include "Unit1/presentation/FrameStatistics.h"

#include <charconv>

#include "Unit1/presentation/OneDecimal.h"

namespace {

constexpr double kKilobytesPerByte = 0.0009765625;  // 1 / 1024

constexpr char kBytesOpen[] = " (";
constexpr char kBytesClose[] = " bytes so far)";
constexpr char kTimeOpen[] = " (Time:";
constexpr char kTimeClose[] = " s.)";
constexpr char kRateOpen[] = " (";
constexpr char kRateClose[] = " kb/s so far)";

constexpr std::size_t Length(const char* text) {
    std::size_t n = 0;
    while (text[n] != '\0') {
        ++n;
    }
    return n;
}

// The play time at the end of the frame and the average data rate up to it, kept in double
// precision.
struct Rates {
    double seconds;
    double kilobytesPerSecond;
};

Rates RatesOf(const FrameStatistics& s) {
    const double seconds = static_cast<double>(s.frame + 1) / s.framesPerSecond;
    return {seconds, static_cast<double>(s.bytesSoFar) / seconds * kKilobytesPerByte};
}

}  // namespace

void AppendFrameStatisticsText(std::string& out, const FrameStatistics& s) {
    out += kBytesOpen;
    char digits[16];
    const std::to_chars_result end = std::to_chars(digits, digits + sizeof digits, s.bytesSoFar);
    out.append(digits, end.ptr);
    out += kBytesClose;
    if (s.framesPerSecond == 0) {
        return;
    }
    const Rates rates = RatesOf(s);
    out += kTimeOpen;
    AppendOneDecimal(out, rates.seconds);
    out += kTimeClose;
    out += kRateOpen;
    AppendOneDecimal(out, rates.kilobytesPerSecond);
    out += kRateClose;
}

std::size_t FrameStatisticsTextLength(const FrameStatistics& s) {
    std::size_t length = Length(kBytesOpen) + DecimalDigits(s.bytesSoFar) + Length(kBytesClose);
    if (s.framesPerSecond == 0) {
        return length;
    }
    const Rates rates = RatesOf(s);
    return length + Length(kTimeOpen) + OneDecimalLength(rates.seconds) + Length(kTimeClose) +
           Length(kRateOpen) + OneDecimalLength(rates.kilobytesPerSecond) + Length(kRateClose);
}
