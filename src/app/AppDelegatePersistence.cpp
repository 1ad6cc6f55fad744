// The application object's layout persistence: the layout memory, the one-time migrations, and the
// user layout files renamed, deleted and saved on request of the scene windows.
#include "app/AppDelegate.h"

#include "app/LaunchAgent.h"
#include "core/AppSupport.h"
#include "core/FileUtil.h"
#include "core/JSONEncoder.h"
#include "core/Log.h"
#include "layouts/BuiltinLayouts.h"
#include "layouts/LayoutDescriptor.h"
#include "layouts/LayoutTreeModel.h"
#include "layouts/ZoneSetStore.h"
#include "platform/Format.h"
#include "platform/Platform.h"
#include "platform/TextTrim.h"
#include "scenes/model/SceneFileRewriter.h"
#include "scenes/model/ScreenContext.h"

#include <algorithm>
#include <stdexcept>

namespace korvane {

namespace fs = std::filesystem;

namespace {

// Layout ids come from files and scenes; one that is not a plain file name must not reach the disk.
class UnsafeLayoutIDError : public std::runtime_error {
  public:
    explicit UnsafeLayoutIDError(const std::string& id)
        : std::runtime_error("The layout id " + platform::quoted(id) +
                             " cannot name a file in the Layouts folder") {}
};

// ["old": "new", ...], the printed form of a map of text.
std::string describeMapping(const ZoneSetStore::IDMapping& mapping) {
    std::string text = "[";
    bool first = true;
    for (const auto& [from, to] : mapping) {
        if (!first) text += ", ";
        first = false;
        text += platform::quoted(from) + ": " + platform::quoted(to);
    }
    return text + "]";
}

void ensureBuiltinTemplates(LayoutTemplateSet& templates) {
    for (const auto& builtin : builtinLayoutTemplateList())
        if (!templates.templateWithID(builtin.id)) templates.upsert(builtin);
}

fs::path layoutMemoryPath() {
    return appSupportDirectory() / LayoutMemoryStore::kFileName;
}

} // namespace

fs::path AppDelegate::writeUserLayoutFile(const ConfigZoneSet& layout) {
    if (!isSafeFileIdentifier(layout.id)) throw UnsafeLayoutIDError(layout.id);
    const fs::path folder = ZoneSetStore::layoutsDirectoryURL();
    fs::create_directories(folder);
    const fs::path path = folder / (layout.id + ".json");
    writeFileAtomically(path, JSONEncoder{}.encode(layout.toJSON()));
    return path;
}

void AppDelegate::clearLayoutMemoryIfRequested() {
    const auto arguments = platform_.processInfo().arguments();
    if (std::find(arguments.begin(), arguments.end(), kClearLayoutMemoryArgument) == arguments.end()) return;
    try {
        LayoutMemoryStore::reset();
        Log::app.info("Cleared layout memory file (on demand)");
    } catch (const std::exception& e) {
        Log::app.error("Failed to clear layout memory: %s", e.what());
    }
}

void AppDelegate::loadLayoutMemory() {
    try {
        const fs::path path = layoutMemoryPath();
        std::error_code ec;
        if (!fs::exists(path, ec) && !ec) {
            layoutMemory = LayoutMemoryStore();
            return;
        }
        auto bytes = readFileIfPresent(path);
        if (!bytes)
            throw fs::filesystem_error("cannot read the layout memory", path,
                                       std::make_error_code(std::errc::io_error));
        layoutMemory = LayoutMemoryStore::fromJSON(nlohmann::json::parse(*bytes));
    } catch (const std::exception& e) {
        // The file stays as it is; the first write keeps a copy of it beside the new one.
        Log::app.error("CRITICAL: Failed to load layout memory, starting fresh. Error: %s", e.what());
        layoutMemory = LayoutMemoryStore();
    }
}

void AppDelegate::rebuildMemoryScopes() {
    memoryScopes.clear();
    for (const auto& [key, workbench] : displayWorkbenches.workbenches)
        memoryScopes[workbench.displayUUID] =
            LayoutMemoryKey{workbench.displayUUID, workbench.activeTemplateID};
}

void AppDelegate::persistLayoutMemory() {
    try {
        layoutMemory.save(layoutMemoryPath());
    } catch (const std::exception& e) {
        Log::app.error("Failed to persist layout memory: %s", e.what());
    }
}

void AppDelegate::migrateLayoutIDsIfNeeded() {
    auto& defaults = platform_.userDefaults();
    if (defaults.boolValue(kLayoutIDMigrationFlag).value_or(false)) return;
    try {
        auto mapping = ZoneSetStore::migrateLegacyLayoutIDs();
        if (!mapping.empty()) {
            // The scenes name layouts by id; they follow the layouts that moved before the move counts as
            // done.
            rewriteSceneLayoutIDs(mapping, ScreenContext::capture(platform_.screens()),
                                  platform_.runLoop().wallClock());
            Log::app.info("Migrated %ld layout ID(s): %s", static_cast<std::int64_t>(mapping.size()),
                          describeMapping(mapping));
        }
    } catch (const std::exception& e) {
        Log::app.error("Layout ID migration failed: %s", e.what());
    }
    // Set after a failure too: a migration that fails once is not tried again.
    defaults.set(kLayoutIDMigrationFlag, true);
}

void AppDelegate::reloadUserLayouts() {
    try {
        regionSets = ZoneSetStore::loadAll();
        Log::app.info("Reloaded %ld user layouts", static_cast<std::int64_t>(regionSets.size()));
    } catch (const std::exception& e) {
        Log::app.error("Failed to reload user layouts: %s", e.what());
    }
}

void AppDelegate::migrateLayoutTemplatesIfNeeded() {
    LayoutTemplateSet templates = LayoutTemplateSet::load();
    DisplayWorkbenchSet workbenches = DisplayWorkbenchSet::load();
    ensureBuiltinTemplates(templates);

    auto& defaults = platform_.userDefaults();
    const bool completed = defaults.boolValue(kLayoutTemplateMigrationFlag).value_or(false);
    if (completed && !templates.templates.empty() && !workbenches.workbenches.empty()) {
        layoutTemplates = std::move(templates);
        displayWorkbenches = std::move(workbenches);
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
    layoutTemplates = std::move(templates);
    displayWorkbenches = std::move(workbenches);
    defaults.set(kLayoutTemplateMigrationFlag, true);
}

bool AppDelegate::renameLayout(const LayoutDirectoryEntry& entry, const std::string& newName) {
    if (entry.kind != LayoutDescriptor::Kind::userConfig) return false;
    const std::string name = trimmingWhitespaceAndNewlines(newName);
    if (name.empty()) return false;
    auto it = std::find_if(regionSets.begin(), regionSets.end(),
                           [&](const ConfigZoneSet& set) { return set.id == entry.id; });
    if (it == regionSets.end()) return false;
    if (it->name == name) return true;

    ConfigZoneSet renamed = *it;
    renamed.name = name;
    try {
        // Named by the id: an older file whose name differs from its id stays beside the new one.
        writeUserLayoutFile(renamed);
    } catch (const std::exception& e) {
        Log::app.error("Failed to rename layout %s: %s", entry.id, e.what());
        return false;
    }
    *it = std::move(renamed);
    reloadUserLayouts();
    publishRefresh("AppDelegate+Persistence.renameLayout");
    Log::app.info("Renamed layout id=%s -> name=%s", entry.id, name);
    return true;
}

void AppDelegate::deleteLayoutFromManager(const LayoutDirectoryEntry& entry) {
    if (entry.kind != LayoutDescriptor::Kind::userConfig) return;
    try {
        if (!isSafeFileIdentifier(entry.id)) throw UnsafeLayoutIDError(entry.id);
        const fs::path path = ZoneSetStore::layoutsDirectoryURL() / (entry.id + ".json");
        std::error_code ec;
        if (fs::exists(fs::symlink_status(path, ec))) {
            fs::remove(path, ec);
            if (ec) throw fs::filesystem_error("cannot remove the layout file", path, ec);
            Log::app.info("Deleted layout file %s", path.string());
        }
    } catch (const std::exception& e) {
        Log::app.error("Failed to delete layout %s: %s", entry.id, e.what());
    }
    // The layout leaves regionSets through the reload, never by editing the list.
    reloadUserLayouts();
    publishRefresh("AppDelegate+Persistence.deleteLayoutFromManager");
}

std::string AppDelegate::saveUserLayout(const ConfigZoneSet& layout) {
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
        const fs::path path = writeUserLayoutFile(stored);
        reloadUserLayouts();
        publishRefresh("AppDelegate+Persistence.saveUserLayout");
        Log::app.info("Saved layout %s to %s", layout.id, path.string());
    } catch (const std::exception& e) {
        Log::app.error("Failed to save layout %s: %s", layout.id, e.what());
    }
    return layout.id;
}

void AppDelegate::setLaunchAtLogin(bool enabled) {
    try {
        LaunchAgent agent(platform_);
        if (enabled)
            agent.install();
        else
            agent.uninstall();
        Log::app.info("Launch-at-login toggled enabled=%{bool}d", enabled);
    } catch (const std::exception& e) {
        Log::app.error("Failed to toggle launch-at-login: %s", e.what());
    }
}

} // namespace korvane
