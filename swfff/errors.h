// Errors that the movie file unit raises instead of returning a result code.
#pragma once

#include <stdexcept>
#include <string>

// Error codes carried by EInOutError. 2 to 5 and 32 keep the numbers the tool has always shown;
// fileio.cpp maps this platform's errno values onto them.
enum IoErrorCode : int {
    ioFileNotFound = 2,
    ioInvalidFilename = 3,
    ioTooManyOpenFiles = 4,
    ioAccessDenied = 5,
    ioSharingViolation = 32,
    ioReadBeyondEnd = 100,
    ioDiskFull = 101,
    // Any other errno e is carried as ioOtherBase + e, so it can never collide with the codes
    // above.
    ioOtherBase = 1000,
};

// The text shown for an I/O error code: the fixed texts above, otherwise "I/O error N".
std::string IoErrorMessage(int code);

class EInOutError : public std::runtime_error {
  public:
    explicit EInOutError(int errorCode, std::string path = {});
    int ErrorCode;
    // The file the failed operation was on, for the companion's error lines; empty when unknown.
    // The message never names it: the error box shows the message alone.
    std::string Path;
};

class EOutOfMemory : public std::runtime_error {
  public:
    EOutOfMemory();
};
