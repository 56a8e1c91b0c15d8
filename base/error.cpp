#include "base/error.h"

#include <filesystem>
#include <system_error>

#include "Unit1/presentation/ErrorBoxText.h"
#include "swfff/errors.h"

namespace velpin {

namespace {

// The core keeps the window's words for its codes, and two of them mislead on a command line: a
// folder opened as a file is "access denied", and a path in a folder that does not exist an
// "invalid filename". The words here say what the path is instead.
std::string IoErrorWords(const EInOutError& error) {
    if (!error.Path.empty()) {
        std::error_code ignored;
        const std::filesystem::path path(error.Path);
        if (error.ErrorCode == ioAccessDenied && std::filesystem::is_directory(path, ignored)) {
            return "it is a folder, not a file";
        }
        const std::filesystem::path folder = path.parent_path();
        if (error.ErrorCode == ioInvalidFilename && !folder.empty() &&
            !std::filesystem::exists(folder, ignored)) {
            return "the folder " + folder.string() + " does not exist";
        }
    }
    return ErrorBoxText(error.what());
}

}  // namespace

Error CurrentError() {
    try {
        throw;
    } catch (const Error& error) {
        return error;
    } catch (const EInOutError& error) {
        return Error(ErrorClass::Unreadable, ErrorSubject::Input, IoErrorWords(error), error.Path);
    } catch (...) {
        return Error(ErrorClass::Content, ErrorSubject::Input, DescribeCurrentException());
    }
}

Error CurrentOutputError(const std::string& path) {
    try {
        throw;
    } catch (const EInOutError& error) {
        return Error(ErrorClass::Unwritable, ErrorSubject::Output, IoErrorWords(error),
                     error.Path.empty() ? path : error.Path);
    } catch (...) {
        return CurrentError();
    }
}

}  // namespace velpin
