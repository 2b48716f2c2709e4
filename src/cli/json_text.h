#pragma once
// JSON text for fahuo-cli output.
#include <string>
#include <string_view>

namespace fahuo::cli {

// Appends `utf8` to `out` as a JSON string literal, quotes included: '"' and '\' escaped,
// control characters as \b \f \n \r \t or \u00XX. Bytes of 80 hex and above are copied as
// they are, so the caller passes valid UTF-8.
void AppendJsonString(std::string& out, std::string_view utf8);

}  // namespace fahuo::cli
