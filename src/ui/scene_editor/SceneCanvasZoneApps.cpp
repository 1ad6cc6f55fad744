// The scene canvas's applications: each zone's chips and the Excluded list from the stored window hints,
// names and pictures looked up in the background one application at a time, and chips of vanished zones.
#include "ui/scene_editor/SceneGeometryCanvasModel.h"

#include "layouts/LayoutTreeEditorModel.h"
#include "platform/Platform.h"
#include "platform/TextTrim.h"
#include "ui/scene_editor/ApplicationNames.h"
#include "ui/scene_editor/BundleInfoCache.h"

#include <algorithm>
#include <set>

namespace korvane {

namespace {

// The canvas first shows what it knows at once; the lookups, which read the file system, wait this long.
constexpr Nanos kResolveDelay = 200'000'000;

} // namespace

BundleResolvedInfo SceneGeometryCanvasModel::cachedBundleInfo(const std::string& bundleID) const {
    if (auto cached = cache_->find(bundleID)) return *cached;
    return {fallbackApplicationName(bundleID), nullptr};
}

void SceneGeometryCanvasModel::rebuildZoneApps() {
    std::set<std::int64_t> regions;
    if (treeEditor_)
        for (std::int64_t id : treeEditor_->root().regionIDs())
            regions.insert(id);

    // From the scene as stored, not from the copy this canvas was given.
    const StoredHints stored = storedWindowHints();
    const std::vector<WindowHint>& hints = stored.hints;
    storedHintChips_.clear();
    storedHintsAreOwn_ = stored.own;

    ZoneApps zones;
    for (std::int64_t id : regions)
        zones[id];
    std::vector<SceneCanvasAppEntry> excluded;
    std::set<std::string> toResolve;
    for (const auto& hint : hints) {
        const BundleResolvedInfo info = cachedBundleInfo(hint.bundleID);
        SceneCanvasAppEntry entry{platform_.processInfo().makeUUID(), hint.bundleID, info.name, info.icon,
                                  false};
        // What the cache holds is final, a failed lookup included.
        if (!info.icon && !cache_->contains(hint.bundleID)) toResolve.insert(hint.bundleID);
        storedHintChips_.push_back(entry.id);
        if (regions.count(hint.zoneID))
            zones[hint.zoneID].push_back(std::move(entry));
        else
            excluded.push_back(std::move(entry));
    }
    zoneApps_ = std::move(zones);
    excludedApps_ = std::move(excluded);
    changed();

    if (toResolve.empty()) return;
    std::vector<std::string> bundleIDs(toResolve.begin(), toResolve.end());
    const std::string token = bundleResolveToken_;
    std::weak_ptr<SceneGeometryCanvasModel> weak = weak_from_this();
    platform_.runLoop().postAfter(kResolveDelay, [weak, token, bundleIDs] {
        auto self = weak.lock();
        if (!self || token != self->bundleResolveToken_) return;
        self->resolveMissingBundleInfo(bundleIDs, token);
    });
}

void SceneGeometryCanvasModel::resolveMissingBundleInfo(const std::vector<std::string>& bundleIDs,
                                                        const std::optional<std::string>& token) {
    const std::string current = token.value_or(bundleResolveToken_);
    if (current != bundleResolveToken_) return;
    auto pending = std::make_shared<PendingBundles>();
    ResolvedBundles known;
    for (const auto& id : bundleIDs)
        if (auto cached = cache_->find(id))
            known[id] = std::move(*cached);
        else
            pending->bundleIDs.push_back(id);
    // Another canvas found these meanwhile (the editor's other display, loaded a moment earlier): not
    // looked up again, but this canvas's chips still show the fallback.
    if (!known.empty()) applyResolvedBundleInfo(known);
    if (pending->bundleIDs.empty()) return;
    resolveNextBundle(current, pending, std::make_shared<ResolvedBundles>());
}

void SceneGeometryCanvasModel::resolveNextBundle(const std::string& token,
                                                 const std::shared_ptr<PendingBundles>& pending,
                                                 const std::shared_ptr<ResolvedBundles>& results) {
    if (token != bundleResolveToken_) return;
    if (pending->next == pending->bundleIDs.size()) {
        for (const auto& [bundleID, info] : *results)
            cache_->store(bundleID, info);
        applyResolvedBundleInfo(*results);
        return;
    }
    const std::string bundleID = pending->bundleIDs[pending->next++];
    std::weak_ptr<SceneGeometryCanvasModel> weak = weak_from_this();
    platform::Workspace& workspace = platform_.workspace();
    platform::RunLoop& loop = platform_.runLoop();
    loop.dispatchGlobal(platform::QueueQoS::UserInitiated,
                        [&workspace, &loop, bundleID, weak, token, pending, results] {
                            BundleResolvedInfo info = resolveBundleInfo(workspace, bundleID);
                            loop.post([weak, token, pending, results, bundleID, info = std::move(info)] {
                                auto self = weak.lock();
                                if (!self) return;
                                (*results)[bundleID] = info;
                                self->resolveNextBundle(token, pending, results);
                            });
                        });
}

void SceneGeometryCanvasModel::applyResolvedBundleInfo(const ResolvedBundles& results) {
    auto update = [&](SceneCanvasAppEntry& entry) {
        auto found = results.find(entry.bundleID);
        if (found == results.end()) return;
        entry.name = found->second.name;
        entry.icon = found->second.icon;
    };
    for (auto& zone : zoneApps_)
        for (auto& entry : zone.second)
            update(entry);
    for (auto& entry : excludedApps_)
        update(entry);
    changed();
}

void SceneGeometryCanvasModel::reconcileZoneApps(bool announce) {
    std::set<std::int64_t> current;
    for (const auto& zone : zoneFrames_)
        current.insert(zone.zoneID);

    std::vector<SceneCanvasAppEntry> moved;
    for (auto it = zoneApps_.begin(); it != zoneApps_.end();) {
        if (current.count(it->first)) {
            ++it;
            continue;
        }
        moved.insert(moved.end(), it->second.begin(), it->second.end());
        it = zoneApps_.erase(it);
    }
    for (std::int64_t id : current)
        zoneApps_[id];

    if (!moved.empty()) {
        excludedApps_.insert(excludedApps_.end(), moved.begin(), moved.end());
        if (announce) {
            setWindowHintsDirty(true);
            showHint("Apps from removed zones moved to Excluded");
        }
    }
    changed();
}

std::vector<SceneCanvasAppEntry> SceneGeometryCanvasModel::displayedApps(std::int64_t zoneID) const {
    std::vector<SceneCanvasAppEntry> list;
    if (auto found = zoneApps_.find(zoneID); found != zoneApps_.end()) list = found->second;
    if (dropTargetZoneID_ == zoneID)
        list.push_back({kSceneCanvasPlaceholderID, "placeholder", "Drop here", nullptr, true});
    return list;
}

void SceneGeometryCanvasModel::removeApp(const SceneCanvasAppEntry& entry, std::int64_t zoneID) {
    auto zone = zoneApps_.find(zoneID);
    if (zone == zoneApps_.end()) return;
    auto found = std::find(zone->second.begin(), zone->second.end(), entry);
    if (found == zone->second.end()) return;
    // `entry` may be the very element erased.
    SceneCanvasAppEntry removed = *found;
    zone->second.erase(found);
    excludedApps_.push_back(std::move(removed));
    setWindowHintsDirty(true);
    changed();
}

void SceneGeometryCanvasModel::addApp(const std::string& bundleID, std::int64_t zoneID) {
    const std::string trimmed = trimmingWhitespaceAndNewlines(bundleID);
    if (trimmed.empty()) return;
    const BundleResolvedInfo info = cachedBundleInfo(trimmed);
    zoneApps_[zoneID].push_back({platform_.processInfo().makeUUID(), trimmed, info.name, info.icon, false});
    setWindowHintsDirty(true);
    changed();
    if (!info.icon) resolveMissingBundleInfo({trimmed});
}

void SceneGeometryCanvasModel::setDropTarget(std::int64_t zoneID, bool isTargeted) {
    if (isTargeted)
        dropTargetZoneID_ = zoneID;
    else if (dropTargetZoneID_ == zoneID)
        dropTargetZoneID_.reset();
    changed();
}

void SceneGeometryCanvasModel::setAppPickerPresented(std::int64_t zoneID, bool presented) {
    if (presented)
        appPickerZoneID_ = zoneID;
    else if (appPickerZoneID_ == zoneID)
        appPickerZoneID_.reset();
    changed();
}

void SceneGeometryCanvasModel::setAppPickerBundleID(std::string bundleID) {
    appPickerBundleID_ = std::move(bundleID);
    changed();
}

} // namespace korvane
