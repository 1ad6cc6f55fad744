// The four layouts that ship with the program and need no file, their template forms, and the
// lookup of a built-in layout by its id or by the ids earlier versions used.
#pragma once

#include "layouts/ConfigZoneSet.h"
#include "layouts/LayoutTemplate.h"

#include <optional>
#include <string_view>
#include <vector>

namespace korvane {

inline constexpr const char* kBuiltinFullscreenID = "builtin.fullscreen";
inline constexpr const char* kBuiltinSplit6040ID = "builtin.split-60-40";
inline constexpr const char* kBuiltinSplit5050ID = "builtin.split-50-50";
inline constexpr const char* kBuiltinDailyID = "builtin.daily";

// Created once, on first use from any thread, and never changed.
const ConfigZoneSet& builtinFullscreenLayout();
const ConfigZoneSet& builtinSplit6040Layout();
const ConfigZoneSet& builtinSplit5050Layout();
const ConfigZoneSet& builtinDailyLayout();

// The same id, name, tree and version as the layouts above, without dates. There is no "Daily" template.
const LayoutTemplate& builtinFullscreenTemplate();
const LayoutTemplate& builtinSplit6040Template();
const LayoutTemplate& builtinSplit5050Template();
// Full screen, 60:40, 50:50.
const std::vector<LayoutTemplate>& builtinLayoutTemplateList();

// The built-in layout of a current or an older id, always carrying the current id; nothing for any
// other id. Whole ids compare exactly.
std::optional<ConfigZoneSet> legacyTemplateIDMap(std::string_view id);

} // namespace korvane
