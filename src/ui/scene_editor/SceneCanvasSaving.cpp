// Saving one display of the scene canvas back into the scene file: the edited tree as a user layout, the
// zones' applications as the display's window hints, everything else of the file as it was stored.
#include "ui/scene_editor/SceneGeometryCanvasModel.h"

#include "core/Log.h"
#include "layouts/LayoutTreeEditorModel.h"
#include "layouts/LayoutTreeModel.h"
#include "platform/Platform.h"
#include "scenes/SceneStore.h"
#include "scenes/model/ScreenContext.h"
#include "ui/scene_editor/SceneCanvasTree.h"
#include "ui/scene_editor/SceneUserLayout.h"

#include <cmath>
#include <exception>
#include <set>
#include <utility>

namespace korvane {

namespace {

// Top row first; tops within 1.0 pt of each other count as one row, read left to right. Not a strict
// weak order, so it is only ever asked of two neighbours by an insertion sort.
bool zonePrecedes(const SceneCanvasZoneRect& a, const SceneCanvasZoneRect& b) {
    if (std::fabs(a.frame.minY() - b.frame.minY()) <= 1.0) return a.frame.minX() < b.frame.minX();
    return a.frame.minY() < b.frame.minY();
}

// The chips that become the display's window hints, with their zones, in the order of the hints.
std::vector<std::pair<std::int64_t, const SceneCanvasAppEntry*>>
hintedChips(const SceneGeometryCanvasModel::ZoneApps& zoneApps, std::vector<SceneCanvasZoneRect> frames) {
    std::vector<std::int64_t> order;
    if (frames.empty()) {
        for (const auto& zone : zoneApps)
            order.push_back(zone.first);
    } else {
        for (std::size_t i = 1; i < frames.size(); ++i)
            for (std::size_t j = i; j > 0 && zonePrecedes(frames[j], frames[j - 1]); --j)
                std::swap(frames[j], frames[j - 1]);
        for (const auto& frame : frames)
            order.push_back(frame.zoneID);
    }
    std::vector<std::pair<std::int64_t, const SceneCanvasAppEntry*>> chips;
    for (std::int64_t zoneID : order) {
        auto zone = zoneApps.find(zoneID);
        if (zone == zoneApps.end()) continue;
        for (const auto& entry : zone->second)
            if (!entry.isPlaceholder) chips.emplace_back(zoneID, &entry);
    }
    return chips;
}

std::vector<WindowHint> hintsFrom(const SceneGeometryCanvasModel::ZoneApps& zoneApps,
                                  std::vector<SceneCanvasZoneRect> frames) {
    std::vector<WindowHint> hints;
    for (const auto& [zoneID, entry] : hintedChips(zoneApps, std::move(frames)))
        hints.push_back({entry->bundleID, zoneID, std::nullopt});
    return hints;
}

void storeHints(WMScene& scene, const std::string& displayUUID, std::vector<WindowHint> hints) {
    if (hints.empty())
        scene.windowHints.erase(displayUUID);
    else
        scene.windowHints[displayUUID] = std::move(hints);
}

std::int64_t renumberedZone(std::int64_t zoneID, const RegionIDMap& renumbered) {
    const auto to = renumbered.find(zoneID);
    return to == renumbered.end() ? zoneID : to->second;
}

SceneGeometryCanvasModel::ZoneApps renumberedZoneApps(const SceneGeometryCanvasModel::ZoneApps& zoneApps,
                                                      const RegionIDMap& renumbered) {
    SceneGeometryCanvasModel::ZoneApps out;
    for (const auto& [id, entries] : zoneApps) {
        auto& list = out[renumberedZone(id, renumbered)];
        list.insert(list.end(), entries.begin(), entries.end());
    }
    return out;
}

} // namespace

void SceneGeometryCanvasModel::adoptStoredNumbering(const LayoutNode& storedTree,
                                                    const RegionIDMap& renumbered, ZoneApps zoneApps) {
    // Its layout's id stays the same when a display saves again, so no reload follows that would show
    // the stored numbers; the canvas takes them itself, or the next save of its applications alone
    // would name zones by numbers the stored layout gives to others.
    treeEditor_->setRoot(canvasTreeFromStored(storedTree));
    zoneApps_ = std::move(zoneApps);
    for (auto* zone : {&hoveredZoneID_, &dropTargetZoneID_, &appPickerZoneID_})
        if (*zone) *zone = renumberedZone(**zone, renumbered);
    refreshGeometry(false);
}

std::vector<WindowHint> SceneGeometryCanvasModel::windowHintsFromZoneApps() const {
    return hintsFrom(zoneApps_, zoneFrames_);
}

bool SceneGeometryCanvasModel::saveChanges() {
    if (!isGeometryDirty_ && !isWindowHintsDirty_) return true;
    if (!inputs_.store) return false;
    const ScreenContext screens = ScreenContext::capture(platform_.screens());
    std::optional<WMScene> stored = inputs_.store->loadScene(inputs_.scene.id, screens);
    if (!stored) return false;

    // Copies, so that a failed save leaves the canvas as the user sees it.
    ZoneApps zoneApps = zoneApps_;
    std::vector<SceneCanvasZoneRect> frames = zoneFrames_;
    RegionIDMap renumbered;
    std::optional<LayoutNode> storedTree;
    if (isGeometryDirty_ && treeEditor_ && inputs_.onSaveAsUserLayout) {
        // The library stores a tree numbered in reading order, as displays number it; numbering it so
        // here first lets the hints name the zones the user put the applications in.
        LayoutTreeModel numbered(storedTreeFromCanvas(treeEditor_->root()), "", "", "");
        for (const auto& [from, to] : numbered.normalizedRegionIDMap(Rect{0, 0, 1, 1}))
            if (from != to) renumbered[from] = to;
        if (!renumbered.empty()) {
            zoneApps = renumberedZoneApps(zoneApps, renumbered);
            for (auto& frame : frames)
                frame.zoneID = renumberedZone(frame.zoneID, renumbered);
        }

        const ConfigZoneSet zoneSet = sceneUserLayout(inputs_.scene, inputs_.displayUUID, numbered.root,
                                                      inputs_.layoutTemplateResolver.get(), *inputs_.store,
                                                      screens, platform_.processInfo());
        const std::optional<std::string> savedID = inputs_.onSaveAsUserLayout(zoneSet);
        if (!savedID) {
            // Recording a layout that was never written would leave the display without its geometry.
            Log::sceneManager.error("Failed to save Scene canvas changes: %s",
                                    ("the layout " + zoneSet.id + " could not be stored").c_str());
            return false;
        }
        stored->layoutRefsByDisplay[inputs_.displayUUID] = *savedID;
        storedTree = numbered.root;
    }

    // Stored hints name the zones by the canvas's numbers; once those change, the hints follow.
    std::optional<std::vector<std::string>> writtenChips;
    if (isWindowHintsDirty_ || !renumbered.empty()) {
        std::vector<WindowHint> hints;
        writtenChips.emplace();
        for (const auto& [zoneID, entry] : hintedChips(zoneApps, frames)) {
            hints.push_back({entry->bundleID, zoneID, std::nullopt});
            writtenChips->push_back(entry->id);
        }
        storeHints(*stored, inputs_.displayUUID, std::move(hints));
    } else if (storedTree) {
        // The stored layout may now have a zone under the number of a hint the canvas shows under
        // Excluded; kept, that hint would put its application there on the next restore. The others stay
        // as stored, in their order and with their frames.
        auto own = stored->windowHints.find(inputs_.displayUUID);
        if (own != stored->windowHints.end() && storedHintsAreOwn_ &&
            own->second.size() == storedHintChips_.size()) {
            std::set<std::string> inZones;
            for (const auto& [zoneID, entries] : zoneApps)
                for (const auto& entry : entries)
                    if (!entry.isPlaceholder) inZones.insert(entry.id);
            std::vector<WindowHint> kept;
            writtenChips.emplace();
            for (std::size_t i = 0; i < own->second.size(); ++i) {
                if (!inZones.count(storedHintChips_[i])) continue;
                kept.push_back(own->second[i]);
                writtenChips->push_back(storedHintChips_[i]);
            }
            storeHints(*stored, inputs_.displayUUID, std::move(kept));
        }
    }
    stored->updatedAt = platform_.runLoop().wallClock();
    try {
        inputs_.store->save(*stored, screens);
    } catch (const std::exception& e) {
        Log::sceneManager.error("Failed to save Scene canvas changes: %s", e.what());
        return false;
    }
    if (writtenChips) {
        storedHintChips_ = std::move(*writtenChips);
        storedHintsAreOwn_ = true;
    }
    if (!renumbered.empty()) adoptStoredNumbering(*storedTree, renumbered, std::move(zoneApps));
    setGeometryDirty(false);
    setWindowHintsDirty(false);
    setForceInlineEditing(false);
    if (inputs_.onSave) inputs_.onSave();
    if (storedTree && inputs_.onSceneLayoutChanged)
        inputs_.onSceneLayoutChanged(inputs_.scene.id, inputs_.displayUUID);
    syncBridge();
    changed();
    return true;
}

void SceneGeometryCanvasModel::saveAndReport() {
    showHint(saveChanges() ? "Saved" : "Save failed");
}

void SceneGeometryCanvasModel::applyScene(const std::function<void(const WMScene&)>& restore) {
    if ((isGeometryDirty_ || isWindowHintsDirty_) && !saveChanges()) {
        showHint("Save failed");
        return;
    }
    std::optional<WMScene> stored;
    if (inputs_.store)
        stored = inputs_.store->loadScene(inputs_.scene.id, ScreenContext::capture(platform_.screens()));
    if (!stored) {
        showHint("Scene not found");
        return;
    }
    if (restore) restore(*stored);
    showHint("Scene applied");
}

} // namespace korvane
