// The application object: the composition root. It makes the shared objects and the components in
// start-up order, wires their callbacks to each other weakly, and keeps the entry points that callers
// outside the components need. It holds no state of its own beyond what it made and the handles of the
// observations it started.
//
// Its members are spread over five files by concern: making and wiring (AppDelegate.cpp), start-up and
// the start of the services (AppDelegateLaunch.cpp), the application's events and shut-down
// (AppDelegateEvents.cpp), the status-bar actions with what the menus, controllers and the settings
// window call (AppDelegateActions.cpp), and the scene actions (AppDelegateScenes.cpp). The scene manager's
// window with its callbacks has a file of its own (AppDelegateSceneManager.cpp).
#pragma once

#include "app/StatusBarEvent.h"
#include "core/WMController.h"
#include "input/HotkeyConfig.h"
#include "platform/Accessibility.h"
#include "platform/Screens.h"
#include "tracking/MappingTransaction.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

class AXUtil;
class DisplayChangeHandler;
struct ConfigZoneSet;
class DisplayIdentity;
class DisplayLayoutEventBus;
class DisplayLayouts;
class DisplayRecords;
class DragSnapController;
class GlobalSwitcherWindowController;
class HotkeyActions;
class HotkeyManager;
class HotkeyPushActions;
class LayoutDirectoryWatcher;
class LayoutLibrary;
class LayoutMemory;
class MappingTransactionCoordinator;
class MultiDisplayState;
class NewWindowPlacement;
class SDPController;
class SceneCardSwitcherController;
class SceneEditorOverlayController;
class SceneEditorPanelPool;
class SceneManagerPanelController;
class SceneRestoreEngine;
class SceneRestoreServices;
class SceneSaveWindowController;
class SceneStore;
class SettingsWindowController;
class StatusBarController;
class StatusBarEventBus;
class StatusBarEventSubscription;
class TransactionalPush;
class UnconfiguredDisplayPrompts;
class WakeRecovery;
class WakeSlotReplay;
class WindowMappingClassifier;
class WindowMappingRebuild;
class WindowTracker;
class ZoneMemberships;
struct DisplayWorkbenchSet;
struct LayoutSelection;
struct LayoutTemplateSet;
struct WMScene;

namespace platform {
class ObserverToken;
class Platform;
} // namespace platform

// Main thread only. Callbacks between components hold their targets weakly, so that nothing runs once
// the application object and what it made are gone; it is always owned through create().
//
// Making it shows nothing, observes nothing and starts no timer: it reads the layout selection, the
// layout templates and the display workbenches, and starts from the default hot-key table without
// reading "hotkeys.json". The status item, the gesture, card-switcher and drag-snap controllers are
// made at start-up; the global switcher and the settings window on first use.
class AppDelegate : public std::enable_shared_from_this<AppDelegate> {
  public:
    static std::shared_ptr<AppDelegate> create(platform::Platform& platform);
    ~AppDelegate();
    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    // The shared objects.
    const std::shared_ptr<StatusBarEventBus>& statusBarEventBus() const { return statusBarEventBus_; }
    const std::shared_ptr<DisplayLayoutEventBus>& displayLayoutEventBus() const {
        return displayLayoutEventBus_;
    }
    const std::shared_ptr<AXUtil>& ax() const { return ax_; }
    // Made here, started once the permissions are granted.
    const std::shared_ptr<WindowTracker>& tracker() const { return tracker_; }
    const std::shared_ptr<LayoutSelection>& layoutSelection() const { return layoutSelection_; }
    const std::shared_ptr<LayoutTemplateSet>& layoutTemplates() const { return layoutTemplates_; }
    const std::shared_ptr<DisplayWorkbenchSet>& displayWorkbenches() const { return displayWorkbenches_; }
    const std::shared_ptr<HotkeyManager>& hotkeyManager() const { return hotkeyManager_; }
    // The hot-key table in force.
    const HotkeyConfig& hotkeyConfig() const { return hotkeyConfig_; }
    const std::shared_ptr<MappingTransactionCoordinator>& mappingTransactions() const {
        return mappingTransactions_;
    }
    // Empty until start-up gives the displays their states; nothing reads them before.
    const std::shared_ptr<MultiDisplayState>& multiState() const { return multiState_; }
    const std::shared_ptr<WMController>& controller() const { return controller_; }
    // Nothing sets it; the push hot key names it in its log line.
    const std::optional<std::string>& pendingTargetDisplayUUID() const { return pendingTargetDisplayUUID_; }

