// The one place that tests the two grants window management needs (Accessibility: reading and moving
// other applications' windows; Screen Recording: reading their titles from the window list), publishes
// the results, polls once a second while one is missing, runs a one-shot completion the first time it
// sees both, and shows and closes the permission window. It only tests: it never asks the system to
// prompt the user, and it writes no log lines.
#pragma once

#include "platform/RunLoop.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

namespace korvane {

namespace platform {
class ObserverToken;
class Platform;
} // namespace platform

class PermissionManager;

// The window the manager shows while a grant is missing; made by the manager's factory on the first show
// after each close, so a new one shows the grants as they are then.
class PermissionWindow {
  public:
    virtual ~PermissionWindow() = default;
    // Makes the window key and brings it to the front; the application is not activated.
    virtual void show() = 0;
    virtual void close() = 0;
};

// Confined to the main thread, except the two tests inside checkPermissions() and requestPermissions(),
// which may run on any thread and hand their results to the main queue. One process-wide instance,
// created on first use for the platform in use; tests replace it with setShared().
class PermissionManager : public std::enable_shared_from_this<PermissionManager> {
  public:
    using Completion = std::function<void()>;
    using WindowFactory = std::function<std::unique_ptr<PermissionWindow>(PermissionManager&)>;

    // Both flags false, then one check (checkPermissions()).
    static std::shared_ptr<PermissionManager> create(platform::Platform& platform);
    // Made by create(); public only for std::make_shared.
    explicit PermissionManager(platform::Platform& platform);
    ~PermissionManager();
    PermissionManager(const PermissionManager&) = delete;
    PermissionManager& operator=(const PermissionManager&) = delete;

    static std::shared_ptr<PermissionManager> shared();
    // Installs the instance that shared() returns; nullptr lets the next shared() make a fresh one.
    static void setShared(std::shared_ptr<PermissionManager> instance);

    // The results last stored.
    bool isAccessibilityGranted() const { return isAccessibilityGranted_; }
    bool isScreenRecordingGranted() const { return isScreenRecordingGranted_; }

    // `willChange` runs before every store of either flag, also one that keeps the value: a store of
    // both results notifies twice, Accessibility first. Main thread; observation ends with the token.
    [[nodiscard]] std::unique_ptr<platform::ObserverToken> observeChanges(std::function<void()> willChange);

    // The platform trusts this process and the system-wide element answers its focused element (or says
    // nothing is focused, -25212): a trusted process whose probe is refused counts as not granted.
    bool isAccessibilityTrusted() const;
    // Tests both grants on the calling thread and records them through recordCheckResult() on the main
    // thread (at once when called there).
    void checkPermissions();
    // Stores both flags; when both hold, stops the poll, runs and clears the completion, then queues the
    // window's close.
    void recordCheckResult(bool accessibility, bool screenRecording);
    // Stores both flags, Accessibility first, and nothing else.
    void setGranted(bool accessibility, bool screenRecording);
    // Tests and stores both grants. Both held: runs `onGranted` at once. Otherwise installs it as the
    // completion, restarts the poll and shows the window. A completion already installed and not yet run
    // stays ahead of the new one, so asking again never cancels what was asked before. Called off the
    // main thread, everything after the tests happens on the main queue.
    void requestPermissions(Completion onGranted);
    // (Re)starts the 1.0 s poll in the run loop's default mode (it holds while a menu tracks).
    void startPolling();
    // On a later turn of the main queue: makes the window when there is none, then shows it.
    void showPermissionWindow();
    // Closes the window and drops it; the next show makes a new one.
    void closePermissionWindow();

    // Run once, the first time a check finds both grants; cleared before it runs.
    Completion onAllPermissionsGranted;
    // Makes the permission window; the program installs it (installPermissionWindow). Without one the
    // manager still polls and completes but shows nothing.
    WindowFactory makePermissionWindow;

  private:
    bool preflightScreenRecording() const;
    void applyRequest(bool accessibility, bool screenRecording, Completion onGranted);
    void storeAccessibility(bool granted);
    void storeScreenRecording(bool granted);
    void notifyWillChange();

    using Observers = std::map<std::uint64_t, std::function<void()>>;

    platform::Platform& platform_;
    bool isAccessibilityGranted_ = false;
    bool isScreenRecordingGranted_ = false;
    platform::TimerRef timer_;
    std::unique_ptr<PermissionWindow> permissionWC_;
    std::shared_ptr<Observers> observers_ = std::make_shared<Observers>();
    std::uint64_t nextObserverID_ = 1;
};

} // namespace korvane
