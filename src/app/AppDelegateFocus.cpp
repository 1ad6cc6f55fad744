// The window that has the keyboard focus and the display it belongs to, the layout-memory scope of a
// display, and the last used zone kept in step with the focus.
#include "app/AppDelegate.h"

#include "app/DisplayUtil.h"
#include "core/AXUtil.h"
#include "core/Log.h"
#include "core/ScreenSpace.h"
#include "core/WMController.h"
#include "core/WMState.h"
#include "core/WindowInfoFields.h"
#include "platform/Platform.h"

namespace korvane {

namespace {

// The frontmost application's "AXFocusedWindow", read once and without the wrapper's retries.
std::optional<platform::AXElement> frontmostFocusedWindow(platform::Platform& platform) {
    auto front = platform.workspace().frontmostApplication();
    if (!front) return std::nullopt;
    auto& accessibility = platform.accessibility();
    platform::AXValue value;
    if (accessibility.copyAttribute(accessibility.applicationElement(front->pid), "AXFocusedWindow", value) !=
        platform::AXError::success)
        return std::nullopt;
    if (const auto* element = std::get_if<platform::AXElement>(&value); element && *element) return *element;
    return std::nullopt;
}

} // namespace

std::optional<AppDelegate::FocusedWindow> AppDelegate::focusedWindow() {
    std::optional<platform::AXElement> element = ax->focusedWindow();
    if (!element) element = ax->focusedWindowSystemWide();
    if (!element) element = frontmostFocusedWindow(platform_);
    if (!element) return std::nullopt;

    auto& screens = platform_.screens();
    if (auto frame = ax->frame(*element))
        return FocusedWindow{*element, frame, DisplayUtil::displayUUID(screens, *frame)};

    const std::optional<WindowID> wid = ax->windowID(*element);
    if (wid) {
        auto listed = platform_.windowServer().copyWindowInfo(platform::kIncludingWindow, *wid);
        if (listed && !listed->empty())
            if (auto bounds = windowinfo::bounds(listed->front())) {
                const Rect frame = flipRect(*bounds, primaryScreenHeight(screens).value_or(0));
                return FocusedWindow{*element, frame, DisplayUtil::displayUUID(screens, frame)};
            }
        if (multiState)
            for (const auto& [display, state] : multiState->states)
                if (state->zoneOf.count(*wid)) return FocusedWindow{*element, std::nullopt, display};
    }
    return FocusedWindow{*element, std::nullopt, resolveActiveDisplayUUID(std::nullopt)};
}

std::optional<LayoutMemoryKey> AppDelegate::memoryScope(const std::string& displayUUID) {
    if (auto cached = memoryScopes.find(displayUUID); cached != memoryScopes.end()) return cached->second;
    std::optional<LayoutMemoryKey> scope;
    if (auto workbench = displayWorkbenches.workbenches.find(displayUUID);
        workbench != displayWorkbenches.workbenches.end())
        scope = LayoutMemoryKey{displayUUID, workbench->second.activeTemplateID};
    else if (auto selected = layoutSelection.lastByDisplay.find(displayUUID);
             selected != layoutSelection.lastByDisplay.end())
        scope = LayoutMemoryKey{displayUUID, selected->second};
    if (scope) memoryScopes[displayUUID] = *scope;
    return scope;
}

void AppDelegate::onWindowFocusSync(WindowID wid) {
    auto interval = Log::signposts.beginInterval("OnWindowFocusSync");
    if (multiState)
        for (const auto& [display, state] : multiState->states) {
            auto mapped = state->zoneOf.find(wid);
            if (mapped == state->zoneOf.end()) continue;
            lastUsedRegion = mapped->second;
            lastUsedRegionByDisplay[display] = mapped->second;
            Log::app.debug("OnWindowFocusSync: wid=%u rid=%ld display=%s", wid, mapped->second, display);
            return;
        }
    Log::app.debug("OnWindowFocusSync: wid=%u not mapped in any display state", wid);
}

void AppDelegate::updateLastUsedRegionFromFocus() {
    auto interval = Log::signposts.beginInterval("UpdateLastUsedRegionFromFocus");
    const auto focused = focusedWindow();
    if (!focused) return;
    const auto wid = ax->windowID(focused->element);
    if (!wid) return;
    if (controller) controller->adopt(focused->element, *wid, focused->displayUUID);

    if (!multiState) return;
    auto state = multiState->states.find(focused->displayUUID);
    if (state == multiState->states.end()) return;
    auto mapped = state->second->zoneOf.find(*wid);
    if (mapped == state->second->zoneOf.end()) return;
    lastUsedRegion = mapped->second;
    lastUsedRegionByDisplay[focused->displayUUID] = mapped->second;
    Log::app.info("SyncRegion: confirmed focus rid=%ld for wid=%u", mapped->second, *wid);
}

} // namespace korvane
