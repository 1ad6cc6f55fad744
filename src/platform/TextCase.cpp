// ASCII-only case mapping, whatever the locale.
#include "platform/TextCase.h"

#include <algorithm>

namespace korvane {

std::string asciiLowercased(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), asciiLower);
    return out;
}

std::string asciiUppercased(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), asciiUpper);
    return out;
}

} // namespace korvane
