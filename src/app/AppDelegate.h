// The application object: owner of the layout state that the subsystems share (user layouts, layout
// memory, per-display selection and workbenches, the templates) and of the status-bar event bus, with
// the operations that keep that state in step with the application-support folder.
#pragma once

#include "app/DisplayWorkbenchSet.h"
#include "app/StatusBarEventBus.h"
#include "core/MultiDisplayState.h"
#include "layouts/ConfigZoneSet.h"
#include "layouts/LayoutDirectoryEntry.h"
#include "layouts/LayoutMemoryStore.h"
#include "layouts/LayoutSelectionStore.h"
#include "layouts/LayoutTemplateResolver.h"
#include "layouts/LayoutTemplateSet.h"
#include "platform/FolderWatcher.h"
#include "platform/RunLoop.h"
#include "tracking/MappingTransaction.h"

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

namespace platform {
class Platform;
}

// Main thread only. Every deferred step it schedules holds it weakly and does nothing once it is gone,
// so it is always owned through create().
class AppDelegate : public LayoutTemplateResolver, public std::enable_shared_from_this<AppDelegate> {
  public:
    // Reads the layout selection, the layout templates and the display workbenches; starts nothing.
    static std::shared_ptr<AppDelegate> create(platform::Platform& platform);
    ~AppDelegate() override;
    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    std::shared_ptr<StatusBarEventBus> statusBarEventBus;
    std::shared_ptr<MultiDisplayState> multiState; // made at start-up, before any layout operation
    int lastUsedRegion = 1;
    LayoutMemoryStore layoutMemory;                      // replaced by the stored one at start-up
    std::map<std::string, LayoutMemoryKey> memoryScopes; // display UUID -> its layout-memory scope
    std::vector<ConfigZoneSet> regionSets;               // user layouts, in the order they were loaded
    LayoutSelection layoutSelection;
    LayoutTemplateSet layoutTemplates;
    DisplayWorkbenchSet displayWorkbenches;
    std::unique_ptr<platform::FolderWatch> layoutDirectoryWatcher;
    platform::WorkItemRef pendingLayoutDirectoryReloadWorkItem;
    double layoutDirectoryReloadDebounce = 0.25; // seconds
    platform::WorkItemRef pendingLayoutDirectoryWatcherRestartWorkItem;
    std::map<std::string, int> lastUsedRegionByDisplay;
    bool autoApplyLayoutOnDisplayChange = false; // nothing sets it
    MappingTransactionCoordinator mappingTransactions;

    // Start-up, in this order: clear on request, load, rebuild the scopes. Failures are logged.
    void clearLayoutMemoryIfRequested();
    void loadLayoutMemory();
    void rebuildMemoryScopes();
    // Writes the layout memory; a failure is logged and the previous file stays.
    void persistLayoutMemory();

    // Start-up, in this order, then the watcher. Each migration sets its flag after its attempt.
    void migrateLayoutIDsIfNeeded();
    void reloadUserLayouts();
    void migrateLayoutTemplatesIfNeeded();

    // User layouts on request of the scene windows. Every failure is logged and absorbed: rename says
    // false, delete still reloads, save returns the id whether or not it wrote.
    bool renameLayout(const LayoutDirectoryEntry& entry, const std::string& newName);
    void deleteLayoutFromManager(const LayoutDirectoryEntry& entry);
    std::string saveUserLayout(const ConfigZoneSet& layout);
    // Writes a new empty user layout and reloads; gives a display without a workbench its record.
    void createNewLayout(const std::optional<std::string>& displayUUID);

    void setLaunchAtLogin(bool enabled);

    // The Layouts folder watcher: a reload 0.25 s after the last change, a restart 0.2 s after the
    // folder was deleted, renamed or revoked.
    void startLayoutDirectoryWatcher();
    void stopLayoutDirectoryWatcher();
    void handleLayoutDirectoryEvent(unsigned mask);
    void scheduleLayoutDirectoryReload(const std::string& reason);
    void scheduleLayoutDirectoryWatcherRestart(const std::string& reason);
    void restartLayoutDirectoryWatcher(const std::string& reason);

    // LayoutTemplateResolver.
    std::optional<ConfigZoneSet> regionSet(const std::string& id) const override;
    std::optional<LayoutNode> layoutTree(const ConfigZoneSet& set) const override;
    std::vector<ConfigZoneSet> builtinLayoutTemplates() const override;

    // Gives the display a workbench (the active display's template, else "builtin.split-50-50") and a
    // selection entry when it has none, saves both and publishes a refresh. False for a blank UUID.
    bool createDisplayRecord(const std::string& displayUUID);

    static constexpr const char* kLayoutTemplateMigrationFlag = "Korvane.LayoutTemplateMigrationCompleted";
    static constexpr const char* kLayoutIDMigrationFlag = "Korvane.layoutIDMigrationDone";
    static constexpr const char* kClearLayoutMemoryArgument = "--clear-layout-memory";

  private:
    explicit AppDelegate(platform::Platform& platform);

    void publishRefresh(const std::string& source);
    // Writes the layout compactly to "<id>.json" in the Layouts folder (created when missing) and
    // returns the file's path. Throws for an id that cannot name a file there and on any failure.
    static std::filesystem::path writeUserLayoutFile(const ConfigZoneSet& layout);

    platform::Platform& platform_;
};

} // namespace korvane
