// The application object: the composition root. It makes the shared objects and the components in
// start-up order, wires their callbacks to each other weakly, and keeps the entry points that callers
// outside the components need. It holds no state of its own beyond what it made.
#pragma once

#include <memory>
#include <string>

namespace korvane {

class AXUtil;
class DisplayLayoutEventBus;
class DisplayLayouts;
class DisplayRecords;
class LayoutDirectoryWatcher;
class LayoutLibrary;
class LayoutMemory;
class MappingTransactionCoordinator;
class MultiDisplayState;
class StatusBarEventBus;
class WMController;
class WindowTracker;
struct DisplayWorkbenchSet;
struct LayoutSelection;
struct LayoutTemplateSet;

namespace platform {
class Platform;
}

// Main thread only. Callbacks between components hold their targets weakly, so that nothing runs once
// the application object and what it made are gone; it is always owned through create().
class AppDelegate : public std::enable_shared_from_this<AppDelegate> {
  public:
    // Reads the layout selection, the layout templates and the display workbenches; starts nothing.
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
    const std::shared_ptr<MultiDisplayState>& multiState() const { return multiState_; }
    const std::shared_ptr<WMController>& controller() const { return controller_; }
    const std::shared_ptr<MappingTransactionCoordinator>& mappingTransactions() const {
        return mappingTransactions_;
    }
    const std::shared_ptr<LayoutSelection>& layoutSelection() const { return layoutSelection_; }
    const std::shared_ptr<LayoutTemplateSet>& layoutTemplates() const { return layoutTemplates_; }
    const std::shared_ptr<DisplayWorkbenchSet>& displayWorkbenches() const { return displayWorkbenches_; }

    // The components.
    LayoutLibrary& layoutLibrary() const { return *layoutLibrary_; }
    LayoutDirectoryWatcher& layoutDirectoryWatcher() const { return *layoutDirectoryWatcher_; }
    LayoutMemory& layoutMemory() const { return *layoutMemory_; }
    DisplayRecords& displayRecords() const { return *displayRecords_; }
    DisplayLayouts& displayLayouts() const { return *displayLayouts_; }

    // Leads the controller's callbacks back to the components; renewed whenever a display becomes active.
    void wireControllerCallbacks();
    // Registers the hot-key bindings again; nothing to register until the hot keys exist.
    void registerHotkeys();
    // A short notice on a display; nothing is shown until the toast window exists.
    void showToast(const std::string& message, const std::string& displayUUID, double duration);
    // Installs or removes the entry that starts the program at login; a failure is logged.
    void setLaunchAtLogin(bool enabled);

  private:
    explicit AppDelegate(platform::Platform& platform);
    // Connects the components' hooks, each holding its target weakly.
    void wire();

    platform::Platform& platform_;
    // In start-up order: each is made from those above it.
    std::shared_ptr<StatusBarEventBus> statusBarEventBus_;
    std::shared_ptr<DisplayLayoutEventBus> displayLayoutEventBus_;
    std::shared_ptr<AXUtil> ax_;
    std::shared_ptr<WindowTracker> tracker_;
    std::shared_ptr<LayoutSelection> layoutSelection_;
    std::shared_ptr<LayoutTemplateSet> layoutTemplates_;
    std::shared_ptr<DisplayWorkbenchSet> displayWorkbenches_;
    std::shared_ptr<MultiDisplayState> multiState_;
    std::shared_ptr<WMController> controller_;
    std::shared_ptr<MappingTransactionCoordinator> mappingTransactions_;
    std::shared_ptr<LayoutLibrary> layoutLibrary_;
    std::shared_ptr<LayoutDirectoryWatcher> layoutDirectoryWatcher_;
    std::shared_ptr<LayoutMemory> layoutMemory_;
    std::shared_ptr<DisplayRecords> displayRecords_;
    std::shared_ptr<DisplayLayouts> displayLayouts_;
};

} // namespace korvane
