// Per-display records of the application object and the resolution of the display the user works on.
#include "app/AppDelegate.h"

#include "app/DisplayUtil.h"
#include "core/AXUtil.h"
#include "layouts/BuiltinLayouts.h"
#include "platform/Platform.h"
#include "platform/TextTrim.h"

namespace korvane {

namespace {

// The screen that holds the largest part of the frame; nothing when it lies on none.
std::optional<platform::ScreenInfo> screenOfWindow(platform::Screens& screens, const Rect& frame) {
    std::optional<platform::ScreenInfo> best;
    double bestArea = 0;
    for (const auto& screen : screens.screens()) {
        if (!screen.frame.intersects(frame)) continue;
        const double area = screen.frame.intersection(frame).area();
        if (area > bestArea) {
            best = screen;
            bestArea = area;
        }
    }
    return best;
}

} // namespace

bool AppDelegate::createDisplayRecord(const std::string& displayUUID) {
    const std::string uuid = trimmingWhitespaceAndNewlines(displayUUID);
    if (uuid.empty()) return false;
    if (!displayWorkbenches.workbenches.count(uuid)) {
        // The display the user works on now lends its template to the new one.
        std::string templateID = kBuiltinSplit5050ID;
        auto active = displayWorkbenches.workbenches.find(resolveActiveDisplayUUID(std::nullopt));
        if (active != displayWorkbenches.workbenches.end()) templateID = active->second.activeTemplateID;
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

std::string AppDelegate::resolveActiveDisplayUUID(const std::optional<Rect>& windowFrame) {
    auto& screens = platform_.screens();
    // One of our own windows says where the user is without making that display the active one.
    if (windowFrame)
        if (auto screen = screenOfWindow(screens, *windowFrame)) return DisplayUtil::displayUUID(*screen);

    std::string resolved;
    if (auto focused = ax->focusedWindow())
        if (auto frame = ax->frame(*focused)) resolved = DisplayUtil::displayUUID(screens, *frame);
    // This application has no key window of its own to ask about.
    if (resolved.empty())
        if (auto screen = DisplayUtil::screenUnderMouse(screens))
            resolved = DisplayUtil::displayUUID(*screen);
    if (resolved.empty()) return multiState ? multiState->activeDisplayUUID : std::string();

    if (multiState) multiState->activeDisplayUUID = resolved;
    return resolved;
}

} // namespace korvane
