// Scene values: the cleaning of their per-display maps, the lookups for one display and the JSON form.
#include "scenes/model/WMScene.h"

#include "core/ISODate.h"
#include "core/JSONFields.h"
#include "platform/TextTrim.h"

#include <algorithm>
#include <functional>

namespace korvane {

namespace {

WMScene::LayoutRefMap decodeLayoutRefMap(const nlohmann::json& scene, std::string_view key) {
    WMScene::LayoutRefMap out;
    const nlohmann::json* map = jsonfields::member(scene, key);
    if (!map) return out;
    jsonfields::requireObject(*map, key);
    for (const auto& [displayKey, value] : map->items())
        out[displayKey] = jsonfields::asString(value, displayKey);
    return out;
}

WMScene::WindowHintMap decodeWindowHintMap(const nlohmann::json& scene) {
    WMScene::WindowHintMap out;
    const nlohmann::json* map = jsonfields::member(scene, "windowHints");
    if (!map) return out;
    jsonfields::requireObject(*map, "windowHints");
    for (const auto& [displayKey, list] : map->items()) {
        if (!list.is_array())
            throw DecodingError("Expected an array of window hints for display key \"" + displayKey + "\"");
        auto& hints = out[displayKey];
        for (const auto& hint : list)
            hints.push_back(WindowHint::fromJSON(hint));
    }
    return out;
}

// The display that takes a map's "default" entry: the one connected display without an entry of its
// own, else the only connected screen, else none.
template <class Map>
std::optional<std::string> defaultEntryTarget(const Map& map, const ScreenContext& screens) {
    std::vector<std::string> missing;
    for (const auto& uuid : screens.displayUUIDs()) {
        if (uuid == WMScene::kDefaultDisplayKey || map.count(uuid)) continue;
        if (std::find(missing.begin(), missing.end(), uuid) == missing.end()) missing.push_back(uuid);
    }
    if (missing.size() == 1) return missing.front();
    if (screens.screens.size() == 1) return screens.screens.front().displayUUID;
    return std::nullopt;
}

bool inHotkeySlotRange(std::int64_t slot) {
    return slot >= 1 && slot <= 9;
}

} // namespace

const char* rawValue(RestoreMode) {
    return "layoutOnly";
}

std::optional<RestoreMode> restoreModeFromRawValue(std::string_view raw) {
    if (raw == "layoutOnly") return RestoreMode::layoutOnly;
    return std::nullopt;
}

SceneHotkeyCombo SceneHotkeyCombo::fromJSON(const nlohmann::json& json) {
    jsonfields::requireObject(json, "hotkey");
    SceneHotkeyCombo combo;
    for (const auto& m : jsonfields::requireArray(json, "modifiers"))
        combo.modifiers.push_back(jsonfields::asString(m, "modifiers"));
    combo.keyCode = jsonfields::requireInteger(json, "keyCode");
    return combo;
}

std::string WMScene::normalizedDisplayKey(std::string_view key) {
    // Cut before testing for empty, and trim what is left: "#x" must not come out as "" (which the next
    // clean would turn into "default" after the fold) nor "A #2" as "A " (which the next clean would
    // trim), so that a normalised key stays itself and decoding a scene twice gives the same maps.
    std::string_view t = trimmedView(key);
    t = trimmedView(t.substr(0, t.find('#')));
    if (t.empty() || t == kDefaultDisplayKey) return kDefaultDisplayKey;
    return std::string(t);
}

WMScene::LayoutRefMap WMScene::sanitizedLayoutRefs(const LayoutRefMap& refs) {
    LayoutRefMap out;
    for (const auto& [key, value] : refs) {
        std::string_view ref = trimmedView(value);
        if (ref.empty()) continue;
        out.try_emplace(normalizedDisplayKey(key), ref);
    }
    return out;
}

WMScene::WindowHintMap WMScene::sanitizedWindowHints(const WindowHintMap& hints) {
    WindowHintMap out;
    for (const auto& [key, list] : hints) {
        if (list.empty()) continue;
        auto& target = out[normalizedDisplayKey(key)];
        target.insert(target.end(), list.begin(), list.end());
    }
    return out;
}

std::optional<std::string> WMScene::layoutRef(const std::string& forDisplay) const {
    if (layoutRefsByDisplay.empty()) return std::nullopt;
    if (auto it = layoutRefsByDisplay.find(forDisplay); it != layoutRefsByDisplay.end()) return it->second;
    if (layoutRefsByDisplay.size() == 1) return layoutRefsByDisplay.begin()->second;
    return std::nullopt;
}

std::vector<WindowHint> WMScene::windowHintsForDisplay(const std::string& displayUUID) const {
    if (windowHints.empty()) return {};
    if (auto it = windowHints.find(displayUUID); it != windowHints.end()) return it->second;
    if (windowHints.size() == 1) return windowHints.begin()->second;
    return {};
}

bool WMScene::configuresDisplay(const std::string& key) const {
    return layoutRefsByDisplay.count(key) > 0 || windowHints.count(key) > 0;
}

const WMScene* WMScene::withID(const std::vector<WMScene>& scenes, const std::string& id) {
    for (const auto& scene : scenes)
        if (scene.id == id) return &scene;
    return nullptr;
}

nlohmann::ordered_json WMScene::toJSON() const {
    nlohmann::ordered_json j = nlohmann::ordered_json::object();
    j["id"] = id;
    j["name"] = name;
    j["createdAt"] = isoDateString(createdAt);
    j["updatedAt"] = isoDateString(updatedAt);
    j["restoreMode"] = rawValue(restoreMode);
    if (hotkeySlot) j["hotkeySlot"] = *hotkeySlot;
    nlohmann::ordered_json refs = nlohmann::ordered_json::object();
    for (const auto& [display, ref] : layoutRefsByDisplay)
        refs[display] = ref;
    j["layoutRefsByDisplay"] = std::move(refs);
    if (!windowHints.empty()) {
        nlohmann::ordered_json hints = nlohmann::ordered_json::object();
        for (const auto& [display, list] : windowHints) {
            nlohmann::ordered_json arr = nlohmann::ordered_json::array();
            for (const auto& hint : list)
                arr.push_back(hint.toJSON());
            hints[display] = std::move(arr);
        }
        j["windowHints"] = std::move(hints);
    }
    return j;
}

WMScene WMScene::fromJSON(const nlohmann::json& json, const ScreenContext& screens, Nanos now) {
    jsonfields::requireObject(json, "scene");
    WMScene scene;
    scene.id = jsonfields::requireUUID(json, "id");
    scene.name = jsonfields::requireString(json, "name");
    scene.createdAt = jsonfields::optionalDate(json, "createdAt").value_or(now);
    scene.updatedAt = jsonfields::optionalDate(json, "updatedAt").value_or(scene.createdAt);

    // The older map is a replacement, never a supplement: the two are not merged.
    LayoutRefMap current = sanitizedLayoutRefs(decodeLayoutRefMap(json, "layoutRefsByDisplay"));
    LayoutRefMap older = sanitizedLayoutRefs(decodeLayoutRefMap(json, "layoutByDisplay"));
    LayoutRefMap refs = !current.empty() ? std::move(current) : std::move(older);

    // A blank older layout counts as none: folded onto the only screen it would replace that display's
    // own reference and then be cleaned away, leaving the display without a layout.
    if (auto layoutID = jsonfields::optionalString(json, "layoutID");
        layoutID && !trimmedView(*layoutID).empty())
        refs.try_emplace(kDefaultDisplayKey, *layoutID);
    if (refs.empty()) {
        if (auto primary = jsonfields::optionalString(json, "primaryLayoutRef"); primary && !primary->empty())
            refs[kDefaultDisplayKey] = *primary;
    }
    if (auto it = refs.find(kDefaultDisplayKey); it != refs.end()) {
        std::string fallback = it->second;
        refs.erase(it);
        if (auto target = defaultEntryTarget(refs, screens)) refs[*target] = fallback;
    }
    scene.layoutRefsByDisplay = sanitizedLayoutRefs(refs);

    if (auto slot = jsonfields::optionalInteger(json, "hotkeySlot"); slot && inHotkeySlotRange(*slot)) {
        scene.hotkeySlot = static_cast<int>(*slot);
    } else if (const auto* hotkey = jsonfields::member(json, "hotkey")) {
        auto combo = SceneHotkeyCombo::fromJSON(*hotkey);
        if (inHotkeySlotRange(combo.keyCode)) scene.hotkeySlot = static_cast<int>(combo.keyCode);
    }

    WindowHintMap hints = sanitizedWindowHints(decodeWindowHintMap(json));
    if (auto it = hints.find(kDefaultDisplayKey); it != hints.end()) {
        std::vector<WindowHint> fallback = std::move(it->second);
        hints.erase(it);
        if (auto target = defaultEntryTarget(hints, screens)) {
            auto& list = hints[*target];
            list.insert(list.end(), fallback.begin(), fallback.end());
        }
    }
    scene.windowHints = std::move(hints);
    scene.restoreMode = RestoreMode::layoutOnly;
    return scene;
}

} // namespace korvane

std::size_t
std::hash<korvane::SceneHotkeyCombo>::operator()(const korvane::SceneHotkeyCombo& combo) const noexcept {
    std::size_t h = std::hash<std::int64_t>{}(combo.keyCode);
    for (const auto& m : combo.modifiers)
        h ^= std::hash<std::string>{}(m) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
    return h;
}
