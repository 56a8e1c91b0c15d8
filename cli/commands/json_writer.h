// The pieces of JSON that velpin-cli writes by hand: string literals and numbers.
#pragma once

#include <string>
#include <string_view>

// Appends `text` as a JSON string literal, quotes included. `text` is taken as UTF-8; every byte
// that does not belong to a well-formed UTF-8 sequence becomes U+FFFD, so the output is always
// valid UTF-8 even for a path that is not.
void AppendJsonString(std::string& out, std::string_view text);

std::string JsonString(std::string_view text);