    // The components.
    LayoutLibrary& layoutLibrary() const { return *layoutLibrary_; }
    LayoutDirectoryWatcher& layoutDirectoryWatcher() const { return *layoutDirectoryWatcher_; }
    LayoutMemory& layoutMemory() const { return *layoutMemory_; }
    DisplayRecords& displayRecords() const { return *displayRecords_; }
    DisplayIdentity& displayIdentity() const { return *displayIdentity_; }
    DisplayLayouts& displayLayouts() const { return *displayLayouts_; }
    WindowMappingClassifier& windowMappingClassifier() const { return *windowMappingClassifier_; }
    // The tracker's delegate once the services start: it places the windows of launched applications.
    const std::shared_ptr<NewWindowPlacement>& newWindowPlacement() const { return newWindowPlacement_; }
    WindowMappingRebuild& windowMappingRebuild() const { return *windowMappingRebuild_; }
    DisplayChangeHandler& displayChangeHandler() const { return *displayChangeHandler_; }
    WakeSlotReplay& wakeSlotReplay() const { return *wakeSlotReplay_; }
    WakeRecovery& wakeRecovery() const { return *wakeRecovery_; }
    HotkeyActions& hotkeyActions() const { return *hotkeyActions_; }
    // What the push hot keys do; its toasts are the application's.
    HotkeyPushActions& pushActions() const { return *pushActions_; }

    // Made at start-up, or on first use; empty until then.
    const std::shared_ptr<StatusBarController>& status() const { return status_; }
    const std::shared_ptr<SDPController>& sdpController() const { return sdpController_; }
    const std::shared_ptr<SceneCardSwitcherController>& sceneCardSwitcherController() const {
        return sceneCardSwitcherController_;
    }
    const std::shared_ptr<DragSnapController>& dragSnapController() const { return dragSnapController_; }
    const std::shared_ptr<GlobalSwitcherWindowController>& globalSwitcherWC() const {
        return globalSwitcherWC_;
    }
    const std::shared_ptr<SettingsWindowController>& settingsWC() const { return settingsWC_; }
    // The open scene manager; empty from its window's close until the next request.
    const std::shared_ptr<SceneManagerPanelController>& sceneManagerPanelController() const {
        return sceneManagerPanelController_;
    }
    // The application-wide restore engine over the application-wide scene store, made on first use.
    const std::shared_ptr<SceneRestoreEngine>& sceneRestoreEngine();
    // The scene windows while they are open; empty otherwise.
    const std::shared_ptr<SceneSaveWindowController>& saveSceneWindowController() const {
        return saveSceneWindowController_;
    }
    const std::shared_ptr<SceneEditorOverlayController>& sceneEditorOverlayController() const {
        return sceneEditorOverlayController_;
    }
    // The prompts offered for newly connected displays.
    UnconfiguredDisplayPrompts& unconfiguredDisplayPrompts() const { return *unconfiguredDisplayPrompts_; }

    // Pushes a window into a zone as a placement transaction; the intent's id, or nothing when the push
    // was skipped for its epoch or refused as auxiliary.
    std::optional<std::string> transactionalPush(const platform::AXElement& window, int zoneID,
                                                 const std::string& displayUUID, MappingIntentSource source,
                                                 const std::string& context, MoveActivation activation,
                                                 double timeToLive,
                                                 std::optional<std::int64_t> requiredEpoch = std::nullopt);

    // Leads the controller's callbacks back to the components; renewed whenever a display becomes active.
    void wireControllerCallbacks();
    // Applies the hot-key table in force: every action's closure, holding the application weakly, and the
    // zone count of the largest layout (at least 1) for the zone-number keys. At start-up and whenever
    // the table, the active display or a display's layout changes.
    void registerHotkeys();
    // A short notice on the display's screen, else the main screen; nothing without either (an empty
    // UUID names no screen).
    void showToast(const std::string& message, const std::string& displayUUID, double duration);
    // Installs or removes the entry that starts the program at login; a failure is logged and answered in
    // words for the settings page.
    std::optional<std::string> setLaunchAtLogin(bool enabled);
    // Brings every display's window-to-zone mapping in line with the window list.
    void rebuildWindowRegionMappings(bool allowPrune, const std::string& reason);
    // The connected displays' UUIDs, each once, sorted.
    std::vector<std::string> availableDisplayUUIDs() const;
    // Follows display-layout probes from now on (once the status item exists).
    void startDisplayLayoutProbeSubscription();
    // The computer woke from sleep: recovers the zone mappings over the next 1.8 s.
    void handleSystemWake();

