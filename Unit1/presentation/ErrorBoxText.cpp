#include "Unit1/presentation/ErrorBoxText.h"

#include <exception>
#include <new>

#include "swfff/errors.h"

std::string ErrorBoxText(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') {
        return message + ".";
    }
    return message;
}

std::string DescribeCurrentException() {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return ErrorBoxText(EOutOfMemory().what());
    } catch (const std::exception& error) {
        return ErrorBoxText(error.what());
    } catch (...) {
        return ErrorBoxText("Unexpected error");
    }
}
