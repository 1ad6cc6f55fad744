// Dropping dragged application chips on the scene canvas: within the display the lists change and wait
// for a save; a chip from another display is moved in the scene file at once, as two canvases are
// involved, and both canvases move it in their lists too, keeping what else they have not saved.
#include "ui/scene_editor/SceneGeometryCanvasModel.h"

#include "core/JSONFields.h"
#include "core/Log.h"
#include "platform/Platform.h"
#include "scenes/SceneStore.h"
#include "scenes/model/ScreenContext.h"
#include "scenes/model/WMScene.h"

#include <algorithm>
#include <exception>

namespace korvane {

namespace {

bool sameChip(const std::string& chipID, const std::string& appID) {
    return jsonfields::canonicalUUID(chipID).value_or(chipID) == appID;
}

std::size_t insertionIndex(std::optional<std::size_t> index, std::size_t size) {
    return std::min(index.value_or(size), size);
}

} // namespace

std::string SceneGeometryCanvasModel::dragPayload(const SceneCanvasAppEntry& entry,
                                                  std::int64_t zoneID) const {
    return sceneCanvasDragText({entry.id, entry.bundleID, inputs_.displayUUID, zoneID});
}

std::string SceneGeometryCanvasModel::dragPayloadForExcluded(const SceneCanvasAppEntry& entry) const {
    return sceneCanvasDragText({entry.id, entry.bundleID, inputs_.displayUUID, std::nullopt});
}

std::optional<std::pair<SceneCanvasAppEntry, SceneGeometryCanvasModel::AppLocation>>
SceneGeometryCanvasModel::locateApp(const std::string& appID) const {
    for (const auto& [zoneID, entries] : zoneApps_)
        for (std::size_t i = 0; i < entries.size(); ++i)
            if (sameChip(entries[i].id, appID)) return std::pair{entries[i], AppLocation{zoneID, i}};
    for (std::size_t i = 0; i < excludedApps_.size(); ++i)
        if (sameChip(excludedApps_[i].id, appID))
            return std::pair{excludedApps_[i], AppLocation{std::nullopt, i}};
    return std::nullopt;
}

std::optional<SceneCanvasAppEntry> SceneGeometryCanvasModel::takeChip(const std::string& appID) {
    const auto located = locateApp(appID);
    if (!located) return std::nullopt;
    const auto& [entry, location] = *located;
    if (location.zoneID) {
        auto& list = zoneApps_.at(*location.zoneID);
        list.erase(list.begin() + static_cast<std::ptrdiff_t>(location.index));
    } else {
        excludedApps_.erase(excludedApps_.begin() + static_cast<std::ptrdiff_t>(location.index));
    }
    return entry;
}

bool SceneGeometryCanvasModel::dropApp(const std::string& text, std::int64_t zoneID,
                                       std::optional<std::size_t> index) {
    if (auto payload = sceneCanvasDragPayload(text);
        payload &&
        sceneCanvasDisplayKey(payload->sourceDisplayUUID) != sceneCanvasDisplayKey(inputs_.displayUUID))
        return moveAcrossDisplays(*payload, zoneID, false);
    const std::optional<std::string> appID = sceneCanvasDraggedAppID(text);
    if (!appID) return false;
    const std::optional<SceneCanvasAppEntry> entry = takeChip(*appID);
    if (!entry) return false;
    auto& target = zoneApps_[zoneID];
    target.insert(target.begin() + static_cast<std::ptrdiff_t>(insertionIndex(index, target.size())), *entry);
    setWindowHintsDirty(true);
    changed();
    return true;
}

bool SceneGeometryCanvasModel::dropAppOnExcluded(const std::string& text) {
    if (auto payload = sceneCanvasDragPayload(text);
        payload &&
        sceneCanvasDisplayKey(payload->sourceDisplayUUID) != sceneCanvasDisplayKey(inputs_.displayUUID))
        return moveAcrossDisplays(*payload, 0, true);
    const std::optional<std::string> appID = sceneCanvasDraggedAppID(text);
    if (!appID) return false;
    const auto located = locateApp(*appID);
    // An Excluded chip dropped on the Excluded list stays where it was.
    if (!located || !located->second.zoneID) return false;
    auto& list = zoneApps_.at(*located->second.zoneID);
    list.erase(list.begin() + static_cast<std::ptrdiff_t>(located->second.index));
    excludedApps_.push_back(located->first);
    setWindowHintsDirty(true);
    changed();
    return true;
}

bool SceneGeometryCanvasModel::dropTextsOnZone(const std::vector<std::string>& texts, std::int64_t zoneID,
                                               std::optional<std::size_t> index) {
    if (texts.empty()) return false;
    dropTargetZoneID_.reset();
    const bool taken = dropApp(texts.front(), zoneID, index);
    changed();
    return taken;
}

bool SceneGeometryCanvasModel::dropTextsOnExcluded(const std::vector<std::string>& texts) {
    if (texts.empty()) return false;
    // The drag is over, wherever it passed: no zone stays marked for it, also one that never heard it
    // leave.
    dropTargetZoneID_.reset();
    const bool taken = dropAppOnExcluded(texts.front());
    changed();
    return taken;
}

bool SceneGeometryCanvasModel::zoneTakesDrop(const std::string& text, std::int64_t zoneID) const {
    const auto payload = sceneCanvasDragPayload(text);
    if (!payload ||
        sceneCanvasDisplayKey(payload->sourceDisplayUUID) == sceneCanvasDisplayKey(inputs_.displayUUID) ||
        !inputs_.store)
        return true;
    const ScreenContext screens = ScreenContext::capture(platform_.screens());
    const std::optional<WMScene> stored = inputs_.store->loadScene(inputs_.scene.id, screens);
    // Without the file the drop decides; it is refused then as well.
    return stored && !refusalOfMoveInto(*stored, zoneID, screens);
}

std::optional<std::string> SceneGeometryCanvasModel::refusalOfMoveInto(const WMScene& stored,
                                                                       std::int64_t zoneID,
                                                                       const ScreenContext& screens) const {
    // A display the scene gives no layout gets no zones from a restore, which leaves its hints unplaced;
    // its canvas's one zone stands for none.
    const std::string destination(sceneCanvasDisplayKey(inputs_.displayUUID));
    if (!stored.resolveDisplays(screens).layoutRefs.contains(destination))
        return "This display has no layout in this scene: save one before moving apps here";
    // A zone split off on this canvas and not yet saved: the scene file's layout lacks it, and a hint
    // naming it is one no restore can place.
    const std::vector<std::int64_t> storedZones = loadedTree(stored).regionIDs();
    if (std::find(storedZones.begin(), storedZones.end(), zoneID) == storedZones.end())
        return "Save new zones before moving apps from another display";
    return std::nullopt;
}

SceneGeometryCanvasModel::StoredHintOfChip
SceneGeometryCanvasModel::storedHintOfChip(const std::string& appID) const {
    if (!locateApp(appID)) return {StoredHintOfChip::Kind::notMovable};
    for (std::size_t i = 0; i < storedHintChips_.size(); ++i) {
        if (!sameChip(storedHintChips_[i], appID)) continue;
        // Shown from another display's hints: this display holds nothing of it to move.
        if (!storedHintsAreOwn_) return {StoredHintOfChip::Kind::notMovable};
        return {StoredHintOfChip::Kind::index, i};
    }
    return {StoredHintOfChip::Kind::none};
}

std::optional<SceneCanvasAppEntry> SceneGeometryCanvasModel::takeChipMovedAway(const std::string& appID) {
    std::optional<SceneCanvasAppEntry> entry = takeChip(appID);
    if (!entry) return std::nullopt;
    std::erase_if(storedHintChips_, [&](const std::string& id) { return id == entry->id; });
    keepEditsOverStoredHints();
    changed();
    return entry;
}

void SceneGeometryCanvasModel::keepEditsOverStoredHints() {
    if (hasAppeared_ && (isGeometryDirty_ || isWindowHintsDirty_)) loadedSignature_ = reloadSignature();
}

bool SceneGeometryCanvasModel::moveAcrossDisplays(const SceneCanvasDragPayload& payload, std::int64_t zoneID,
                                                  bool toExcluded) {
    const std::string source(sceneCanvasDisplayKey(payload.sourceDisplayUUID));
    const std::string destination(sceneCanvasDisplayKey(inputs_.displayUUID));
    if (source == destination || !inputs_.store) return false;
    const ScreenContext screens = ScreenContext::capture(platform_.screens());
    std::optional<WMScene> stored = inputs_.store->loadScene(inputs_.scene.id, screens);
    if (!stored) return false;
    if (!toExcluded)
        if (const std::optional<std::string> refusal = refusalOfMoveInto(*stored, zoneID, screens)) {
            showHint(*refusal);
            return false;
        }

    std::vector<WindowHint> hints;
    if (auto found = stored->windowHints.find(source); found != stored->windowHints.end())
        hints = found->second;
    // The source canvas knows which hint its chip was made from, however its unsaved edits moved the chip:
    // another window of the same application in another zone keeps its hint. Its hints are this key's
    // only when its display's UUID is the key itself.
    std::shared_ptr<SceneGeometryCanvasModel> sourceCanvas =
        inputs_.canvasOfDisplay ? inputs_.canvasOfDisplay(payload.sourceDisplayUUID) : nullptr;
    if (sourceCanvas && sourceCanvas->inputs_.displayUUID != source) sourceCanvas.reset();
    std::optional<std::size_t> removed;
    if (sourceCanvas) {
        const StoredHintOfChip found = sourceCanvas->storedHintOfChip(payload.appID);
        if (found.kind == StoredHintOfChip::Kind::notMovable) return false;
        if (found.kind == StoredHintOfChip::Kind::index) {
            // The file no longer reads as the source canvas loaded it: nothing is moved on a guess.
            if (found.index >= hints.size() || hints[found.index].bundleID != payload.bundleID) return false;
            removed = found.index;
        }
    } else {
        auto hint = std::find_if(hints.begin(), hints.end(), [&payload](const WindowHint& h) {
            return h.bundleID == payload.bundleID &&
                   (!payload.sourceZoneID || h.zoneID == *payload.sourceZoneID);
        });
        // The chip's zone may be stale (the source canvas was edited): any hint of the application will do.
        if (hint == hints.end())
            hint = std::find_if(hints.begin(), hints.end(),
                                [&payload](const WindowHint& h) { return h.bundleID == payload.bundleID; });
        if (hint == hints.end()) return false;
        removed = static_cast<std::size_t>(hint - hints.begin());
    }
    if (removed) {
        hints.erase(hints.begin() + static_cast<std::ptrdiff_t>(*removed));
        if (hints.empty())
            stored->windowHints.erase(source);
        else
            stored->windowHints[source] = std::move(hints);
    }
    if (!toExcluded) stored->windowHints[destination].push_back({payload.bundleID, zoneID, std::nullopt});
    stored->updatedAt = platform_.runLoop().wallClock();
    try {
        inputs_.store->save(*stored, screens);
    } catch (const std::exception& e) {
        Log::sceneManager.error("Failed cross-display drag move: %s", e.what());
        return false;
    }

    // Both canvases show what the file now holds without loading it again, which would throw away
    // whatever else either has not saved.
    std::optional<SceneCanvasAppEntry> entry =
        sourceCanvas ? sourceCanvas->takeChipMovedAway(payload.appID) : std::nullopt;
    if (!toExcluded) {
        if (!entry) {
            const BundleResolvedInfo info = cachedBundleInfo(payload.bundleID);
            entry = SceneCanvasAppEntry{payload.appID, payload.bundleID, info.name, info.icon, false};
        }
        // The new hint is the last of the display's own in the file; another display's that the canvas
        // showed while it had none stand for its chips no more.
        if (inputs_.displayUUID == destination) {
            if (!storedHintsAreOwn_) storedHintChips_.clear();
            storedHintsAreOwn_ = true;
            storedHintChips_.push_back(entry->id);
        }
        zoneApps_[zoneID].push_back(std::move(*entry));
        keepEditsOverStoredHints();
        changed();
    }
    if (inputs_.onSave) inputs_.onSave();
    return true;
}

} // namespace korvane
