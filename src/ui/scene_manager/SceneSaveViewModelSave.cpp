// Applications added to zones by hand, and storing the capture as a new scene.
#include "ui/scene_manager/SceneSaveViewModel.h"

#include "core/FileUtil.h"
#include "core/Log.h"
#include "core/SceneName.h"
#include "layouts/ConfigZoneSet.h"
#include "platform/Platform.h"
#include "platform/TextTrim.h"
#include "platform/UTF8.h"
#include "scenes/SceneStore.h"
#include "scenes/model/WMScene.h"

#include <algorithm>
#include <filesystem>
#include <set>

namespace korvane {

namespace {

// The name a file manager shows for an installed application: its file's name without the extension,
// and without any ".app" left in it. Empty when the location names no file.
std::string installedApplicationName(std::string location) {
    while (!location.empty() && location.back() == '/')
        location.pop_back();
    std::string name = location.substr(location.find_last_of('/') + 1);
    if (const auto dot = name.find_last_of('.'); dot != std::string::npos && dot > 0) name.erase(dot);
    for (auto found = name.find(".app"); found != std::string::npos; found = name.find(".app"))
        name.erase(found, 4);
    return name;
}

// Why the store refused the scene, naming what the user can look at: the file, or the folder a new
// file could not be made in.
std::string saveFailureInWords(const std::exception& error) {
    const auto* fileError = dynamic_cast<const std::filesystem::filesystem_error*>(&error);
    if (!fileError || fileError->path1().empty())
        return "The scene was not saved: " + failureInWords(error) + ".";
    std::filesystem::path where = fileError->path1();
    // A temporary file beside the target (".NAME.tmp-…") is nothing the user knows of: its folder is.
    const std::string file = where.filename().string();
    if (file.starts_with(".") && file.find(".tmp-") != std::string::npos) where = where.parent_path();
    return "The scene was not saved: " + validUTF8(where.string()) + " cannot be written (" +
           failureInWords(error) + ").";
}

} // namespace

void SceneSaveViewModel::addManualApp(const std::string& bundleID, std::int64_t zoneID) {
    if (auto zone = manualApps_.find(zoneID); zone != manualApps_.end())
        if (std::any_of(zone->second.begin(), zone->second.end(),
                        [&](const ManualApp& app) { return app.bundleID == bundleID; }))
            return;

    auto& workspace = platform_.workspace();
    std::optional<std::string> name;
    std::optional<platform::IconImage> icon;
    for (const auto& running : workspace.runningApplications())
        if (running.bundleID == bundleID) {
            name = running.name;
            icon = workspace.iconForRunningApplication(running.pid);
            break;
        }
    if (!name || !icon)
        if (auto location = workspace.urlForApplication(bundleID)) {
            std::string installed = installedApplicationName(*location);
            if (!name && !installed.empty()) name = std::move(installed);
            if (!icon) icon = workspace.iconForFile(*location);
        }
    manualApps_[zoneID].push_back(
        ManualApp{platform_.processInfo().makeUUID(), bundleID, name.value_or(bundleID), std::move(icon)});
}

void SceneSaveViewModel::removeManualApp(const std::string& id, std::int64_t zoneID) {
    auto zone = manualApps_.find(zoneID);
    if (zone == manualApps_.end()) return;
    std::erase_if(zone->second, [&](const ManualApp& app) { return app.id == id; });
    if (zone->second.empty()) manualApps_.erase(zone);
}

void SceneSaveViewModel::save() {
    const std::string name = trimmingWhitespaceAndNewlines(sceneName);
    if (name.empty()) return;
    isSaving_ = true;
    saveFailure_.reset();
    savingChanged.notify();

    std::set<std::string> displays;
    for (const auto& e : windowEntries)
        if (e.included) displays.insert(e.displayUUID);
    const bool singleDisplay = displays.size() < 2;

    WMScene::LayoutRefMap layoutRefs;
    for (const auto& e : windowEntries) {
        if (!e.included) continue;
        std::optional<std::string> candidate;
        if (singleDisplay && layoutIDOverride)
            candidate = layoutIDOverride;
        else if (layoutIDForDisplay)
            candidate = layoutIDForDisplay(e.displayUUID);
        if (auto cleaned = sceneNameForDisplay(candidate)) layoutRefs[e.displayUUID] = *cleaned;
    }
    const std::string primary = primaryDisplayUUID();
    if (layoutRefs.empty()) {
        std::optional<std::string> candidate = layoutIDOverride;
        if (!candidate && !primary.empty() && layoutIDForDisplay) candidate = layoutIDForDisplay(primary);
        if (auto cleaned = sceneNameForDisplay(candidate); cleaned && !primary.empty())
            layoutRefs[primary] = *cleaned;
    }

    WMScene::WindowHintMap hints;
    for (const auto& e : windowEntries) {
        if (!e.included || !e.bundleID) continue;
        const auto assigned = zoneAssignments.find(e.id);
        const std::int64_t zone = assigned != zoneAssignments.end() ? assigned->second : e.zoneID;
        hints[e.displayUUID].push_back(WindowHint{*e.bundleID, zone, std::nullopt});
    }
    // The window draws the primary display's zones: an application added to a zone that layout lacks
    // (added before the windows that lent the canvas its zones were excluded) shows in no cell, and would
    // name a zone the display does not have.
    std::optional<std::set<std::int64_t>> drawnZones;
    if (const auto layout = currentZoneSet()) {
        drawnZones.emplace();
        for (const auto& zone : zoneList(*layout))
            drawnZones->insert(zone.id);
    }
    // Without a captured window there is no display to give hand-added applications to.
    if (!primary.empty())
        for (const auto& zoneApps : manualApps_) {
            if (drawnZones && !drawnZones->contains(zoneApps.first)) continue;
            for (const auto& app : zoneApps.second) {
                const WindowHint hint{app.bundleID, zoneApps.first, std::nullopt};
                auto& list = hints[primary];
                if (std::find(list.begin(), list.end(), hint) == list.end()) list.push_back(hint);
            }
        }

    WMScene scene;
    scene.id = platform_.processInfo().makeUUID();
    scene.name = name;
    scene.createdAt = scene.updatedAt = platform_.runLoop().wallClock();
    scene.restoreMode = RestoreMode::layoutOnly;
    scene.layoutRefsByDisplay = WMScene::sanitizedLayoutRefs(layoutRefs);
    scene.hotkeySlot = std::nullopt;
    scene.windowHints = WMScene::sanitizedWindowHints(hints);

    try {
        store_->save(scene, ScreenContext::capture(platform_.screens()));
    } catch (const std::exception& e) {
        Log::sceneManager.error("Failed to save scene: %s", e.what());
        saveFailure_ = saveFailureInWords(e);
        isSaving_ = false;
        savingChanged.notify();
        return;
    }
    // The owner closes the window in onSave and may end this model with it: nothing here is touched
    // once the callback runs, and it runs from a copy that outlives the model.
    isSaving_ = false;
    savingChanged.notify();
    if (auto saved = onSave) saved(scene);
}

} // namespace korvane
