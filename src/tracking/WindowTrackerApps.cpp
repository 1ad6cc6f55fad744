// The window tracker's applications: its start, seeding the managed set from the windows that exist, the
// launch, terminate and activate notices, the re-seeds after a launch, pruning stale entries, and the
// refresh after the system wakes.
#include "tracking/WindowTracker.h"

#include "core/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/Platform.h"

#include <set>

namespace korvane {

using platform::AXElement;
using platform::AXError;
using platform::RunningApplication;

namespace {

constexpr const char* kWindowCreated = "AXWindowCreated";
constexpr const char* kElementDestroyed = "AXUIElementDestroyed";
constexpr const char* kTitleChanged = "AXTitleChanged";

// Windows that open before an application's observer is in place have no creation notice to tell of
// them; these look again, after the launch, at moments by which most applications have shown their
// first windows.
constexpr double kReseedDelays[] = {0.25, 0.75, 1.5};

std::string orDash(const std::optional<std::string>& text) {
    return text.value_or("-");
}

} // namespace

bool WindowTracker::isEligible(const RunningApplication& app) const {
    if (!app.bundleID) return false;
    if (auto own = platform_.processInfo().bundleIdentifier(); own && *own == *app.bundleID) return false;
    return app.activationPolicy != platform::ActivationPolicy::prohibited;
}

void WindowTracker::startObserving() {
    attachObserversToRunningApps();
    seedManagedWindows();

    auto& center = platform_.notificationCenter();
    auto observe = [&](const char* name, void (WindowTracker::*handler)(const nlohmann::json&)) {
        observers.push_back(center.addObserver(
            name, platform::NotificationCenter::Delivery::mainQueue,
            [weak = weak_from_this(), handler](const std::string&, const nlohmann::json& userInfo) {
                if (auto self = weak.lock()) (self.get()->*handler)(userInfo);
            }));
    };
    observe(platform::kDidLaunchApplication, &WindowTracker::handleAppLaunched);
    observe(platform::kDidTerminateApplication, &WindowTracker::handleAppTerminated);
    observe(platform::kDidActivateApplication, &WindowTracker::handleAppActivated);
}

void WindowTracker::attachObserversToRunningApps() {
    for (const auto& app : platform_.workspace().runningApplications())
        if (isEligible(app) && !axObservers_.count(app.pid)) attachObserver(app);
    // The creations just started are not stored yet, so they are not counted.
    Log::wm.info("Attached AX observers to %ld running apps", static_cast<std::int64_t>(axObservers_.size()));
}

std::size_t WindowTracker::seedWindows(pid_t pid, bool reporting) {
    auto list = windows(platform_.accessibility().applicationElement(pid));
    if (!list) return 0;
    std::size_t added = 0;
    for (const AXElement& window : *list) {
        if (!isManageableWindow(window)) continue;
        auto wid = windowNumber(window);
        if (!wid || managed_.count(*wid)) continue;
        managed_[*wid] = window;
        managedIDs_.insert(*wid);
        ++added;
        if (reporting) report(window);
    }
    return added;
}

void WindowTracker::seedManagedWindows() {
    std::size_t count = 0;
    for (const auto& app : platform_.workspace().runningApplications())
        if (isEligible(app)) count += seedWindows(app.pid, false);
    if (count >= 1) Log::wm.info("Seeded managed windows count=%ld", static_cast<std::int64_t>(count));
}

void WindowTracker::seedManagedWindows(const RunningApplication& app) {
    const std::size_t count = seedWindows(app.pid, true);
    if (count >= 1)
        Log::wm.info("Seeded managed windows for pid=%d count=%ld", app.pid,
                     static_cast<std::int64_t>(count));
}

void WindowTracker::handleAppLaunched(const nlohmann::json& userInfo) {
    auto app = platform::applicationFromUserInfo(userInfo);
    if (!app) {
        Log::wm.info("App launched (no info)");
        return;
    }
    Log::wm.info("App launched name=%s bundle=%s pid=%d", orDash(app->name), orDash(app->bundleID), app->pid);
    if (!isEligible(*app)) return;
    attachObserver(*app);
    seedManagedWindows(*app);
    scheduleReseeds(app->pid);
}

void WindowTracker::scheduleReseeds(pid_t pid) {
    for (double delay : kReseedDelays)
        platform_.runLoop().scheduleTimer(seconds(delay), false, platform::RunLoopMode::Default,
                                          [weak = weak_from_this(), pid](platform::Timer&) {
                                              auto self = weak.lock();
                                              if (!self) return;
                                              if (auto app =
                                                      self->platform_.workspace().runningApplication(pid))
                                                  self->seedManagedWindows(*app);
                                          });
}

void WindowTracker::handleAppTerminated(const nlohmann::json& userInfo) {
    auto app = platform::applicationFromUserInfo(userInfo);
    if (!app) {
        Log::wm.info("App terminated (no info)");
        return;
    }
    Log::wm.info("App terminated name=%s bundle=%s pid=%d", orDash(app->name), orDash(app->bundleID),
                 app->pid);
    detachObserver(app->pid);
}

void WindowTracker::handleAppActivated(const nlohmann::json& userInfo) {
    // Any application the user brings forward gets an observer, eligible or not.
    if (auto app = platform::applicationFromUserInfo(userInfo)) attachObserver(*app);
}

void WindowTracker::pruneStaleManagedWindows() {
    std::set<pid_t> running;
    for (const auto& app : platform_.workspace().runningApplications())
        running.insert(app.pid);
    std::vector<WindowID> stale;
    for (const auto& [wid, element] : managed_) {
        const pid_t pid = pidOf(element);
        if (pid == 0 || !running.count(pid) || windowNumber(element) != wid) stale.push_back(wid);
    }
    for (WindowID wid : stale) {
        managed_.erase(wid);
        managedIDs_.erase(wid);
    }
    if (!stale.empty())
        Log::wm.info("Pruned stale managed windows count=%ld", static_cast<std::int64_t>(stale.size()));
}

void WindowTracker::refreshObserversAfterWake() {
    std::size_t count = 0;
    auto& ax = platform_.accessibility();
    for (const auto& app : platform_.workspace().runningApplications()) {
        if (!isEligible(app)) continue;
        auto stored = axObservers_.find(app.pid);
        if (stored == axObservers_.end()) {
            attachObserver(app);
            ++count;
            continue;
        }
        const auto& observer = stored->second;
        const AXElement appElement = ax.applicationElement(app.pid);
        const AXError created = observer->addNotification(appElement, kWindowCreated);
        if (created == AXError::success || created == AXError::notificationAlreadyRegistered) ++count;
        auto list = windows(appElement);
        if (!list) continue;
        for (const AXElement& window : *list) {
            observer->addNotification(window, kElementDestroyed);
            if (isTitleChangeTrackingEnabled) observer->addNotification(window, kTitleChanged);
        }
    }
    Log::wm.info("[WakeRefresh] Reattached/refreshed %ld AX observers", static_cast<std::int64_t>(count));
}

void WindowTracker::refreshAfterWake() {
    Log::wm.info("[WakeRefresh] Starting wake refresh...");
    if (coalesceTimer) coalesceTimer->invalidate();
    coalesceTimer.reset();
    pendingCreated.clear();
    pendingDestroyed.clear();
    pruneStaleManagedWindows();
    refreshObserversAfterWake();
    seedManagedWindows();
    Log::wm.info("[WakeRefresh] Complete, managed=%ld observers=%ld",
                 static_cast<std::int64_t>(managed_.size()), static_cast<std::int64_t>(axObservers_.size()));
}

void WindowTracker::stopObserving() {
    for (auto& token : observers)
        token->cancel();
    observers.clear();
    axObservers_.clear();
    for (auto& [wid, timer] : titleDebounceTimers)
        timer->invalidate();
    titleDebounceTimers.clear();
}

void WindowTracker::refreshManagedWindows() {
    pruneStaleManagedWindows();
    seedManagedWindows();
}

} // namespace korvane
