// Per-display records, the display the user works on, screen look-ups and the focused window.
#include "app/DisplayRecords.h"

#include "app/DisplayUtil.h"
#include "app/DisplayWorkbenchSet.h"
#include "app/StatusBarEvent.h"
#include "app/StatusBarEventBus.h"
#include "core/AXUtil.h"
#include "core/MultiDisplayState.h"
#include "core/ScreenSpace.h"
#include "core/WMState.h"
#include "core/WindowInfoFields.h"
#include "layouts/BuiltinLayouts.h"
#include "layouts/LayoutDescriptor.h"
#include "layouts/LayoutSelectionStore.h"
#include "layouts/LayoutTemplateSet.h"
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

void ensureBuiltinTemplates(LayoutTemplateSet& templates) {
    for (const auto& builtin : builtinLayoutTemplateList())
        if (!templates.templateWithID(builtin.id)) templates.upsert(builtin);
}

} // namespace

DisplayRecords::DisplayRecords(platform::Platform& platform, std::shared_ptr<AXUtil> ax,
                               std::shared_ptr<MultiDisplayState> multiState, Stores stores,
                               std::shared_ptr<StatusBarEventBus> statusBarEventBus)
    : platform_(platform), ax_(std::move(ax)), multiState_(std::move(multiState)), stores_(std::move(stores)),
      statusBarEventBus_(std::move(statusBarEventBus)) {}

bool DisplayRecords::createDisplayRecord(const std::string& displayUUID) {
    const std::string uuid = trimmingWhitespaceAndNewlines(displayUUID);
    if (uuid.empty()) return false;
    auto& workbenches = stores_.displayWorkbenches->workbenches;
    auto& selection = *stores_.layoutSelection;
    if (!workbenches.count(uuid)) {
        // The display the user works on now lends its template to the new one.
        std::string templateID = kBuiltinSplit5050ID;
        auto active = workbenches.find(resolveActiveDisplayUUID(std::nullopt));
        if (active != workbenches.end()) templateID = active->second.activeTemplateID;
        workbenches[uuid] = DisplayWorkbench{uuid, templateID, platform_.runLoop().wallClock()};
    }
    auto workbench = workbenches.find(uuid);
    if (!selection.lastByDisplay.count(uuid) && workbench != workbenches.end())
        selection.lastByDisplay[uuid] = workbench->second.activeTemplateID;
    stores_.displayWorkbenches->save();
    LayoutSelectionStore::save(selection);
    statusBarEventBus_->publish(StatusBarInvalidationEvent::refreshRequested(
        StatusBarInvalidationReason::externalStateChanged, "AppDelegate+Display.createDisplayRecord"));
    return true;
}

std::string DisplayRecords::resolveActiveDisplayUUID(const std::optional<Rect>& windowFrame) {
    auto& screens = platform_.screens();
    // One of our own windows says where the user is without making that display the active one.
    if (windowFrame)
        if (auto screen = screenOfWindow(screens, *windowFrame)) return DisplayUtil::displayUUID(*screen);

    std::string resolved;
    if (auto focused = ax_->focusedWindow())
        if (auto frame = ax_->frame(*focused)) resolved = DisplayUtil::displayUUID(screens, *frame);
    // Our own key window speaks for the user when the frontmost application's focus cannot be read.
    if (resolved.empty())
        if (auto keyFrame = screens.keyWindowFrame())
            if (auto screen = screenOfWindow(screens, *keyFrame))
                resolved = DisplayUtil::displayUUID(*screen);
    if (resolved.empty())
        if (auto screen = DisplayUtil::screenUnderMouse(screens))
            resolved = DisplayUtil::displayUUID(*screen);
    if (resolved.empty()) return multiState_->activeDisplayUUID;

    multiState_->activeDisplayUUID = resolved;
    return resolved;
}

std::vector<std::string> DisplayRecords::connectedDisplayUUIDs() {
    std::vector<std::string> uuids;
    for (const auto& screen : platform_.screens().screens())
        uuids.push_back(DisplayUtil::displayUUID(screen));
    return uuids;
}

std::optional<platform::ScreenInfo> DisplayRecords::connectedScreen(const std::string& displayUUID) {
    for (const auto& screen : platform_.screens().screens())
        if (DisplayUtil::displayUUID(screen) == displayUUID) return screen;
    return std::nullopt;
}

std::optional<platform::ScreenInfo> DisplayRecords::screenOfDisplayOrMain(const std::string& displayUUID) {
    if (auto screen = connectedScreen(displayUUID)) return screen;
    return platform_.screens().mainScreen();
}

std::optional<DisplayRecords::FocusedWindow> DisplayRecords::focusedWindow() {
    std::optional<platform::AXElement> element = ax_->focusedWindow();
    if (!element) element = ax_->focusedWindowSystemWide();
    if (!element) element = frontmostFocusedWindow(platform_);
    if (!element) return std::nullopt;

    auto& screens = platform_.screens();
    if (auto frame = ax_->frame(*element))
        return FocusedWindow{*element, frame, DisplayUtil::displayUUID(screens, *frame)};

    const std::optional<WindowID> wid = ax_->windowID(*element);
    if (wid) {
        auto listed = platform_.windowServer().copyWindowInfo(platform::kIncludingWindow, *wid);
        if (listed && !listed->empty())
            if (auto bounds = windowinfo::bounds(listed->front())) {
                const Rect frame = flipRect(*bounds, primaryScreenHeight(screens).value_or(0));
                return FocusedWindow{*element, frame, DisplayUtil::displayUUID(screens, frame)};
            }
        for (const auto& [display, state] : multiState_->states)
            if (state->zoneOf.count(*wid)) return FocusedWindow{*element, std::nullopt, display};
    }
    return FocusedWindow{*element, std::nullopt, resolveActiveDisplayUUID(std::nullopt)};
}

void DisplayRecords::migrateLayoutTemplatesIfNeeded() {
    LayoutTemplateSet templates = LayoutTemplateSet::load();
    DisplayWorkbenchSet workbenches = DisplayWorkbenchSet::load();
    ensureBuiltinTemplates(templates);

    auto& defaults = platform_.userDefaults();
    const bool completed = defaults.boolValue(kLayoutTemplateMigrationFlag).value_or(false);
    if (completed && !templates.templates.empty() && !workbenches.workbenches.empty()) {
        *stores_.layoutTemplates = std::move(templates);
        *stores_.displayWorkbenches = std::move(workbenches);
        return;
    }

    if (workbenches.workbenches.empty()) {
        const Nanos now = platform_.runLoop().wallClock();
        for (const auto& [display, descriptor] : LayoutDescriptorSet::load().byDisplay)
            workbenches.workbenches[display] = DisplayWorkbench{display, descriptor.layoutID, now};
    }
    ensureBuiltinTemplates(templates);

    templates.save();
    workbenches.save();
    *stores_.layoutTemplates = std::move(templates);
    *stores_.displayWorkbenches = std::move(workbenches);
    defaults.set(kLayoutTemplateMigrationFlag, true);
}

} // namespace korvane
