// Changing the case of the letters in keys, ids and names byte by byte, for comparisons that ignore case.
// Only the ASCII letters A-Z and a-z change, in every locale: under a Turkish one the C library would
// leave "I" as it is (its small form there is the dotless one, which no single byte holds), so that a key
// stored as "Insert" would match no name. A UTF-8 sequence passes through whole.
#pragma once

#include <string>
#include <string_view>

namespace korvane {

std::string asciiLowercased(std::string_view text);
std::string asciiUppercased(std::string_view text);

// One byte's case; every byte but the ASCII letters is its own.
constexpr char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
constexpr char asciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

} // namespace korvane
