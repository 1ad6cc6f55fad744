// The text rules of the switcher's hints and sort, over Unicode scalars rather than bytes: application
// names come from other programs in any script, and a hint is typed one character at a time.
#pragma once

#include <string>
#include <string_view>

namespace korvane::switchertext {

// The scalars of UTF-8 text; each ill-formed byte reads as U+FFFD.
std::u32string scalars(std::string_view utf8);
std::string utf8(std::u32string_view scalars);

// Lower case, scalar by scalar, by the Unicode case tables whatever the process's locale (ASCII only
// where the system has no Unicode character tables).
std::u32string lowercased(std::u32string_view text);
std::string lowercased(std::string_view utf8);
// Letters and digits of any script.
bool isAlphanumeric(char32_t c);
// Spaces and tabs off both ends; line breaks stay.
std::u32string_view trimmingSpacesAndTabs(std::u32string_view text);

} // namespace korvane::switchertext
