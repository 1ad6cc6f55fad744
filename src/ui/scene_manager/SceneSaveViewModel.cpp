// Capturing the windows on screen for a new scene and giving each one a zone.
#include "ui/scene_manager/SceneSaveViewModel.h"

#include "app/DisplayUtil.h"
#include "core/OwnWindows.h"
#include "core/Rescuer.h"
#include "core/ScreenSpace.h"
#include "core/WMController.h"
#include "core/WindowInfoFields.h"
#include "layouts/ConfigZoneSet.h"
#include "layouts/LayoutTemplateResolver.h"
#include "platform/Platform.h"
#include "scenes/SceneStore.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>

namespace korvane {

namespace WK = platform::WindowKey;
namespace BK = platform::BoundsKey;

namespace {

// Window-list bounds with a stand-in size for a missing key; a bounds value that is not a dictionary of
// numbers tells nothing, so the frame is empty.
Rect capturedFrame(const platform::WindowInfo& info) {
    auto bounds = info.find(WK::bounds);
    if (bounds == info.end() || !bounds->is_object()) return Rect{};
    for (const auto& value : *bounds)
        // Non-finite values would also break the ordering of the entries.
        if (!value.is_number() || !std::isfinite(value.get<double>())) return Rect{};
    auto number = [&](const char* key, double fallback) {
        auto found = bounds->find(key);
        return found == bounds->end() ? fallback : found->get<double>();
    };
    return Rect{number(BK::x, 0), number(BK::y, 0), number(BK::width, 400), number(BK::height, 300)};
}

std::int64_t nearestZone(const NormalizedFrame& frame, const std::vector<ZoneListEntry>& zones) {
    const double cx = frame.x + frame.width * 0.5;
    const double cy = frame.y + frame.height * 0.5;
    std::int64_t best = zones.front().id;
    double bestDistance = std::numeric_limits<double>::infinity();
    for (const auto& zone : zones) {
        const double distance = std::hypot(cx - zone.frame.midX(), cy - zone.frame.midY());
        // Strictly nearer only: of equally near zones the earlier keeps the entry.
        if (distance < bestDistance) {
            best = zone.id;
            bestDistance = distance;
        }
    }
    return best;
}

} // namespace

SceneSaveViewModel::SceneSaveViewModel(platform::Platform& platform, std::shared_ptr<SceneStore> store,
                                       std::function<void(const WMScene&)> onSave,
                                       std::function<void()> onDismiss)
    : onSave(std::move(onSave)), onDismiss(std::move(onDismiss)), platform_(platform),
      store_(std::move(store)) {}

bool operator==(const SceneSaveViewModel::WindowEntry& a, const SceneSaveViewModel::WindowEntry& b) {
    return a.windowID == b.windowID && a.bundleID == b.bundleID && a.title == b.title &&
           a.appName == b.appName && a.currentFrame == b.currentFrame &&
           a.normalizedFrame == b.normalizedFrame && a.displayUUID == b.displayUUID &&
           a.displayName == b.displayName && a.zoneID == b.zoneID && a.included == b.included;
}

bool SceneSaveViewModel::entryPrecedes(const WindowEntry& a, const WindowEntry& b) {
    if (a.displayName != b.displayName) return a.displayName < b.displayName;
    if (a.currentFrame.minY() != b.currentFrame.minY()) return a.currentFrame.minY() > b.currentFrame.minY();
    return a.currentFrame.minX() < b.currentFrame.minX();
}

void SceneSaveViewModel::loadWindows() {
    auto list =
        platform_.windowServer().copyWindowInfo(platform::kOnScreenOnly | platform::kExcludeDesktopElements);
    if (!list || !std::all_of(list->begin(), list->end(), [](const auto& e) { return e.is_object(); }))
        return;

    // Window-list bounds are top-left global, the screens and the zones bottom-left: the display, the
    // normalised frame and the zone are found on the flipped frame.
    const double flipHeight = primaryScreenHeight(platform_.screens()).value_or(0);
    const auto screens = platform_.screens().screens();
    std::vector<WindowEntry> entries;
    for (const auto& info : *list) {
        if (windowinfo::integerValue(info, WK::layer) != 0) continue;
        const auto owner = windowinfo::stringValue(info, WK::ownerName);
        if (!owner || *owner == "WindowServer") continue;
        const auto number = windowinfo::windowNumber(info);
        const auto ownerPID = windowinfo::integerValue(info, WK::ownerPID);
        if (!number || !ownerPID) continue;
        const auto pid = static_cast<pid_t>(static_cast<std::int32_t>(static_cast<std::uint32_t>(*ownerPID)));
        if (isOwnProcess(platform_, pid)) continue;
        // A parked window is in no zone: shown in the zone its on-screen sliver touches, it would be
        // saved there and brought out of parking by the scene's restore.
        if (isParkedWindow(info, flipRect(capturedFrame(info), flipHeight), screens)) continue;
        entries.push_back(captureEntry(info, *number, pid, *owner, flipHeight));
    }
    std::stable_sort(entries.begin(), entries.end(), entryPrecedes);
    windowEntries = std::move(entries);

    if (sceneName.empty()) proposeName();
    autoAssignZones();
}

SceneSaveViewModel::WindowEntry SceneSaveViewModel::captureEntry(const platform::WindowInfo& info,
                                                                 WindowID number, pid_t pid,
                                                                 const std::string& owner,
                                                                 double flipHeight) {
    auto& screens = platform_.screens();
    WindowEntry entry;
    entry.id = platform_.processInfo().makeUUID();
    entry.windowID = number;
    entry.pid = pid;
    entry.title = windowinfo::stringValue(info, WK::name).value_or("");
    const auto app = platform_.workspace().runningApplication(pid);
    if (app) {
        entry.bundleID = app->bundleID;
        entry.icon = platform_.workspace().iconForRunningApplication(pid);
    }
    entry.appName = app && app->name ? *app->name : owner;

    entry.currentFrame = capturedFrame(info);
    const Rect onScreens = flipRect(entry.currentFrame, flipHeight);
    entry.displayUUID = DisplayUtil::displayUUID(screens, onScreens);
    entry.displayName = DisplayUtil::displayName(screens, entry.displayUUID);

    const auto all = screens.screens();
    std::optional<platform::ScreenInfo> screen;
    for (const auto& s : all)
        if (DisplayUtil::displayUUID(s) == entry.displayUUID) {
            screen = s;
            break;
        }
    if (!screen) screen = screens.mainScreen();
    if (!screen && !all.empty()) screen = all.front();
    // Without any screen there is no visible frame, which normalises to the whole unit square.
    entry.normalizedFrame = NormalizedFrame(onScreens, screen.value_or(platform::ScreenInfo{}));

    entry.zoneID = 1;
    if (auto controller = wmController.lock()) {
        const ZoneMatch match = controller->zoneForFrame(onScreens, entry.displayUUID);
        if (match.method != ZoneMatchMethod::none) entry.zoneID = match.zoneID;
    }
    if (zoneIDForWindow)
        if (auto zone = zoneIDForWindow(number, entry.displayUUID)) entry.zoneID = *zone;
    entry.included = true;
    return entry;
}

void SceneSaveViewModel::proposeName() {
    const auto manifest = store_->readManifest();
    std::size_t n = manifest ? manifest->entries.size() + 1 : 1;
    // Counting alone offers a name still taken once a scene before the last has been deleted.
    std::set<std::string> taken;
    if (manifest)
        for (const auto& entry : manifest->entries)
            taken.insert(entry.name);
    while (taken.contains("Scene " + std::to_string(n)))
        ++n;
    sceneName = "Scene " + std::to_string(n);
}

bool SceneSaveViewModel::hasMultipleDisplays() const {
    std::set<std::string> displays;
    for (const auto& e : windowEntries)
        if (e.included) displays.insert(e.displayUUID);
    return displays.size() > 1;
}

std::optional<ConfigZoneSet> SceneSaveViewModel::resolveLayout(const std::optional<std::string>& id) const {
    if (!id) return std::nullopt;
    auto resolver = layoutTemplateResolver.lock();
    if (!resolver) return std::nullopt;
    return resolver->regionSet(*id);
}

std::optional<ConfigZoneSet> SceneSaveViewModel::currentZoneSet() const {
    // The zones drawn are the ones the "+" of each cell adds to, and hand-added applications are stored
    // for the primary display: a display whose windows are all excluded lends the canvas no zones.
    return storedLayout(primaryDisplayUUID(), hasMultipleDisplays());
}

void SceneSaveViewModel::autoAssignZones() {
    ZoneAssignments assignments;
    std::set<std::string> displays;
    for (const auto& e : windowEntries)
        displays.insert(e.displayUUID);
    for (const auto& display : displays) {
        if (!layoutIDForDisplay) break;
        const auto layout = resolveLayout(layoutIDForDisplay(display));
        if (!layout) continue;
        const auto zones = zoneList(*layout);
        if (zones.empty()) continue;
        for (const auto& e : windowEntries)
            if (e.included && e.displayUUID == display)
                assignments[e.id] = nearestZone(e.normalizedFrame, zones);
    }
    zoneAssignments = std::move(assignments);
}

SceneSaveViewModel::ZoneAssignments
SceneSaveViewModel::nearestZoneAssignments(const std::vector<ZoneListEntry>& zones) const {
    ZoneAssignments assignments;
    if (zones.empty()) return assignments;
    for (const auto& e : windowEntries)
        if (e.included) assignments[e.id] = nearestZone(e.normalizedFrame, zones);
    return assignments;
}

void SceneSaveViewModel::recomputeZoneAssignments() {
    if (!hasMultipleDisplays() && layoutIDOverride)
        if (const auto layout = resolveLayout(layoutIDOverride)) {
            zoneAssignments = nearestZoneAssignments(zoneList(*layout));
            return;
        }
    autoAssignZones();
}

std::optional<ConfigZoneSet> SceneSaveViewModel::storedLayout(const std::string& displayUUID,
                                                              bool severalDisplays) const {
    if (!severalDisplays && layoutIDOverride) return resolveLayout(layoutIDOverride);
    if (!layoutIDForDisplay) return std::nullopt;
    return resolveLayout(layoutIDForDisplay(displayUUID));
}

bool SceneSaveViewModel::spreadWith(const WindowEntry& entry) const {
    return std::any_of(windowEntries.begin(), windowEntries.end(), [&](const WindowEntry& e) {
        return e.included && e.displayUUID != entry.displayUUID;
    });
}

bool SceneSaveViewModel::canMoveEntry(const std::string& id, std::int64_t zoneID) const {
    const auto entry =
        std::find_if(windowEntries.begin(), windowEntries.end(), [&](const auto& e) { return e.id == id; });
    // No hint is made of an assignment without an entry.
    if (entry == windowEntries.end()) return true;
    const auto layout = storedLayout(entry->displayUUID, spreadWith(*entry));
    if (!layout) return false;
    const auto zones = zoneList(*layout);
    return std::any_of(zones.begin(), zones.end(), [&](const ZoneListEntry& z) { return z.id == zoneID; });
}

bool SceneSaveViewModel::moveEntry(const std::string& id, std::int64_t zoneID) {
    if (!canMoveEntry(id, zoneID)) return false;
    const auto entry =
        std::find_if(windowEntries.begin(), windowEntries.end(), [&](const auto& e) { return e.id == id; });
    if (entry != windowEntries.end() && !entry->included) {
        const bool spreadBefore = hasMultipleDisplays();
        entry->included = true;
        // The others were zoned by the override, which a second display sets aside.
        if (hasMultipleDisplays() != spreadBefore) recomputeZoneAssignments();
    }
    zoneAssignments[id] = zoneID;
    return true;
}

std::string SceneSaveViewModel::primaryDisplayUUID() const {
    for (const auto& e : windowEntries)
        if (e.included) return e.displayUUID;
    return windowEntries.empty() ? std::string() : windowEntries.front().displayUUID;
}

} // namespace korvane
