// Registration and delivery. Whether a notification is wanted is decided twice: when the event is
// handled (to post only what someone registered for) and again when the posted block runs, so that an
// observer dropped or unregistered in between hears nothing.
#include "platform/x11/X11Observers.h"

#include <algorithm>

namespace korvane::x11 {

using platform::AXElement;
using platform::AXError;

namespace {
constexpr const char* kCreated = "AXWindowCreated";
constexpr const char* kDestroyed = "AXUIElementDestroyed";
constexpr const char* kTitle = "AXTitleChanged";
constexpr const char* kFocused = "AXFocusedWindowChanged";
constexpr const char* kMain = "AXMainWindowChanged";
} // namespace

class X11AXObserver final : public platform::AXObserver {
  public:
    X11AXObserver(pid_t pid, Callback callback, X11Observers::Validator validate)
        : pid_(pid), callback_(std::move(callback)), validate_(std::move(validate)) {}

    AXError addNotification(const AXElement& element, const std::string& notification) override {
        if (element.isNull() || element.kind == AXElement::Kind::systemWide || element.pid != pid_)
            return AXError::illegalArgument;
        if (!X11Observers::isSupported(notification)) return AXError::notificationUnsupported;
        if (AXError valid = validate_(element); valid != AXError::success) return valid;
        std::lock_guard lock(mutex_);
        if (registeredLocked(element, notification)) return AXError::notificationAlreadyRegistered;
        registrations_.emplace_back(element, notification);
        return AXError::success;
    }

    AXError removeNotification(const AXElement& element, const std::string& notification) override {
        std::lock_guard lock(mutex_);
        auto it =
            std::find(registrations_.begin(), registrations_.end(), std::make_pair(element, notification));
        if (it == registrations_.end()) return AXError::notificationNotRegistered;
        registrations_.erase(it);
        return AXError::success;
    }

    pid_t pid() const { return pid_; }

    bool wants(const AXElement& element, const std::string& notification) {
        std::lock_guard lock(mutex_);
        return registeredLocked(element, notification) ||
               registeredLocked(X11Observers::applicationElement(pid_), notification);
    }

    void deliver(const AXElement& element, const std::string& notification) {
        if (!wants(element, notification)) return;
        if (callback_) callback_(element, notification);
        // A destroyed element's registrations die with it.
        if (notification == kDestroyed) {
            std::lock_guard lock(mutex_);
            std::erase_if(registrations_, [&](const auto& r) { return r.first == element; });
        }
    }

  private:
    bool registeredLocked(const AXElement& element, const std::string& notification) const {
        return std::find(registrations_.begin(), registrations_.end(),
                         std::make_pair(element, notification)) != registrations_.end();
    }

    pid_t pid_;
    Callback callback_;
    X11Observers::Validator validate_;
    std::mutex mutex_;
    std::vector<std::pair<AXElement, std::string>> registrations_;
};

X11Observers::X11Observers(platform::RunLoop& loop, Validator validate)
    : loop_(loop), validate_(std::move(validate)) {}

AXElement X11Observers::applicationElement(pid_t pid) {
    return AXElement{AXElement::Kind::application, pid, 0};
}

AXElement X11Observers::windowElement(pid_t pid, std::uint32_t window) {
    return AXElement{AXElement::Kind::window, pid, window};
}

bool X11Observers::isSupported(const std::string& n) {
    return n == kCreated || n == kDestroyed || n == kTitle || n == kFocused || n == kMain;
}

std::shared_ptr<platform::AXObserver> X11Observers::create(pid_t pid, platform::AXObserver::Callback callback,
                                                           AXError& error) {
    if (pid <= 0) {
        error = AXError::illegalArgument;
        return nullptr;
    }
    auto observer = std::make_shared<X11AXObserver>(pid, std::move(callback), validate_);
    {
        std::lock_guard lock(mutex_);
        std::erase_if(observers_, [](const auto& w) { return w.expired(); });
        observers_.push_back(observer);
    }
    error = AXError::success;
    return observer;
}

void X11Observers::emit(pid_t pid, const AXElement& element, const std::string& notification) {
    std::vector<std::weak_ptr<X11AXObserver>> targets;
    {
        std::lock_guard lock(mutex_);
        for (const auto& weak : observers_) {
            auto o = weak.lock();
            if (o && o->pid() == pid && o->wants(element, notification)) targets.push_back(weak);
        }
    }
    for (auto& weak : targets)
        loop_.post([weak, element, notification] {
            if (auto o = weak.lock()) o->deliver(element, notification);
        });
}

void X11Observers::windowCreated(const TrackedWindow& w) {
    emit(w.pid, windowElement(w.pid, w.window), kCreated);
}

void X11Observers::windowDestroyed(const TrackedWindow& w) {
    emit(w.pid, windowElement(w.pid, w.window), kDestroyed);
}

void X11Observers::titleChanged(const TrackedWindow& w) {
    emit(w.pid, windowElement(w.pid, w.window), kTitle);
}

void X11Observers::activeChanged(const std::optional<TrackedWindow>& current) {
    if (!current || current->pid <= 0) return;
    const AXElement element = windowElement(current->pid, current->window);
    emit(current->pid, element, kFocused);
    emit(current->pid, element, kMain);
}

} // namespace korvane::x11
