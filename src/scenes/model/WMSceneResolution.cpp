// Resolving a scene against the connected screens: which display gets which layout reference and
// which hints, including the fallback for a scene saved on displays that are gone.
#include "scenes/model/WMScene.h"

#include <algorithm>

namespace korvane {

namespace {

// Step one: the single entry that `counts` other than "default", when its display is not connected and
// `usable` holds for it. Step two: otherwise, the "default" entry of a non-empty map.
template <class Map, class Counts, class Usable>
std::optional<typename Map::mapped_type> fallbackEntry(const Map& map, const std::set<std::string>& connected,
                                                       Counts counts, Usable usable) {
    const typename Map::value_type* only = nullptr;
    std::size_t count = 0;
    for (const auto& entry : map) {
        if (entry.first == WMScene::kDefaultDisplayKey || !counts(entry.second)) continue;
        only = &entry;
        ++count;
    }
    if (count == 1 && !connected.count(only->first) && usable(only->second)) return only->second;
    if (auto it = map.find(WMScene::kDefaultDisplayKey); it != map.end()) return it->second;
    return std::nullopt;
}

} // namespace

std::vector<std::string> WMScene::orderedDisplayUUIDs(const ScreenContext& screens) {
    std::vector<std::string> uuids = screens.displayUUIDs();
    if (screens.mainDisplayUUID) {
        auto it = std::find(uuids.begin(), uuids.end(), *screens.mainDisplayUUID);
        if (it != uuids.end() && it != uuids.begin()) std::iter_swap(uuids.begin(), it);
    }
    std::vector<std::string> unique;
    for (auto& uuid : uuids)
        if (std::find(unique.begin(), unique.end(), uuid) == unique.end()) unique.push_back(std::move(uuid));
    return unique;
}

std::optional<std::string> WMScene::fallbackLayoutRef(const std::set<std::string>& connectedDisplays) const {
    return fallbackEntry(
        layoutRefsByDisplay, connectedDisplays, [](const std::string&) { return true; },
        [](const std::string& ref) { return !ref.empty(); });
}

std::optional<std::vector<WindowHint>>
WMScene::fallbackWindowHints(const std::set<std::string>& connectedDisplays) const {
    auto nonEmpty = [](const std::vector<WindowHint>& list) { return !list.empty(); };
    return fallbackEntry(windowHints, connectedDisplays, nonEmpty, nonEmpty);
}

SceneDisplayResolution WMScene::resolveDisplays(const ScreenContext& screens) const {
    SceneDisplayResolution result;
    result.orderedDisplayUUIDs = orderedDisplayUUIDs(screens);
    if (result.orderedDisplayUUIDs.empty()) return result;
    const std::set<std::string> connected(result.orderedDisplayUUIDs.begin(),
                                          result.orderedDisplayUUIDs.end());

    for (const auto& uuid : result.orderedDisplayUUIDs) {
        auto it = layoutRefsByDisplay.find(uuid);
        if (it == layoutRefsByDisplay.end()) continue;
        result.layoutRefs[uuid] = it->second;
        result.matchedDisplayUUIDs.insert(uuid);
    }
    if (result.matchedDisplayUUIDs.empty()) {
        if (auto ref = fallbackLayoutRef(connected)) {
            const std::string& first = result.orderedDisplayUUIDs.front();
            result.layoutRefs[first] = *ref;
            result.fallbackDisplayUUID = first;
        }
    }

    for (const auto& uuid : result.orderedDisplayUUIDs) {
        if (!result.layoutRefs.count(uuid)) continue;
        auto it = windowHints.find(uuid);
        if (it != windowHints.end() && !it->second.empty()) result.windowHints[uuid] = it->second;
    }

    auto fallbackHints = fallbackWindowHints(connected);
    if (fallbackHints && !fallbackHints->empty()) {
        auto hasNoHints = [&](const std::string& uuid) { return !result.windowHints.count(uuid); };
        if (result.fallbackDisplayUUID && hasNoHints(*result.fallbackDisplayUUID)) {
            result.windowHints[*result.fallbackDisplayUUID] = *fallbackHints;
        } else if (result.layoutRefs.size() == 1 && hasNoHints(result.layoutRefs.begin()->first)) {
            result.windowHints[result.layoutRefs.begin()->first] = *fallbackHints;
        }
    }
    return result;
}

} // namespace korvane