    // ---- Start-up (AppDelegateLaunch.cpp) ----

    // Builds the running system, in this order: the layout memory, the rescue of parked windows on a
    // background queue, the main display's zone state and the controller's callbacks, every display's
    // records and zones, the status item with its subscriptions, the hot keys, the mouse tap with the
    // gesture, card-switcher and drag-snap controllers, the display and wake observers, the layout
    // housekeeping, the scenes and start-up layouts, and last the permissions, which start the services at
    // once when both grants hold and otherwise from the permission poll. Once; nothing of it under a test
    // runner.
    void applicationDidFinishLaunching();
    // Whether the process runs under the unit-test runner ("XCTestConfigurationFilePath" is set).
    bool isRunningUnitTests() const;
    // Brings windows parked off-screen back; any thread (it uses only the accessibility wrapper).
    void rescueWindows();
    // The permissions' completion: logs, then, while the application lives, makes the placement of new
    // windows the tracker's delegate, starts tracking and restores the active scene.
    static void startServicesAfterPermission(const std::weak_ptr<AppDelegate>& app);
    // The active scene's id as "active-scene.json" records it; nothing when it cannot be read.
    std::optional<std::string> activeSceneID();

    // ---- Events and shut-down (AppDelegateEvents.cpp) ----

    // One of the program's own windows took the focus: a probe asks for the displays to be examined.
    void applicationDidBecomeActive();
    // "Korvane.ScreenParametersChanged": the status-bar menu learns which displays came and went, a probe
    // asks for a display pass, the panels of displays gone close, then the scenes hear of it. Lists that
    // are missing or not lists of text read as empty.
    void handleDisplayObserverNotification(const nlohmann::json& userInfo);
    // The editor's panels, the card switcher and the global switcher shown on a display no longer
    // connected close: the window manager would move them onto a display that stays, mostly off it.
    void closePanelsOfDisplaysGone();
    // The scenes' side of displays added or removed: the prompts of removed displays close, added
    // displays are offered the active scene (AppDelegateScenes.cpp).
    void handleDisplaysChangedForScenes(const std::optional<nlohmann::json>& userInfo);
    // Ends the observations, subscriptions, the mouse tap and the Layouts folder watcher, then writes
    // "layout-memory.json". Safe to call again; later calls only write the memory again.
    void applicationWillTerminate();

    // ---- Status-bar actions and the controllers' callbacks (AppDelegateActions.cpp) ----

    // Follows the menu's actions from now on, ending an earlier subscription first.
    void startStatusBarActionSubscription();
    // Scene sheets and updates at once; the scene manager and the settings 0.15 s later; quit at once.
    void handleStatusBarAction(StatusBarActionEvent action);
    // The global switcher on the active display's screen (else the main screen, else the first).
    void toggleGlobalSwitcherFromHotkey();
    // Makes the switcher on first use; hides it when it shows, else shows it on `screen`.
    void toggleGlobalSwitcher(const platform::ScreenInfo& screen);
    // The "Preferences" window, made on first use and reused; its model reloads on every showing.
    void showSettingsWindow();
    const HotkeyConfig& currentHotkeyConfig() const { return hotkeyConfig_; }
    // Keeps the table, writes "hotkeys.json" and registers the hot keys again.
    void saveHotkeyConfig(const HotkeyConfig& config);
    // Writes and keeps the default table, registers it and returns it.
    HotkeyConfig resetHotkeyConfig();
    // Shows "hotkeys.json" in the file manager; a folder that cannot be had is logged. Where nothing can show
    // the file, `failed` (when set) hears why in words for the settings page, possibly later.
    void revealHotkeyConfig(std::function<void(const std::string& reason)> failed = {});
    // The scene manager, selecting the scene and the display when given; an open one is brought to the
    // front instead (AppDelegateSceneManager.cpp).
    void showSceneManager(const std::optional<std::string>& sceneIDToSelect,
                          const std::optional<std::string>& displayUUIDToSelect = std::nullopt);
    // Reloads the scene manager's model while its window is open.
    void reloadOpenSceneManager();
    // Brings this program forward, ahead of the others.
    void activateApplication();

