// Layout lookups (built-in layouts before user layouts), the user layout files, and the legacy id move.
#include "layouts/LayoutLibrary.h"

#include "core/Log.h"
#include "layouts/BuiltinLayouts.h"
#include "layouts/LayoutTreeModel.h"
#include "layouts/ZoneSetStore.h"
#include "platform/Format.h"
#include "platform/TextTrim.h"
#include "platform/UserDefaults.h"

#include <algorithm>
#include <set>

namespace korvane {

namespace fs = std::filesystem;

namespace {

// ["old": "new", ...], the printed form of a map of text.
std::string describeMapping(const LayoutLibrary::IDMapping& mapping) {
    std::string text = "[";
    bool first = true;
    for (const auto& [from, to] : mapping) {
        if (!first) text += ", ";
        first = false;
        text += platform::quoted(from) + ": " + platform::quoted(to);
    }
    return text + "]";
}

} // namespace

LayoutLibrary::LayoutLibrary(platform::UserDefaults& defaults) : defaults_(defaults) {}

void LayoutLibrary::changed(const std::string& source) const {
    if (onUserLayoutsChanged) onUserLayoutsChanged(source);
}

std::optional<ConfigZoneSet> LayoutLibrary::regionSet(const std::string& id) const {
    if (auto builtin = legacyTemplateIDMap(id)) return builtin;
    for (const auto& set : regionSets_)
        if (set.id == id) return set;
    return std::nullopt;
}

std::optional<LayoutNode> LayoutLibrary::layoutTree(const ConfigZoneSet& set) const {
    if (set.layoutTree) return set.layoutTree;
    if (set.xSplits && set.ySplits) {
        std::vector<double> columns = *set.xSplits;
        std::vector<double> rows = *set.ySplits;
        std::sort(columns.begin(), columns.end());
        std::sort(rows.begin(), rows.end());
        return LayoutTreeModel::gridTree(columns, rows, 1);
    }
    if (set.zones && !set.zones->empty()) {
        const ConfigZone& first = set.zones->front();
        return LayoutNode::region(first.id, first.name);
    }
    return std::nullopt;
}

std::vector<ConfigZoneSet> LayoutLibrary::builtinLayoutTemplates() const {
    std::vector<ConfigZoneSet> candidates = {builtinFullscreenLayout(), builtinSplit6040Layout(),
                                             builtinSplit5050Layout(), builtinDailyLayout()};
    candidates.insert(candidates.end(), regionSets_.begin(), regionSets_.end());

    std::vector<ConfigZoneSet> listed;
    std::set<std::string> seen;
    for (const auto& candidate : candidates) {
        if (candidate.id.starts_with("builtin.")) {
            if (seen.insert(candidate.id).second) listed.push_back(candidate);
            continue;
        }
        // An older built-in id stands for the built-in it maps to, which the list already holds.
        if (auto builtin = legacyTemplateIDMap(candidate.id)) {
            if (seen.insert(builtin->id).second) listed.push_back(*builtin);
            continue;
        }
        if (seen.insert(candidate.id).second) listed.push_back(candidate);
    }
    return listed;
}

void LayoutLibrary::migrateLayoutIDsIfNeeded() {
    if (defaults_.boolValue(kLayoutIDMigrationFlag).value_or(false)) return;
    try {
        auto mapping = ZoneSetStore::migrateLegacyLayoutIDs();
        if (!mapping.empty()) {
            // The files have moved; what names the old ids follows before the move counts as done.
            if (rewriteLayoutReferences) rewriteLayoutReferences(mapping);
            Log::app.info("Migrated %ld layout ID(s): %s", static_cast<std::int64_t>(mapping.size()),
                          describeMapping(mapping));
        }
    } catch (const std::exception& e) {
        Log::app.error("Layout ID migration failed: %s", e.what());
    }
    // Set after a failure too: a migration that fails once is not tried again.
    defaults_.set(kLayoutIDMigrationFlag, true);
}

void LayoutLibrary::reloadUserLayouts() {
    try {
        regionSets_ = ZoneSetStore::loadAll();
        Log::app.info("Reloaded %ld user layouts", static_cast<std::int64_t>(regionSets_.size()));
    } catch (const std::exception& e) {
        Log::app.error("Failed to reload user layouts: %s", e.what());
    }
}

bool LayoutLibrary::renameLayout(const LayoutDirectoryEntry& entry, const std::string& newName) {
    if (entry.kind != LayoutDescriptor::Kind::userConfig) return false;
    const std::string name = trimmingWhitespaceAndNewlines(newName);
    if (name.empty()) return false;
    auto it = std::find_if(regionSets_.begin(), regionSets_.end(),
                           [&](const ConfigZoneSet& set) { return set.id == entry.id; });
    if (it == regionSets_.end()) return false;
    if (it->name == name) return true;

    ConfigZoneSet renamed = *it;
    renamed.name = name;
    try {
        ZoneSetStore::storeLayout(renamed);
    } catch (const std::exception& e) {
        Log::app.error("Failed to rename layout %s: %s", entry.id, e.what());
        return false;
    }
    *it = std::move(renamed);
    reloadUserLayouts();
    changed("AppDelegate+Persistence.renameLayout");
    Log::app.info("Renamed layout id=%s -> name=%s", entry.id, name);
    return true;
}

void LayoutLibrary::deleteLayoutFromManager(const LayoutDirectoryEntry& entry) {
    if (entry.kind != LayoutDescriptor::Kind::userConfig) return;
    try {
        if (auto removal = ZoneSetStore::removeLayout(entry.id)) {
            if (removal->fileRemoved)
                Log::app.info("Deleted layout file %s", removal->file.string());
            else
                Log::app.info("Deleted layout %s from %s", entry.id, removal->file.string());
        }
    } catch (const std::exception& e) {
        Log::app.error("Failed to delete layout %s: %s", entry.id, e.what());
    }
    // The layout leaves the list through the reload, never by editing the list.
    reloadUserLayouts();
    changed("AppDelegate+Persistence.deleteLayoutFromManager");
}

std::string LayoutLibrary::saveUserLayout(const ConfigZoneSet& layout) {
    storeUserLayout(layout);
    return layout.id;
}

std::optional<std::string> LayoutLibrary::storeUserLayout(const ConfigZoneSet& layout) {
    ConfigZoneSet stored = layout;
    if (layout.layoutTree) {
        LayoutTreeModel model(*layout.layoutTree, layout.displayUUID.value_or(""), layout.id, layout.name);
        const RegionIDMap renumbered = model.normalizedRegionIDMap(Rect(0, 0, 1, 1));
        if (!renumbered.empty())
            Log::app.info("saveUserLayout: normalized zone IDs by position: %s",
                          describeRegionIDMap(renumbered));
        std::optional<std::string> display;
        if (layout.displayUUID) {
            std::string trimmed = trimmingWhitespaceAndNewlines(*layout.displayUUID);
            if (!trimmed.empty()) display = std::move(trimmed);
        }
        stored = ConfigZoneSet{};
        stored.id = layout.id;
        stored.name = layout.name;
        stored.displayUUID = std::move(display);
        stored.version = layout.version.value_or("2.0");
        stored.layoutTree = model.root;
    }
    try {
        const fs::path path = ZoneSetStore::storeLayout(stored);
        reloadUserLayouts();
        changed("AppDelegate+Persistence.saveUserLayout");
        Log::app.info("Saved layout %s to %s", layout.id, path.string());
    } catch (const std::exception& e) {
        Log::app.error("Failed to save layout %s: %s", layout.id, e.what());
        return std::nullopt;
    }
    return layout.id;
}

void LayoutLibrary::createNewLayout(const std::optional<std::string>& displayUUID) {
    ConfigZoneSet layout;
    std::string trimmed = displayUUID ? trimmingWhitespaceAndNewlines(*displayUUID) : std::string();
    if (!trimmed.empty()) layout.displayUUID = trimmed;
    layout.name = "New Layout";
    layout.version = "2.0";
    layout.layoutTree = LayoutNode::region(1, "Zone 1");
    fs::path path;
    try {
        // Free as a file name and as an id inside any file, since a layout is stored where its id is.
        std::set<std::string> taken;
        for (const auto& set : ZoneSetStore::loadAll())
            taken.insert(set.id);
        layout.id = ZoneSetStore::makeLayoutID(ZoneSetStore::layoutsDirectoryURL(), taken);
        path = ZoneSetStore::storeLayout(layout);
    } catch (const std::exception& e) {
        Log::app.error("Failed to create new layout: %s", e.what());
        return;
    }
    reloadUserLayouts();
    if (displayUUID && !displayUUID->empty() && onLayoutCreatedForDisplay)
        onLayoutCreatedForDisplay(*displayUUID);
    Log::app.info("Created new %s layout at %s", layout.displayUUID ? "instance" : "template", path.string());
}

} // namespace korvane
