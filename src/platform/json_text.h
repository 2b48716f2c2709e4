#pragma once
// JSON string literals, for fahuo-cli's output and the push webhooks' bodies.
#include <string>
#include <string_view>

namespace fahuo {

// Appends `utf8` to `out` as a JSON string literal, quotes included: '"' and '\' escaped,
// control characters as \b \f \n \r \t or \u00XX. Bytes of 80 hex and above are copied as
// they are, so the caller passes valid UTF-8.
void AppendJsonString(std::string& out, std::string_view utf8);

}  // namespace fahuo