    // ---- Scene actions (AppDelegateScenes.cpp) ----

    // The application's scene store; nothing when the application-support folder cannot be had.
    std::shared_ptr<SceneStore> sceneStore();
    // The "Save Scene" window over the windows on screen now, centred on the main screen; a window already
    // open is only brought to the front.
    void showSaveSceneSheet();
    // The window's scene was stored: the window closes, the scene becomes active, "Saved: NAME" shows.
    void sceneSaveSheetDidSave(const WMScene& scene);
    // What the save window proposes: the display's active template, else its last layout.
    std::optional<std::string> sceneLayoutIDForDisplay(const std::string& displayUUID) const;
    // The zone the display's state records for the window.
    std::optional<int> sceneZoneIDForWindow(WindowID window, const std::string& displayUUID) const;
    // Rewrites the active scene with the connected displays' layouts and the windows on screen now;
    // "No active scene to update", "Active scene cannot be read", "Scene not found" or "Update failed"
    // when it cannot.
    void updateActiveScene();
    void handleUpdateScene(const WMScene& activeScene);
    // Replaces the connected displays' layout references and window hints with the live state, parked
    // windows left out; those of displays not connected stay as they are. The number of connected
    // displays that got a reference.
    int captureSceneSnapshot(WMScene& scene);
    // The scene editor for the scene and the display, or the open editor brought to them.
    void showSceneEditor(const std::optional<std::string>& sceneID,
                         const std::optional<std::string>& displayUUID);
    void sceneEditorDidSave();
    void sceneEditorDidClose();
    // A while after start-up, on a turn with nothing else to do, the editor's panels are made and drawn
    // unmapped, so that its first opening costs what a later one does (see SceneEditorPanelPool).
    void prepareSceneEditorWhenIdle();
    // The applications the stored scenes place that run now: those whose chips the editor's first
    // opening most likely shows with the picture they have now.
    std::vector<std::string> runningSceneApplications();
    // Shows the scene card switcher, or hides it when it shows.
    void toggleSceneCardSwitcher();
    // The prompt's Apply: the scene's layout for that one display, then its windows swept there; the other
    // displays keep their zones and stacks.
    void applySceneToNewDisplay(const WMScene& scene, const std::string& displayUUID);
    // The prompt's Set Up: the scene manager on the scene and the display.
    void setUpSceneForNewDisplay(const WMScene& scene, const std::string& displayUUID);
    // A scene window has bound a layout to a display of the scene, or stored one for it: while the scene
    // is active and the display connected, the display takes that layout at once, as a restore gives it.
    void sceneLayoutChanged(const std::string& sceneID, const std::string& displayUUID);

    // How the program quits (the menu's Quit, a signal, "Quit & Relaunch"): the program installs it and
    // runs applicationWillTerminate() on its way out. Unset, quitting does nothing.
    std::function<void()> terminate;

  private:
    explicit AppDelegate(platform::Platform& platform);
    // Connects the components' hooks, each holding its target weakly.
    void wire();

    // Start-up steps that need more than a line (AppDelegateLaunch.cpp).
    std::string makeMainDisplayState();
    void startStatusItem();
    void startMouseTapAndGestures();
    void startObservers();
    void applyStartupLayouts(const std::string& mainDisplayUUID);
    // A scene action's notice, on the active display for 0.9 s.
    void showSceneToast(const std::string& message);
    // One that names a scene between `before` and `after`, the name cut short where it would carry the
    // notice off its screen.
    void showSceneToast(const std::string& before, const std::string& sceneName, const std::string& after);
    // The screen a notice for the display goes to: the display's, else the main screen.
    std::optional<platform::ScreenInfo> toastScreen(const std::string& displayUUID);
    // After a restore, a save or a deletion: the prompts of newly connected displays that offer a scene
    // no longer active are withdrawn, and the status item's title is refreshed.
    void activeSceneMayHaveChanged();
    // Restores the scene and shows the outcome on the main screen; with a source, the menu is refreshed
    // under that name too.
    void restoreAndReport(const WMScene& scene, const char* refreshSource = nullptr);
    // Stores a layout drawn in a scene window among the user's own and answers its id. The window may
    // outlive the application; once it is gone nothing is written, so no id is answered either: the scene
    // must not name a layout that is not there.
    std::function<std::optional<std::string>(const ConfigZoneSet&)> userLayoutSaver();
    // What the scene windows tell of a layout bound or stored for a display (sceneLayoutChanged).
    std::function<void(const std::string&, const std::string&)> sceneLayoutListener();

