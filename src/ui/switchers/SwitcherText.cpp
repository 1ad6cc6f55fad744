// Unicode scalars for the switcher: decoding, case folding to lower case and letter classes come from
// the C library's UTF-8 character tables, loaded once, so that the user's locale cannot change which
// hint a name gets.
#include "ui/switchers/SwitcherText.h"

#include <clocale>
#include <cwctype>
#include <locale.h>
#include <wctype.h>

namespace korvane::switchertext {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Shared by every thread and never freed: the tables live as long as the process.
locale_t unicodeTables() {
    static const locale_t tables = [] {
        for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"})
            if (locale_t l = ::newlocale(LC_CTYPE_MASK, name, static_cast<locale_t>(nullptr))) return l;
        return static_cast<locale_t>(nullptr);
    }();
    return tables;
}

bool isSpaceOrTab(char32_t c) {
    return c == U' ' || c == U'\t' || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) ||
           c == 0x202F || c == 0x205F || c == 0x3000;
}

} // namespace

std::u32string scalars(std::string_view s) {
    std::u32string out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        const auto b = static_cast<unsigned char>(s[i]);
        int length = 0;
        char32_t c = 0;
        char32_t minimum = 0;
        if (b < 0x80) {
            out.push_back(b);
            ++i;
            continue;
        } else if ((b & 0xE0) == 0xC0) {
            length = 2, c = b & 0x1F, minimum = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            length = 3, c = b & 0x0F, minimum = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            length = 4, c = b & 0x07, minimum = 0x10000;
        } else {
            out.push_back(kReplacement);
            ++i;
            continue;
        }
        int taken = 1;
        while (taken < length && i + taken < s.size() &&
               (static_cast<unsigned char>(s[i + taken]) & 0xC0) == 0x80) {
            c = (c << 6) | (static_cast<unsigned char>(s[i + taken]) & 0x3F);
            ++taken;
        }
        if (taken < length || c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            out.push_back(kReplacement);
            i += static_cast<std::size_t>(taken);
            continue;
        }
        out.push_back(c);
        i += static_cast<std::size_t>(length);
    }
    return out;
}

std::string utf8(std::u32string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char32_t c : text) {
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = kReplacement;
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::u32string lowercased(std::u32string_view text) {
    std::u32string out(text);
    const locale_t tables = unicodeTables();
    for (char32_t& c : out) {
        if (c < 0x80) {
            if (c >= U'A' && c <= U'Z') c += U'a' - U'A';
        } else if (tables) {
            c = static_cast<char32_t>(::towlower_l(static_cast<wint_t>(c), tables));
        }
    }
    return out;
}

std::string lowercased(std::string_view text) {
    return utf8(lowercased(scalars(text)));
}

bool isAlphanumeric(char32_t c) {
    if (c < 0x80) return (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z') || (c >= U'0' && c <= U'9');
    const locale_t tables = unicodeTables();
    return tables && ::iswalnum_l(static_cast<wint_t>(c), tables);
}

std::u32string_view trimmingSpacesAndTabs(std::u32string_view text) {
    while (!text.empty() && isSpaceOrTab(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isSpaceOrTab(text.back()))
        text.remove_suffix(1);
    return text;
}

} // namespace korvane::switchertext
