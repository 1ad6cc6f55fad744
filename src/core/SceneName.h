// Whether a layout reference (a layout set's id, or the layout a scene names for a display) may be used
// and stored.
#pragma once

#include <optional>
#include <string>

namespace korvane {

// The reference without surrounding white space, or nothing when it is absent, blank, or names one of
// the transient sets of a scene restore ("scene-restore-…", "scene-apply-…").
std::optional<std::string> sceneNameForDisplay(const std::optional<std::string>& name);

} // namespace korvane
