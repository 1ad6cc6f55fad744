// Which id a display's layout is stored under, and the fields its file gets.
#include "ui/scene_editor/SceneUserLayout.h"

#include "layouts/LayoutTemplateResolver.h"
#include "platform/ProcessInfo.h"
#include "platform/TextCase.h"
#include "platform/TextTrim.h"
#include "scenes/SceneStore.h"
#include "scenes/model/WMScene.h"

#include <utility>

namespace korvane {

namespace {

// Whether a stored scene names the layout anywhere but under this scene's display. The scenes as stored,
// not the copy the caller holds: another window may have bound the layout since.
bool namedElsewhere(const std::string& layoutID, const WMScene& scene, const std::string& displayUUID,
                    SceneStore& store, const ScreenContext& screens) {
    for (const WMScene& stored : store.loadAllScenes(screens))
        for (const auto& [display, ref] : stored.layoutRefsByDisplay)
            if (ref == layoutID && (stored.id != scene.id || display != displayUUID)) return true;
    return false;
}

} // namespace

ConfigZoneSet sceneUserLayout(const WMScene& scene, const std::string& displayUUID, LayoutNode tree,
                              const LayoutTemplateResolver* resolver, SceneStore& store,
                              const ScreenContext& screens, platform::ProcessInfo& processInfo) {
    std::string id;
    const auto ref = scene.layoutRefsByDisplay.find(displayUUID);
    if (ref != scene.layoutRefsByDisplay.end() && ref->second.rfind("builtin.", 0) != 0 && resolver) {
        const auto found = resolver->regionSet(ref->second);
        if (found && found->id == ref->second &&
            !namedElsewhere(ref->second, scene, displayUUID, store, screens))
            id = ref->second;
    }
    if (id.empty()) id = "layout." + asciiLowercased(processInfo.makeUUID().substr(0, 8));

    ConfigZoneSet zoneSet;
    zoneSet.id = id;
    const std::string display = trimmingWhitespaceAndNewlines(displayUUID);
    if (!display.empty()) zoneSet.displayUUID = display;
    zoneSet.name = scene.name + " Layout";
    zoneSet.version = "2.0";
    zoneSet.layoutTree = std::move(tree);
    return zoneSet;
}

} // namespace korvane
