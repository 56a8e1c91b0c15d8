// The text of the application's error box, shared by the window and velpin-cli so that both
// show a raised error the same way.
#pragma once

#include <string>

// The error's message with a full stop appended when its last character sorts after '.' in
// byte order: "File not found" becomes "File not found.", while "Error!" and "(x)" stay as they
// are.
std::string ErrorBoxText(const std::string& message);

// The error box's text for the exception being handled; call it only inside a catch block.
// Memory exhaustion is "Out of memory.", whatever the library's own words for it.
std::string DescribeCurrentException();
