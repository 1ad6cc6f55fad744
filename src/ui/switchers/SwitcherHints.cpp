// Hint assignment sorts the distinct application keys once: the longest prefix a key shares with any
// other key is the one it shares with a neighbour in sorted order, so every key finds its hint in
// constant time after the sort instead of against every other key.
#include "ui/switchers/SwitcherHints.h"

#include "ui/switchers/SwitcherText.h"

#include <algorithm>
#include <unordered_map>

namespace korvane::SwitcherHints {

namespace {

std::size_t commonPrefixLength(const std::u32string& a, const std::u32string& b) {
    const std::size_t n = std::min(a.size(), b.size());
    std::size_t i = 0;
    while (i < n && a[i] == b[i])
        ++i;
    return i;
}

} // namespace

std::u32string applicationKey(const std::string& appName) {
    const std::u32string lower = switchertext::lowercased(switchertext::scalars(appName));
    std::u32string key(switchertext::trimmingSpacesAndTabs(lower));
    return key.empty() ? std::u32string(U"?") : key;
}

void assignHints(std::vector<SwitcherItem>& items) {
    std::vector<std::u32string> keyOfItem;
    keyOfItem.reserve(items.size());
    std::unordered_map<std::u32string, std::size_t> groupSize;
    for (const auto& item : items) {
        keyOfItem.push_back(applicationKey(item.appName));
        ++groupSize[keyOfItem.back()];
    }

    std::vector<std::u32string> keys;
    keys.reserve(groupSize.size());
    for (const auto& [key, size] : groupSize)
        keys.push_back(key);
    std::sort(keys.begin(), keys.end());
    std::unordered_map<std::u32string, std::string> prefixOf;
    prefixOf.reserve(keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) {
        std::size_t shared = 0;
        if (i > 0) shared = std::max(shared, commonPrefixLength(keys[i], keys[i - 1]));
        if (i + 1 < keys.size()) shared = std::max(shared, commonPrefixLength(keys[i], keys[i + 1]));
        const std::size_t length = std::min(shared + 1, keys[i].size());
        prefixOf.emplace(keys[i], switchertext::utf8(std::u32string_view(keys[i]).substr(0, length)));
    }

    std::unordered_map<std::u32string, std::size_t> numbered;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const auto& key = keyOfItem[i];
        const std::string& prefix = prefixOf[key];
        if (groupSize[key] == 1)
            items[i].hint = prefix;
        else
            items[i].hint = prefix + std::to_string(++numbered[key]);
    }
}

bool isHintCharacter(char32_t c) {
    return c == U';' || switchertext::isAlphanumeric(c);
}

std::vector<std::size_t> exactMatches(const std::vector<SwitcherItem>& items, const std::string& query) {
    std::vector<std::size_t> out;
    for (std::size_t i = 0; i < items.size(); ++i)
        if (items[i].hint && switchertext::lowercased(*items[i].hint) == query) out.push_back(i);
    return out;
}

std::vector<std::size_t> prefixMatches(const std::vector<SwitcherItem>& items, const std::string& query) {
    std::vector<std::size_t> out;
    for (std::size_t i = 0; i < items.size(); ++i)
        if (items[i].hint && switchertext::lowercased(*items[i].hint).rfind(query, 0) == 0) out.push_back(i);
    return out;
}

} // namespace korvane::SwitcherHints
