// Changing the case of the letters in keys, ids and names byte by byte, for comparisons that ignore case.
// Under the UTF-8 and C locales only ASCII letters change; a UTF-8 sequence passes through whole.
#pragma once

#include <string>
#include <string_view>

namespace korvane {

std::string asciiLowercased(std::string_view text);
std::string asciiUppercased(std::string_view text);

} // namespace korvane
