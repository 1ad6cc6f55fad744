// Layout lookups for the rest of the system and the scene windows (built-in layouts before user
// layouts), and new empty user layouts for the scene editor.
#include "app/AppDelegate.h"

#include "core/Log.h"
#include "layouts/BuiltinLayouts.h"
#include "layouts/LayoutTreeModel.h"
#include "layouts/ZoneSetStore.h"
#include "platform/Platform.h"
#include "platform/TextTrim.h"


#include <set>

namespace korvane {

namespace fs = std::filesystem;

std::optional<ConfigZoneSet> AppDelegate::regionSet(const std::string& id) const {
    if (auto builtin = legacyTemplateIDMap(id)) return builtin;
    for (const auto& set : regionSets)
        if (set.id == id) return set;
    return std::nullopt;
}

std::optional<LayoutNode> AppDelegate::layoutTree(const ConfigZoneSet& set) const {
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

std::vector<ConfigZoneSet> AppDelegate::builtinLayoutTemplates() const {
    std::vector<ConfigZoneSet> candidates = {builtinFullscreenLayout(), builtinSplit6040Layout(),
                                             builtinSplit5050Layout(), builtinDailyLayout()};
    candidates.insert(candidates.end(), regionSets.begin(), regionSets.end());

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

void AppDelegate::createNewLayout(const std::optional<std::string>& displayUUID) {
    ConfigZoneSet layout;
    std::string trimmed = displayUUID ? trimmingWhitespaceAndNewlines(*displayUUID) : std::string();
    if (!trimmed.empty()) layout.displayUUID = trimmed;
    layout.name = "New Layout";
    layout.version = "2.0";
    layout.layoutTree = LayoutNode::region(1, "Zone 1");
    fs::path path;
    try {
        layout.id = ZoneSetStore::makeLayoutID(ZoneSetStore::layoutsDirectoryURL());
        path = writeUserLayoutFile(layout);
    } catch (const std::exception& e) {
        Log::app.error("Failed to create new layout: %s", e.what());
        return;
    }
    reloadUserLayouts();
    if (displayUUID && !displayUUID->empty() && !displayWorkbenches.workbenches.count(*displayUUID))
        createDisplayRecord(*displayUUID);
    Log::app.info("Created new %s layout at %s", layout.displayUUID ? "instance" : "template", path.string());
}

} // namespace korvane
