// The window tracker's observers and window events: creating an observer off the main thread, the
// notification registrations, the batch in which the last notice for a window wins, the created and
// destroyed handlers, the per-window title debounce, and how a window is read.
#include "tracking/WindowTracker.h"

#include "core/AXUtil.h"
#include "core/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/Platform.h"
#include "tracking/WindowTrackerDelegate.h"

#include <cmath>
#include <limits>

namespace korvane {

using platform::AXElement;
using platform::AXError;
using platform::AXValue;

namespace {

constexpr const char* kWindowCreated = "AXWindowCreated";
constexpr const char* kElementDestroyed = "AXUIElementDestroyed";
constexpr const char* kTitleChanged = "AXTitleChanged";

// A number attribute's value as a window number; none for anything outside the window server's range.
std::optional<WindowID> windowNumberOf(double value) {
    if (!std::isfinite(value)) return std::nullopt;
    const double whole = std::trunc(value);
    if (whole < 0 || whole > static_cast<double>(std::numeric_limits<WindowID>::max())) return std::nullopt;
    return static_cast<WindowID>(whole);
}

} // namespace

WindowTracker::WindowTracker(platform::Platform& platform, std::shared_ptr<AXUtil> ax)
    : platform_(platform), axUtil(std::move(ax)) {}

std::shared_ptr<WindowTracker> WindowTracker::create(platform::Platform& platform,
                                                     std::shared_ptr<AXUtil> ax) {
    return std::shared_ptr<WindowTracker>(new WindowTracker(platform, std::move(ax)));
}

WindowTracker::~WindowTracker() {
    if (coalesceTimer) coalesceTimer->invalidate();
    for (auto& [wid, timer] : titleDebounceTimers)
        timer->invalidate();
}

// ---- Reading windows ----

std::optional<std::string> WindowTracker::stringAttribute(const std::string& attribute,
                                                          const AXElement& element) {
    AXValue value;
    if (platform_.accessibility().copyAttribute(element, attribute, value) != AXError::success)
        return std::nullopt;
    if (const auto* text = std::get_if<std::string>(&value)) return *text;
    return std::nullopt;
}

std::optional<std::vector<AXElement>> WindowTracker::windows(const AXElement& app) {
    AXValue value;
    if (platform_.accessibility().copyAttribute(app, "AXWindows", value) != AXError::success)
        return std::nullopt;
    if (auto* list = std::get_if<std::vector<AXElement>>(&value)) return std::move(*list);
    return std::nullopt;
}

pid_t WindowTracker::pidOf(const AXElement& element) {
    pid_t pid = 0;
    if (platform_.accessibility().pidOf(element, pid) != AXError::success) return 0;
    return pid;
}

std::optional<WindowID> WindowTracker::windowNumber(const AXElement& window) {
    for (const char* attribute : {"AXWindowNumber", "_AXWindow"}) {
        AXValue value;
        if (platform_.accessibility().copyAttribute(window, attribute, value) != AXError::success) continue;
        if (const double* number = std::get_if<double>(&value)) return windowNumberOf(*number);
    }
    return axUtil->windowID(window);
}

bool WindowTracker::isManageableWindow(const AXElement& window) {
    if (stringAttribute("AXRole", window) != "AXWindow") return false;
    if (auto subrole = stringAttribute("AXSubrole", window);
        subrole && (*subrole == "AXSystemDialog" || *subrole == "AXDialog" || *subrole == "AXFloatingWindow"))
        return false;
    auto& ax = platform_.accessibility();
    if (axNumberAttribute(ax, window, "AXFullscreen") == true) return false;
    if (axNumberAttribute(ax, window, "AXMinimized") == true) return false;
    return true;
}

// ---- Observers ----

void WindowTracker::attachObserver(const platform::RunningApplication& app) {
    if (axObservers_.count(app.pid)) return;
    // Creating an observer asks the other process, which may be slow to answer: never on the main thread.
    platform::Platform& platform = platform_;
    platform_.runLoop().dispatchGlobal(
        platform::QueueQoS::UserInitiated,
        [&platform, weak = weak_from_this(), pid = app.pid, titleTracking = isTitleChangeTrackingEnabled] {
            createObserver(platform, weak, pid, titleTracking);
        });
}

void WindowTracker::createObserver(platform::Platform& platform, std::weak_ptr<WindowTracker> tracker,
                                   pid_t pid, bool titleTracking) {
    // Only asked whether the tracker still lives: a strong reference taken here could make this queue
    // the one that destroys it.
    if (tracker.expired()) return;
    auto& ax = platform.accessibility();
    AXError error = AXError::success;
    auto observer = ax.createObserver(
        pid,
        [tracker](const AXElement& element, const std::string& notification) {
            if (auto self = tracker.lock()) self->handleAXNotification(notification, element);
        },
        error);
    if (!observer || error != AXError::success) {
        Log::ax.debug("createObserver failed pid=%d err=%d", pid, platform::axErrorCode(error));
        return;
    }

    const AXElement app = ax.applicationElement(pid);
    const AXError created = observer->addNotification(app, kWindowCreated);
    if (created != AXError::success && created != AXError::notificationUnsupported &&
        created != AXError::cannotComplete)
        Log::ax.debug("addNotification windowCreated failed: %d (pid=%d)", platform::axErrorCode(created),
                      pid);
    AXValue value;
    if (ax.copyAttribute(app, "AXWindows", value) == AXError::success)
        if (const auto* list = std::get_if<std::vector<AXElement>>(&value))
            for (const AXElement& window : *list) {
                if (AXError e = observer->addNotification(window, kElementDestroyed); e != AXError::success)
                    Log::ax.debug("AX add destroyed on window failed: %d", platform::axErrorCode(e));
                if (!titleTracking) continue;
                if (AXError e = observer->addNotification(window, kTitleChanged);
                    e != AXError::success && e != AXError::notificationAlreadyRegistered)
                    Log::ax.debug("AX add titleChanged on window failed: %d", platform::axErrorCode(e));
            }

    platform.runLoop().post([tracker, observer = std::move(observer), pid]() mutable {
        if (auto self = tracker.lock()) self->installObserver(std::move(observer), pid);
    });
}

void WindowTracker::installObserver(std::shared_ptr<platform::AXObserver> observer, pid_t pid) {
    // Two creations raced: the first one installed stays, the other ends with its last reference here.
    if (axObservers_.count(pid)) return;
    axObservers_.emplace(pid, std::move(observer));
}

void WindowTracker::detachObserver(pid_t pid) {
    // Dropping the observer ends its delivery; the process's managed windows stay until a prune.
    if (axObservers_.erase(pid) == 0) return;
    Log::wm.info("Detached AX observer for pid=%d", pid);
}

// ---- Notifications and the batch ----

void WindowTracker::handleAXNotification(const std::string& notification, const AXElement& element) {
    if (notification == kWindowCreated) {
        auto wid = windowNumber(element);
        if (!wid) return;
        // A window that ends and one that comes under its number are two windows: the end stays in the
        // batch, to be handled first.
        pendingCreated[*wid] = element;
        scheduleCoalesceFlush();
    } else if (notification == kElementDestroyed) {
        auto wid = windowNumber(element);
        if (!wid) return;
        // One created in this batch never was there for anybody; one known before has ended.
        if (pendingCreated.erase(*wid) == 0 || managed_.count(*wid)) pendingDestroyed[*wid] = pidOf(element);
        scheduleCoalesceFlush();
    } else if (notification == kTitleChanged) {
        if (isTitleChangeTrackingEnabled) scheduleTitleDebounce(element);
    }
}

void WindowTracker::scheduleCoalesceFlush() {
    // Not re-armed by later notices: a batch closes a fixed time after its first one.
    if (coalesceTimer) return;
    coalesceTimer =
        platform_.runLoop().scheduleTimer(seconds(coalesceInterval), false, platform::RunLoopMode::Default,
                                          [weak = weak_from_this()](platform::Timer&) {
                                              if (auto self = weak.lock()) self->flushPendingEvents();
                                          });
}

void WindowTracker::flushPendingEvents() {
    if (coalesceTimer) coalesceTimer->invalidate();
    coalesceTimer.reset();
    const auto destroyed = std::exchange(pendingDestroyed, {});
    const auto created = std::exchange(pendingCreated, {});
    for (const auto& [wid, pid] : destroyed) {
        if (auto it = managed_.find(wid); it != managed_.end())
            handleWindowDestroyed(AXElement(it->second));
        else
            managedIDs_.erase(wid);
        if (auto target = delegate.lock()) target->windowTrackerDidDestroyWindow(*this, wid, pid);
    }
    for (const auto& [wid, element] : created)
        handleWindowCreated(element);
}

void WindowTracker::handleWindowDestroyed(const AXElement& element) {
    auto wid = windowNumber(element);
    if (!wid) {
        Log::wm.info("AX element destroyed (no window number)");
        return;
    }
    if (managed_.erase(*wid)) {
        managedIDs_.erase(*wid);
        Log::wm.info("Managed window removed id=#%ld", static_cast<std::int64_t>(*wid));
    }
    if (auto timer = titleDebounceTimers.find(*wid); timer != titleDebounceTimers.end()) {
        timer->second->invalidate();
        titleDebounceTimers.erase(timer);
    }
}

void WindowTracker::handleWindowCreated(const AXElement& element) {
    auto wid = windowNumber(element);
    if (!wid) {
        Log::wm.info("AX window created (no window number)");
        return;
    }
    if (!isManageableWindow(element)) {
        Log::wm.info("Skip unmanaged window id=#%ld role=%s subrole=%s", static_cast<std::int64_t>(*wid),
                     stringAttribute("AXRole", element).value_or("?"),
                     stringAttribute("AXSubrole", element).value_or("?"));
        return;
    }
    managed_[*wid] = element;
    managedIDs_.insert(*wid);
    Log::wm.debug("Managed window added id=#%ld", static_cast<std::int64_t>(*wid));

    // Every observer is asked, not only the owner's: the others answer illegalArgument, which is expected.
    auto quiet = [](AXError e) {
        return e == AXError::success || e == AXError::notificationAlreadyRegistered ||
               e == AXError::cannotComplete || e == AXError::illegalArgument;
    };
    for (const auto& [pid, observer] : axObservers_) {
        if (AXError e = observer->addNotification(element, kElementDestroyed); !quiet(e))
            Log::ax.debug("Add destroyed on create failed: %d", platform::axErrorCode(e));
        if (!isTitleChangeTrackingEnabled) continue;
        if (AXError e = observer->addNotification(element, kTitleChanged); !quiet(e))
            Log::ax.debug("Add titleChanged on create failed: %d", platform::axErrorCode(e));
    }
    report(element);
}

void WindowTracker::report(const AXElement& window) {
    const pid_t pid = pidOf(window);
    if (auto target = delegate.lock()) target->windowTracker(*this, window, pid);
}

// ---- Titles ----

void WindowTracker::scheduleTitleDebounce(const AXElement& element) {
    auto wid = windowNumber(element);
    if (!wid || !managed_.count(*wid)) return;
    if (auto pending = titleDebounceTimers.find(*wid); pending != titleDebounceTimers.end())
        pending->second->invalidate();
    titleDebounceTimers[*wid] = platform_.runLoop().scheduleTimer(
        seconds(titleDebounceInterval), false, platform::RunLoopMode::Default,
        [weak = weak_from_this(), wid = *wid, element](platform::Timer&) {
            auto self = weak.lock();
            if (!self) return;
            const AXElement window = element; // the timer, and this block with it, may go with its entry
            const WindowID number = wid;
            self->titleDebounceTimers.erase(number);
            self->handleTitleChanged(window, number);
        });
}

void WindowTracker::handleTitleChanged(const AXElement& element, WindowID windowID) {
    const std::string title = stringAttribute("AXTitle", element).value_or("");
    const pid_t pid = pidOf(element);
    Log::wm.info("Title changed id=#%ld title=\"%s\"", static_cast<std::int64_t>(windowID), title);
    if (auto target = delegate.lock()) target->windowTracker(*this, element, pid, title);
}

} // namespace korvane
