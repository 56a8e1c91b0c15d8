// The texts of the window's message boxes that velpin-cli prints as well, so that a failed open or
// save reads the same in both.
#pragma once

inline constexpr char kOpenFailedText[] = "Error Opening file!";
inline constexpr char kSaveFailedText[] = "Error Saving file!";
