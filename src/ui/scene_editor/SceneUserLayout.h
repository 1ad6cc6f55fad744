// The user layout a scene keeps for one of its displays, as the editor's canvas and the scene manager's
// presets both store it.
#pragma once

#include "layouts/ConfigZoneSet.h"
#include "layouts/LayoutNode.h"

#include <string>

namespace korvane {

class LayoutTemplateResolver;
class SceneStore;
struct ScreenContext;
struct WMScene;

namespace platform {
class ProcessInfo;
}

// `tree` as the scene's layout for `displayUUID`, named "<scene name> Layout". Only a user layout stored
// under exactly the display's current id, and named by no other stored scene nor by another display of
// this one, is replaced: storing an edit over one that others name would change what they show without a
// word. A built-in id, or an older id the resolver maps to a built-in, would be found as the built-in
// again. All of those (and a display without one) get a new "layout." id.
ConfigZoneSet sceneUserLayout(const WMScene& scene, const std::string& displayUUID, LayoutNode tree,
                              const LayoutTemplateResolver* resolver, SceneStore& store,
                              const ScreenContext& screens, platform::ProcessInfo& processInfo);

} // namespace korvane
