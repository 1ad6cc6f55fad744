// Unicode-aware trimming of white space and line breaks.
#include "platform/TextTrim.h"

namespace korvane {

namespace {

bool isWhiteSpaceOrNewline(char32_t c) {
    switch (c) {
    case U'\t':
    case U'\n':
    case 0x0B:
    case 0x0C:
    case U'\r':
    case U' ':
    case 0x85:
    case 0xA0:
    case 0x1680:
    case 0x2028:
    case 0x2029:
    case 0x202F:
    case 0x205F:
    case 0x3000:
        return true;
    default:
        return c >= 0x2000 && c <= 0x200A;
    }
}

// Length in bytes of a valid UTF-8 sequence starting at s[i], with its code point; 0 when invalid.
std::size_t decodeAt(std::string_view s, std::size_t i, char32_t& out) {
    auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char c = b(i);
    std::size_t len = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (len == 0 || i + len > s.size()) return 0;
    char32_t cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
    for (std::size_t k = 1; k < len; ++k) {
        if ((b(i + k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b(i + k) & 0x3F);
    }
    out = cp;
    return len;
}

} // namespace

std::string_view trimmedView(std::string_view s) {
    char32_t cp = 0;
    while (!s.empty()) {
        std::size_t n = decodeAt(s, 0, cp);
        if (n == 0 || !isWhiteSpaceOrNewline(cp)) break;
        s.remove_prefix(n);
    }
    while (!s.empty()) {
        // Step back to the start of the last code point (at most four bytes).
        std::size_t start = s.size() - 1;
        while (start > 0 && s.size() - start < 4 && (static_cast<unsigned char>(s[start]) & 0xC0) == 0x80)
            --start;
        std::size_t n = decodeAt(s, start, cp);
        if (n == 0 || start + n != s.size() || !isWhiteSpaceOrNewline(cp)) break;
        s.remove_suffix(n);
    }
    return s;
}

std::string trimmingWhitespaceAndNewlines(std::string_view s) {
    return std::string(trimmedView(s));
}

} // namespace korvane
