#include "base/error.h"

#include "Unit1/presentation/ErrorBoxText.h"
#include "swfff/errors.h"

namespace velpin {

Error CurrentError() {
    try {
        throw;
    } catch (const Error& error) {
        return error;
    } catch (const EInOutError& error) {
        return Error(ErrorClass::Unreadable, ErrorSubject::Input, ErrorBoxText(error.what()),
                     error.Path);
    } catch (...) {
        return Error(ErrorClass::Content, ErrorSubject::Input, DescribeCurrentException());
    }
}

Error CurrentOutputError(const std::string& path) {
    try {
        throw;
    } catch (const EInOutError& error) {
        return Error(ErrorClass::Unwritable, ErrorSubject::Output, ErrorBoxText(error.what()),
                     error.Path.empty() ? path : error.Path);
    } catch (...) {
        return CurrentError();
    }
}

}  // namespace velpin
