// Checking and mending UTF-8, and reading Latin-1 as UTF-8.
#include "platform/UTF8.h"

namespace korvane {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD"; // U+FFFD

// The length of the well-formed character at `at`, or 0 with `skip` set to the length of the maximal
// ill-formed part there (at least 1). Overlong forms, surrogates and code points above U+10FFFF are
// ill-formed: their lead bytes allow a narrower range for the second byte.
std::size_t characterAt(std::string_view s, std::size_t at, std::size_t& skip) {
    const auto lead = static_cast<unsigned char>(s[at]);
    skip = 1;
    if (lead < 0x80) return 1;
    std::size_t follow = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        follow = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        follow = 2;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        follow = 3;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    std::size_t next = at + 1;
    for (std::size_t i = 0; i < follow; ++i, ++next) {
        if (next >= s.size()) break;
        const auto c = static_cast<unsigned char>(s[next]);
        if (c < low || c > high) break;
        low = 0x80;
        high = 0xBF;
    }
    if (next - at == follow + 1) return follow + 1;
    skip = next - at;
    return 0;
}

} // namespace

bool isValidUTF8(std::string_view bytes) {
    std::size_t skip = 0;
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t length = characterAt(bytes, at, skip);
        if (length == 0) return false;
        at += length;
    }
    return true;
}

std::string validUTF8(std::string_view bytes) {
    if (isValidUTF8(bytes)) return std::string(bytes);
    std::string out;
    out.reserve(bytes.size() + 8);
    std::size_t skip = 0;
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t length = characterAt(bytes, at, skip);
        if (length == 0) {
            out += kReplacement;
            at += skip;
        } else {
            out.append(bytes.substr(at, length));
            at += length;
        }
    }
    return out;
}

std::string utf8FromLatin1(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out.push_back(ch);
        } else {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

} // namespace korvane
