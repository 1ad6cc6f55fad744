// Typed hints: every tile gets a short text derived from its application's name, unique between
// applications, numbered within one, so that a window is reached by typing a few characters.
#pragma once

#include "ui/switchers/SwitcherItem.h"

#include <cstddef>
#include <string>
#include <vector>

namespace korvane::SwitcherHints {

// The application's name lower-cased, then trimmed of spaces and tabs; "?" when nothing is left.
std::u32string applicationKey(const std::string& appName);

// Over the sorted list: each application key gets the shortest prefix that no other key begins with (the
// whole key when it begins another key); an application with one item takes the prefix, one with m items
// takes prefix + "1" ... prefix + "m" in list order.
void assignHints(std::vector<SwitcherItem>& items);

// Whether a typed character can take part in a hint: a letter or digit of any script, or ';'.
bool isHintCharacter(char32_t c);

// The items whose hint, lower-cased, equals `query` / begins with `query` (already lower case), in list
// order.
std::vector<std::size_t> exactMatches(const std::vector<SwitcherItem>& items, const std::string& query);
std::vector<std::size_t> prefixMatches(const std::vector<SwitcherItem>& items, const std::string& query);

} // namespace korvane::SwitcherHints
