// The application object: owner of the layout state that the subsystems share (user layouts, layout
// memory, per-display selection and workbenches, the templates) and of the status-bar event bus, with
// the operations that keep that state in step with the application-support folder and that give each
// display its zones.
#pragma once

#include "app/DisplayWorkbenchSet.h"
#include "app/StatusBarEventBus.h"
#include "core/MultiDisplayState.h"
#include "core/ZoneModel.h"
#include "layouts/ConfigZoneSet.h"
#include "layouts/LayoutDirectoryEntry.h"
#include "layouts/LayoutMemoryStore.h"
#include "layouts/LayoutSelectionStore.h"
#include "layouts/LayoutTemplateResolver.h"
#include "layouts/LayoutTemplateSet.h"
#include "platform/Accessibility.h"
#include "platform/FolderWatcher.h"
#include "platform/Geometry.h"
#include "platform/RunLoop.h"
#include "platform/Screens.h"
#include "tracking/MappingTransaction.h"

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

class AXUtil;
class WMController;
class WMState;
struct WMScene;

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
    std::shared_ptr<WMController> controller;      // made at start-up, after multiState
    std::shared_ptr<AXUtil> ax;                    // the process-wide instance
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

    // ---- Displays (AppDelegateDisplay.cpp) ----

    // Gives the display a workbench (the active display's template, else "builtin.split-50-50") and a
    // selection entry when it has none, saves both and publishes a refresh. False for a blank UUID.
    bool createDisplayRecord(const std::string& displayUUID);
    // The display the user works on: the screen of `windowFrame` (the bottom-left frame of one of this
    // application's windows), else the focused window's display, else the screen under the pointer,
    // else the main screen, else the current active display. Only the focus, pointer and main-screen
    // answers are stored as multiState's activeDisplayUUID.
    std::string resolveActiveDisplayUUID(const std::optional<Rect>& windowFrame);

    // ---- Applying layouts to displays (AppDelegateApplyLayouts.cpp) ----

    // Gives the display (the active one when none is named) a fresh state of the set's zones with empty
    // stacks and raises its epoch; records the set as the display's template and selection unless its
    // id is transient. The active display is always activated.
    void applyRegionSet(const ConfigZoneSet& set, const std::optional<std::string>& displayUUID,
                        bool activate);
    // Makes a state for a display that has none, from its workbench template, else its selection, else
    // "builtin.split-50-50"; a recorded choice that names a missing layout is kept, not overwritten.
    bool ensureState(const std::string& displayUUID);
    // Applies the workbench's template in the background; false when no layout has its id.
    bool applyTemplate(const DisplayWorkbench& workbench, const std::string& reason);
    void setActiveTemplate(const std::string& displayUUID, const std::string& templateID);
    // Each connected display gets the scene's layout, else its workbench template, else 50:50.
    void applyLayoutsFromScene(const WMScene& scene);
    // Re-applies the active display's workbench template (50:50 when it names a missing layout); false
    // when the active display has no workbench.
    bool restoreLayoutsAtStartup();

    // ---- Keeping displays in step with their layouts (AppDelegateLayoutSync.cpp) ----

    // Rebuilds the zones in place (stacks kept, epoch unchanged) when zone 1 has left the display's
    // screen; re-applies the recorded layout (stacks emptied, epoch raised) when the state no longer
    // matches it.
    void ensureDisplayLayoutSynced(const std::string& displayUUID);
    // False when the display is not connected, or when zone 1's centre is off its visible frame.
    bool validateRegionFrames(const std::string& displayUUID, const WMState& state);
    std::optional<int> expectedZoneCount(const std::string& layoutID, const std::string& displayUUID);
    // Carries the last used zone from the old active display over to the new one.
    bool setActiveDisplay(const std::string& displayUUID, bool registerHotkeys);
    bool reapplyActiveTemplate(const std::string& reason);

    // ---- Focus and memory scopes (AppDelegateFocus.cpp) ----

    // The focused window of the frontmost application with the display it belongs to.
    struct FocusedWindow {
        platform::AXElement element;
        std::optional<Rect> frame; // bottom-left global
        std::string displayUUID;
    };
    std::optional<FocusedWindow> focusedWindow();
    // The display's cached scope, else one made from its workbench, else from its selection (cached).
    std::optional<LayoutMemoryKey> memoryScope(const std::string& displayUUID);
    // Records the zone of the window that the controller has just focused as the last used zone.
    void onWindowFocusSync(WindowID wid);
    // Lets the controller adopt the focused window, then records its zone as the last used zone.
    void updateLastUsedRegionFromFocus();

    // ---- Controller callbacks and hooks (AppDelegateCallbacks.cpp) ----

    void wireControllerCallbacks();
    // Registers the hot-key bindings again; nothing to register until the hot keys exist.
    void registerHotkeys();
    // A short notice on a display; nothing is shown until the toast window exists.
    void showToast(const std::string& message, const std::string& displayUUID, double duration);

    static constexpr const char* kLayoutTemplateMigrationFlag = "Korvane.LayoutTemplateMigrationCompleted";
    static constexpr const char* kLayoutIDMigrationFlag = "Korvane.layoutIDMigrationDone";
    static constexpr const char* kClearLayoutMemoryArgument = "--clear-layout-memory";

  private:
    explicit AppDelegate(platform::Platform& platform);

    void publishRefresh(const std::string& source);

    // The screen list's display UUIDs, in its order.
    std::vector<std::string> connectedDisplayUUIDs();
    // The first connected screen with this display UUID, else the main screen, else nothing.
    std::optional<platform::ScreenInfo> screenOfDisplay(const std::string& displayUUID);
    // The display's last used zone when it has one, else the smallest of `zones`, else 1.
    int defaultZone(const std::string& displayUUID, const std::map<int, Zone>& zones) const;
    // One row holding every zone, as the layouts record them.
    static Layout layoutOfZones(const std::string& displayUUID, std::map<int, Zone> zones);
    // Writes the layout compactly to "<id>.json" in the Layouts folder (created when missing) and
    // returns the file's path. Throws for an id that cannot name a file there and on any failure.
    static std::filesystem::path writeUserLayoutFile(const ConfigZoneSet& layout);

    platform::Platform& platform_;
};

} // namespace korvane
