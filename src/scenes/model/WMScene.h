// A saved workspace: for each display, which layout applies and which applications go into which
// zone; with the rules that clean its per-display maps and its JSON form, older keys included.
#pragma once

#include "platform/Time.h"
#include "scenes/model/SceneDisplayResolution.h"
#include "scenes/model/ScreenContext.h"
#include "scenes/model/WindowHint.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

enum class RestoreMode { layoutOnly };

// "layoutOnly".
const char* rawValue(RestoreMode mode);
// Exactly "layoutOnly"; nothing for any other text.
std::optional<RestoreMode> restoreModeFromRawValue(std::string_view raw);

// The older per-scene hot key, read only to recover a slot number from its key code.
struct SceneHotkeyCombo {
    std::vector<std::string> modifiers;
    std::int64_t keyCode = 0;

    friend bool operator==(const SceneHotkeyCombo&, const SceneHotkeyCombo&) = default;

    // Throws DecodingError unless both keys are there with their types.
    static SceneHotkeyCombo fromJSON(const nlohmann::json& json);
};

// Scenes are told apart by `id` alone; there is deliberately no equality operator.
struct WMScene {
    using LayoutRefMap = std::map<std::string, std::string>;
    using WindowHintMap = std::map<std::string, std::vector<WindowHint>>;

    // The display key that stands for whichever display has no entry of its own.
    static constexpr const char* kDefaultDisplayKey = "default";

    std::string id; // canonical upper-case UUID text
    std::string name;
    Nanos createdAt = 0; // wall clock, ns since 1970 UTC
    Nanos updatedAt = 0;
    RestoreMode restoreMode = RestoreMode::layoutOnly;
    LayoutRefMap layoutRefsByDisplay; // display key -> layout reference
    std::optional<int> hotkeySlot;    // 1…9 when set
    WindowHintMap windowHints;        // display key -> hints, in placing order

    // Builders: every map a scene is made with goes through these.
    // Trimmed, non-empty references under normalised keys; of keys that normalise alike the first in
    // key order wins.
    static LayoutRefMap sanitizedLayoutRefs(const LayoutRefMap& refs);
    // Non-empty lists under normalised keys; lists whose keys normalise alike are concatenated in key order.
    static WindowHintMap sanitizedWindowHints(const WindowHintMap& hints);
    // Cut at the first "#" and trimmed; what is then empty or "default" gives "default". Normalising a
    // normalised key gives it back.
    static std::string normalizedDisplayKey(std::string_view key);

    // The display's own entry, else the only entry whatever its key, else nothing.
    std::optional<std::string> layoutRef(const std::string& forDisplay) const;
    std::vector<WindowHint> windowHintsForDisplay(const std::string& displayUUID) const;
    // Whether the scene keeps a layout or window hints under exactly this display key.
    bool configuresDisplay(const std::string& key) const;
    // The scene of `scenes` with this id; nullptr when there is none.
    static const WMScene* withID(const std::vector<WMScene>& scenes, const std::string& id);

    // Screens in the given order with the main screen swapped to the front, repeats dropped.
    static std::vector<std::string> orderedDisplayUUIDs(const ScreenContext& screens);
    std::optional<std::string> fallbackLayoutRef(const std::set<std::string>& connectedDisplays) const;
    std::optional<std::vector<WindowHint>>
    fallbackWindowHints(const std::set<std::string>& connectedDisplays) const;
    SceneDisplayResolution resolveDisplays(const ScreenContext& screens) const;

    // Keys in the order "id", "name", "createdAt", "updatedAt", "restoreMode", "hotkeySlot" (when set),
    // "layoutRefsByDisplay" (always), "windowHints" (when not empty); dates as ISO 8601 UTC text.
    nlohmann::ordered_json toJSON() const;
    // Reads the current keys and the older ones. A "default" entry is folded into one of `screens`
    // (the one display without an entry of its own, else the only screen) or dropped; `now` stands
    // in for a missing "createdAt". Throws DecodingError when the scene cannot be read.
    static WMScene fromJSON(const nlohmann::json& json, const ScreenContext& screens, Nanos now);
};

} // namespace korvane

template <> struct std::hash<korvane::SceneHotkeyCombo> {
    std::size_t operator()(const korvane::SceneHotkeyCombo& combo) const noexcept;
};
