// Which id a display's layout is stored under, and the fields its file gets.
#include "ui/scene_editor/SceneUserLayout.h"

#include "layouts/LayoutTemplateResolver.h"
#include "platform/ProcessInfo.h"
#include "platform/TextCase.h"
#include "platform/TextTrim.h"
#include "scenes/model/WMScene.h"

#include <utility>

namespace korvane {

ConfigZoneSet sceneUserLayout(const WMScene& scene, const std::string& displayUUID, LayoutNode tree,
                              const LayoutTemplateResolver* resolver, platform::ProcessInfo& processInfo) {
    std::string id;
    const auto ref = scene.layoutRefsByDisplay.find(displayUUID);
    if (ref != scene.layoutRefsByDisplay.end() && ref->second.rfind("builtin.", 0) != 0 && resolver) {
        const auto found = resolver->regionSet(ref->second);
        if (found && found->id == ref->second) id = ref->second;
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
