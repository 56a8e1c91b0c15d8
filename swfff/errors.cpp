#include "swfff/errors.h"

#include <utility>

std::string IoErrorMessage(int code) {
    switch (code) {
        case ioFileNotFound:
            return "File not found";
        case ioInvalidFilename:
            return "Invalid filename";
        case ioTooManyOpenFiles:
            return "Too many open files";
        case ioAccessDenied:
            return "File access denied";
        case ioReadBeyondEnd:
            return "Read beyond end of file";
        case ioDiskFull:
            return "Disk full";
        default:
            return "I/O error " + std::to_string(code);
    }
}

EInOutError::EInOutError(int errorCode, std::string path)
    : std::runtime_error(IoErrorMessage(errorCode)), ErrorCode(errorCode), Path(std::move(path)) {}

EOutOfMemory::EOutOfMemory() : std::runtime_error("Out of memory") {}
