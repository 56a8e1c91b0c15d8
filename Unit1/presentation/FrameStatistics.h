// The running statistics a frame node shows once the top-level ShowFrame ending its frame is
// placed: bytes so far, play time, and data rate.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct FrameStatistics {
    std::uint16_t frame;           // the ShowFrame's frame index
    std::uint32_t bytesSoFar;      // the top-level tags' bytes up to and with that ShowFrame
    std::uint8_t framesPerSecond;  // the whole part of the frame rate
};

// Appends " (B bytes so far) (Time:T s.) (D kb/s so far)"; below 1 fps the play time would
// divide by zero, so only the byte count is shown then.
void AppendFrameStatisticsText(std::string& out, const FrameStatistics& statistics);
// The length of that text, without making it.
std::size_t FrameStatisticsTextLength(const FrameStatistics& statistics);
