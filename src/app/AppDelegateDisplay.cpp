// Per-display records of the application object.
#include "app/AppDelegate.h"

#include "layouts/BuiltinLayouts.h"
#include "platform/Platform.h"
#include "platform/TextTrim.h"

namespace korvane {

bool AppDelegate::createDisplayRecord(const std::string& displayUUID) {
    const std::string uuid = trimmingWhitespaceAndNewlines(displayUUID);
    if (uuid.empty()) return false;
    if (!displayWorkbenches.workbenches.count(uuid)) {
        // The display the user works on now lends its template to the new one.
        std::string templateID = kBuiltinSplit5050ID;
        if (multiState) {
            auto active = displayWorkbenches.workbenches.find(multiState->activeDisplayUUID);
            if (active != displayWorkbenches.workbenches.end()) templateID = active->second.activeTemplateID;
        }
        displayWorkbenches.workbenches[uuid] =
            DisplayWorkbench{uuid, templateID, platform_.runLoop().wallClock()};
    }
    auto workbench = displayWorkbenches.workbenches.find(uuid);
    if (!layoutSelection.lastByDisplay.count(uuid) && workbench != displayWorkbenches.workbenches.end())
        layoutSelection.lastByDisplay[uuid] = workbench->second.activeTemplateID;
    displayWorkbenches.save();
    LayoutSelectionStore::save(layoutSelection);
    publishRefresh("AppDelegate+Display.createDisplayRecord");
    return true;
}

} // namespace korvane