    platform::Platform& platform_;
    // In construction order: each is made from those above it. The layout memory starts empty after
    // the records whose templates name its scopes.
    std::shared_ptr<StatusBarEventBus> statusBarEventBus_;
    std::shared_ptr<DisplayLayoutEventBus> displayLayoutEventBus_;
    std::shared_ptr<AXUtil> ax_;
    std::shared_ptr<WindowTracker> tracker_;
    std::shared_ptr<LayoutSelection> layoutSelection_;
    std::shared_ptr<LayoutTemplateSet> layoutTemplates_;
    std::shared_ptr<DisplayWorkbenchSet> displayWorkbenches_;
    std::shared_ptr<LayoutMemory> layoutMemory_;
    std::shared_ptr<HotkeyManager> hotkeyManager_;
    HotkeyConfig hotkeyConfig_;
    std::shared_ptr<MappingTransactionCoordinator> mappingTransactions_;
    std::optional<std::string> pendingTargetDisplayUUID_;
    // The zone state and its controller, made empty here because the components below share them.
    std::shared_ptr<MultiDisplayState> multiState_;
    std::shared_ptr<WMController> controller_;
    std::shared_ptr<LayoutLibrary> layoutLibrary_;
    std::shared_ptr<LayoutDirectoryWatcher> layoutDirectoryWatcher_;
    std::shared_ptr<DisplayRecords> displayRecords_;
    std::shared_ptr<DisplayIdentity> displayIdentity_;
    std::shared_ptr<WindowMappingClassifier> windowMappingClassifier_;
    std::shared_ptr<ZoneMemberships> zoneMemberships_;
    std::shared_ptr<DisplayLayouts> displayLayouts_;
    std::shared_ptr<TransactionalPush> transactionalPush_;
    std::shared_ptr<NewWindowPlacement> newWindowPlacement_;
    std::shared_ptr<WindowMappingRebuild> windowMappingRebuild_;
    std::shared_ptr<DisplayChangeHandler> displayChangeHandler_;
    std::shared_ptr<WakeSlotReplay> wakeSlotReplay_;
    std::shared_ptr<WakeRecovery> wakeRecovery_;
    std::shared_ptr<HotkeyActions> hotkeyActions_;
    std::shared_ptr<HotkeyPushActions> pushActions_;
    // Made at start-up or on first use.
    std::shared_ptr<StatusBarController> status_;
    std::shared_ptr<SDPController> sdpController_;
    std::shared_ptr<SceneCardSwitcherController> sceneCardSwitcherController_;
    std::shared_ptr<DragSnapController> dragSnapController_;
    std::shared_ptr<GlobalSwitcherWindowController> globalSwitcherWC_;
    std::shared_ptr<SettingsWindowController> settingsWC_;
    std::shared_ptr<SceneManagerPanelController> sceneManagerPanelController_;
    std::shared_ptr<SceneRestoreServices> sceneRestoreServices_; // the engine's callbacks lead here
    std::shared_ptr<SceneRestoreEngine> sceneRestoreEngine_;
    std::shared_ptr<UnconfiguredDisplayPrompts> unconfiguredDisplayPrompts_;
    // The scene windows while open.
    std::shared_ptr<SceneSaveWindowController> saveSceneWindowController_;
    std::shared_ptr<SceneEditorOverlayController> sceneEditorOverlayController_;
    // The editor's panels from its first opening on, hidden while it is closed, for a quick next one.
    std::shared_ptr<SceneEditorPanelPool> sceneEditorPanels_;
    // The observations and the subscription start-up opens; shut-down ends them.
    std::unique_ptr<platform::ObserverToken> displayObserverToken_;
    std::unique_ptr<platform::ObserverToken> wakeObserverToken_;
    std::unique_ptr<StatusBarEventSubscription> statusBarActionSubscription_;
};

} // namespace korvane
