// Keeps the managed set: the manageable windows of every other running application, by window number.
// It learns of them through one accessibility observer per application process, whose creation and
// destruction notices are gathered for a moment and handled in one batch, by seeding from the windows
// that exist (at start, after a launch and again shortly after it, after a wake), and it reports to its
// delegate the windows that join the set while it runs.
#pragma once

#include "platform/Accessibility.h"
#include "platform/RunLoop.h"
#include "platform/WindowServer.h"
#include "platform/Workspace.h"

#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>
#include <sys/types.h>
#include <vector>

namespace korvane {

class AXUtil;
class WindowTrackerDelegate;

namespace platform {
class ObserverToken;
class Platform;
} // namespace platform

// Confined to the main thread, except for the creation of an observer, which runs on a background queue
// and hands the observer back through the main queue. Owned by a shared_ptr: observers, timers and
// workspace observations hold it weakly and do nothing once it is gone.
class WindowTracker : public std::enable_shared_from_this<WindowTracker> {
  public:
    static std::shared_ptr<WindowTracker> create(platform::Platform& platform,
                                                 std::shared_ptr<AXUtil> axUtil);
    ~WindowTracker();
    WindowTracker(const WindowTracker&) = delete;
    WindowTracker& operator=(const WindowTracker&) = delete;

    static constexpr double coalesceInterval = 0.02;      // seconds from a batch's first notice to its flush
    static constexpr double titleDebounceInterval = 0.15; // seconds a title must stay put to be reported

    // ---- Start, seeding, applications and the refresh after wake (WindowTrackerApps.cpp) ----

    // Observes the eligible running applications, seeds the managed set from their windows without
    // reporting them, and follows launches, terminations and activations from then on. Once.
    void startObserving();
    // Drops the notices gathered so far, prunes stale entries, renews or attaches the observers and
    // seeds again, without reports.
    void refreshAfterWake();
    // Ends the workspace observations, the observers and the pending title reports; the managed set stays.
    void stopObserving();
    // Prunes stale entries, then seeds without reports.
    void refreshManagedWindows();

    // ---- Windows (WindowTracker.cpp) ----

    // A standard window: role "AXWindow"; no dialog, system dialog or floating subrole; neither full
    // screen nor minimised.
    bool isManageableWindow(const platform::AXElement& window);
    // The window's number from "AXWindowNumber", else "_AXWindow", else the accessibility wrapper's match
    // against the window list. A number outside the window server's range counts as none.
    std::optional<WindowID> windowNumber(const platform::AXElement& window);

    // Window number -> element of every managed window; only the tracker changes it.
    const std::map<WindowID, platform::AXElement>& managed() const { return managed_; }
    // The keys of managed(), kept beside it.
    const std::set<WindowID>& managedIDs() const { return managedIDs_; }
    // The installed observer of each observed process.
    const std::map<pid_t, std::shared_ptr<platform::AXObserver>>& axObservers() const { return axObservers_; }

    std::weak_ptr<WindowTrackerDelegate> delegate;
    // Observes and reports title changes. Nothing in the system turns it on; set it before start, as
    // observers being created already carry the value they were started with.
    bool isTitleChangeTrackingEnabled = false;

  private:
    WindowTracker(platform::Platform& platform, std::shared_ptr<AXUtil> axUtil);

    // Observers (WindowTracker.cpp).
    void attachObserver(const platform::RunningApplication& app);
    // Runs on a background queue; touches nothing of the tracker but hands the observer to installObserver.
    static void createObserver(platform::Platform& platform, std::weak_ptr<WindowTracker> tracker, pid_t pid,
                               bool titleTracking);
    void installObserver(std::shared_ptr<platform::AXObserver> observer, pid_t pid);
    void detachObserver(pid_t pid);
    void handleAXNotification(const std::string& notification, const platform::AXElement& element);
    void scheduleCoalesceFlush();
    void flushPendingEvents();
    void handleWindowDestroyed(const platform::AXElement& element);
    void handleWindowCreated(const platform::AXElement& element);
    void scheduleTitleDebounce(const platform::AXElement& element);
    void handleTitleChanged(const platform::AXElement& element, WindowID windowID);
    std::optional<std::vector<platform::AXElement>> windows(const platform::AXElement& app);
    std::optional<std::string> stringAttribute(const std::string& attribute,
                                               const platform::AXElement& element);
    pid_t pidOf(const platform::AXElement& element);
    void report(const platform::AXElement& window);

    // Applications and seeding (WindowTrackerApps.cpp).
    // An application that the tracker follows: it has a bundle identifier other than this program's own,
    // and its activation policy is not prohibited.
    bool isEligible(const platform::RunningApplication& app) const;
    void attachObserversToRunningApps();
    // Adds the application's manageable windows that are not managed yet; returns how many.
    std::size_t seedWindows(pid_t pid, bool reporting);
    void seedManagedWindows();
    void seedManagedWindows(const platform::RunningApplication& app);
    void handleAppLaunched(const nlohmann::json& userInfo);
    void scheduleReseeds(pid_t pid);
    void handleAppTerminated(const nlohmann::json& userInfo);
    void handleAppActivated(const nlohmann::json& userInfo);
    void pruneStaleManagedWindows();
    void refreshObserversAfterWake();

    platform::Platform& platform_;
    std::shared_ptr<AXUtil> axUtil;
    std::vector<std::unique_ptr<platform::ObserverToken>> observers; // launch, terminate, activate
    std::map<pid_t, std::shared_ptr<platform::AXObserver>> axObservers_;
    std::map<WindowID, platform::AXElement> managed_;
    std::set<WindowID> managedIDs_;
    std::map<WindowID, platform::AXElement> pendingCreated;
    std::map<WindowID, pid_t> pendingDestroyed; // the ended window's process, 0 when unknown
    platform::TimerRef coalesceTimer;
    std::map<WindowID, platform::TimerRef> titleDebounceTimers;
};

} // namespace korvane
