// The application object: the composition root. It makes the shared objects and the components in
// start-up order, wires their callbacks to each other weakly, and keeps the entry points that callers
// outside the components need. It holds no state of its own beyond what it made.
#pragma once

#include "core/WMController.h"
#include "input/HotkeyConfig.h"
#include "platform/Accessibility.h"
#include "tracking/MappingTransaction.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

class AXUtil;
class DisplayChangeHandler;
class DisplayIdentity;
class DisplayLayoutEventBus;
class DisplayLayouts;
class DisplayRecords;
class DragSnapController;
class GlobalSwitcherWindowController;
class HotkeyManager;
class LayoutDirectoryWatcher;
class LayoutLibrary;
class LayoutMemory;
class MappingTransactionCoordinator;
class MultiDisplayState;
class NewWindowPlacement;
class SDPController;
class SceneCardSwitcherController;
class SceneRestoreEngine;
class SettingsWindowController;
class StatusBarController;
class StatusBarEventBus;
class TransactionalPush;
class WindowMappingClassifier;
class WindowMappingRebuild;
class WindowTracker;
struct DisplayWorkbenchSet;
struct LayoutSelection;
struct LayoutTemplateSet;

namespace platform {
class Platform;
}

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
    // The application-wide restore engine over the application-wide scene store, made on first use.
    const std::shared_ptr<SceneRestoreEngine>& sceneRestoreEngine();

    // Pushes a window into a zone as a placement transaction; the intent's id, or nothing when the push
    // was skipped for its epoch or refused as auxiliary.
    std::optional<std::string> transactionalPush(const platform::AXElement& window, int zoneID,
                                                 const std::string& displayUUID, MappingIntentSource source,
                                                 const std::string& context, MoveActivation activation,
                                                 double timeToLive,
                                                 std::optional<std::int64_t> requiredEpoch = std::nullopt);

    // Leads the controller's callbacks back to the components; renewed whenever a display becomes active.
    void wireControllerCallbacks();
    // Registers the hot-key bindings again; nothing to register until the hot keys exist.
    void registerHotkeys();
    // A short notice on a display; nothing is shown until the toast window exists.
    void showToast(const std::string& message, const std::string& displayUUID, double duration);
    // Installs or removes the entry that starts the program at login; a failure is logged.
    void setLaunchAtLogin(bool enabled);
    // Brings every display's window-to-zone mapping in line with the window list.
    void rebuildWindowRegionMappings(bool allowPrune, const std::string& reason);
    // The connected displays' UUIDs, each once, sorted.
    std::vector<std::string> availableDisplayUUIDs() const;
    // Follows display-layout probes from now on (once the status item exists).
    void startDisplayLayoutProbeSubscription();

  private:
    explicit AppDelegate(platform::Platform& platform);
    // Connects the components' hooks, each holding its target weakly.
    void wire();

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
    std::shared_ptr<DisplayLayouts> displayLayouts_;
    std::shared_ptr<WindowMappingClassifier> windowMappingClassifier_;
    std::shared_ptr<TransactionalPush> transactionalPush_;
    std::shared_ptr<NewWindowPlacement> newWindowPlacement_;
    std::shared_ptr<WindowMappingRebuild> windowMappingRebuild_;
    std::shared_ptr<DisplayChangeHandler> displayChangeHandler_;
    // Made at start-up or on first use.
    std::shared_ptr<StatusBarController> status_;
    std::shared_ptr<SDPController> sdpController_;
    std::shared_ptr<SceneCardSwitcherController> sceneCardSwitcherController_;
    std::shared_ptr<DragSnapController> dragSnapController_;
    std::shared_ptr<GlobalSwitcherWindowController> globalSwitcherWC_;
    std::shared_ptr<SettingsWindowController> settingsWC_;
    std::shared_ptr<SceneRestoreEngine> sceneRestoreEngine_;
};

} // namespace korvane
