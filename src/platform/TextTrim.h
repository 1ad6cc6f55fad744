// Trimming white space and line breaks from both ends of text, in the Unicode sense: no-break and
// ideographic spaces and the line and paragraph separators count too, since keys and names are typed
// or pasted by users.
#pragma once

#include <string>
#include <string_view>

namespace korvane {

// Invalid UTF-8 stops the trimming where it begins; the text is never altered inside.
std::string_view trimmedView(std::string_view text);
std::string trimmingWhitespaceAndNewlines(std::string_view text);

} // namespace korvane
