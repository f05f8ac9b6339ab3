// Small text helpers shared by every layer.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// `text` without the characters of `blanks` at either end.
std::string Trim(std::string_view text, std::string_view blanks = " \t\r\n\v\f");

}  // namespace platform
