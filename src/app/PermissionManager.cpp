// Testing, publishing and polling the two grants, and the permission window's life.
#include "app/PermissionManager.h"

#include "platform/ChangeObservation.h"
#include "platform/NotificationCenter.h"
#include "platform/Platform.h"
#include "platform/ProcessWide.h"

#include <vector>

namespace korvane {

namespace {

platform::ProcessWide<PermissionManager> gShared;

constexpr Nanos kPollInterval = kNanosPerSecond;

} // namespace

PermissionManager::PermissionManager(platform::Platform& platform) : platform_(platform) {}

PermissionManager::~PermissionManager() {
    // The poll holds the manager weakly and would do nothing; stopping it spares the run loop a wake-up.
    if (timer_) timer_->invalidate();
}

std::shared_ptr<PermissionManager> PermissionManager::create(platform::Platform& platform) {
    auto manager = std::make_shared<PermissionManager>(platform);
    manager->checkPermissions();
    return manager;
}

std::shared_ptr<PermissionManager> PermissionManager::shared() {
    return gShared.get([](platform::Platform& platform) { return create(platform); });
}

void PermissionManager::setShared(std::shared_ptr<PermissionManager> instance) {
    gShared.set(std::move(instance));
}

std::unique_ptr<platform::ObserverToken> PermissionManager::observeChanges(std::function<void()> willChange) {
    const std::uint64_t id = nextObserverID_++;
    (*observers_)[id] = std::move(willChange);
    return std::make_unique<platform::ChangeObservation>(observers_, id);
}

void PermissionManager::notifyWillChange() {
    // Over a copy: an observer may end its own or another observation while it is told.
    std::vector<std::pair<std::uint64_t, std::function<void()>>> snapshot(observers_->begin(),
                                                                          observers_->end());
    for (const auto& [id, willChange] : snapshot)
        if (observers_->count(id) && willChange) willChange();
}

void PermissionManager::storeAccessibility(bool granted) {
    notifyWillChange();
    isAccessibilityGranted_ = granted;
}

void PermissionManager::storeScreenRecording(bool granted) {
    notifyWillChange();
    isScreenRecordingGranted_ = granted;
}

bool PermissionManager::isAccessibilityTrusted() const {
    auto& ax = platform_.accessibility();
    if (!ax.isProcessTrusted()) return false;
    // Trust can be on record while the service still refuses this process (a grant given to an older
    // copy of the program, say); reading the focused element shows whether the grant is honoured.
    platform::AXValue focused;
    const platform::AXError result = ax.copyAttribute(ax.systemWideElement(), "AXFocusedUIElement", focused);
    return result == platform::AXError::success || result == platform::AXError::noValue;
}

bool PermissionManager::preflightScreenRecording() const {
    return platform_.windowServer().preflightScreenCaptureAccess();
}

void PermissionManager::checkPermissions() {
    const bool accessibility = isAccessibilityTrusted();
    const bool screenRecording = preflightScreenRecording();
    if (platform_.runLoop().isMainThread()) {
        recordCheckResult(accessibility, screenRecording);
        return;
    }
    platform_.runLoop().post([weak = weak_from_this(), accessibility, screenRecording] {
        if (auto self = weak.lock()) self->recordCheckResult(accessibility, screenRecording);
    });
}

void PermissionManager::recordCheckResult(bool accessibility, bool screenRecording) {
    setGranted(accessibility, screenRecording);
    if (!accessibility || !screenRecording) return;
    if (timer_) {
        timer_->invalidate();
        timer_.reset();
    }
    if (onAllPermissionsGranted) {
        // Cleared before it runs, so a completion that asks again installs its own and is not lost.
        Completion completion = std::move(onAllPermissionsGranted);
        onAllPermissionsGranted = nullptr;
        completion();
    }
    // The window goes only after the completion has run and the current main-thread work has ended.
    platform_.runLoop().post([weak = weak_from_this()] {
        if (auto self = weak.lock()) self->closePermissionWindow();
    });
}

void PermissionManager::setGranted(bool accessibility, bool screenRecording) {
    storeAccessibility(accessibility);
    storeScreenRecording(screenRecording);
}

void PermissionManager::requestPermissions(Completion onGranted) {
    const bool accessibility = isAccessibilityTrusted();
    const bool screenRecording = preflightScreenRecording();
    if (platform_.runLoop().isMainThread()) {
        applyRequest(accessibility, screenRecording, std::move(onGranted));
        return;
    }
    // The flags, the completion, the poll and the window belong to the main thread.
    platform_.runLoop().post([weak = weak_from_this(), accessibility, screenRecording,
                              onGranted = std::move(onGranted)]() mutable {
        if (auto self = weak.lock()) self->applyRequest(accessibility, screenRecording, std::move(onGranted));
    });
}

void PermissionManager::applyRequest(bool accessibility, bool screenRecording, Completion onGranted) {
    setGranted(accessibility, screenRecording);
    if (accessibility && screenRecording) {
        if (onGranted) onGranted();
        return;
    }
    // The window's "Check Again" asks with an empty completion while start-up's is still waiting to
    // start the services; replacing it would leave the program running without tracking any window once
    // the last grant came. The earlier completion therefore runs first, then the new one.
    if (onAllPermissionsGranted && onGranted) {
        onAllPermissionsGranted = [first = std::move(onAllPermissionsGranted), then = std::move(onGranted)] {
            first();
            then();
        };
    } else if (onGranted) {
        onAllPermissionsGranted = std::move(onGranted);
    }
    startPolling();
    showPermissionWindow();
}

void PermissionManager::startPolling() {
    if (timer_) timer_->invalidate();
    timer_ = platform_.runLoop().scheduleTimer(kPollInterval, true, platform::RunLoopMode::Default,
                                               [weak = weak_from_this()](platform::Timer&) {
                                                   if (auto self = weak.lock()) self->checkPermissions();
                                               });
}

void PermissionManager::showPermissionWindow() {
    // Never from inside the caller's work: at start-up the window appears only after start-up returned.
    platform_.runLoop().post([self = shared_from_this()] {
        if (!self->permissionWC_ && self->makePermissionWindow)
            self->permissionWC_ = self->makePermissionWindow(*self);
        if (self->permissionWC_) self->permissionWC_->show();
    });
}

void PermissionManager::closePermissionWindow() {
    std::unique_ptr<PermissionWindow> window = std::move(permissionWC_);
    if (window) window->close();
}

} // namespace korvane
