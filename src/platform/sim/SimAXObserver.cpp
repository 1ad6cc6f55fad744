// Registration rules of a simulated accessibility observer and its delivery check: a notification queued
// for an observer reaches its callback only if the observer still lives and is still registered.
#include "platform/sim/SimAXObserver.h"

#include "platform/sim/SimModel.h"

#include <algorithm>

namespace korvane::sim {

using platform::AXElement;
using platform::AXError;

SimAXObserver::SimAXObserver(std::weak_ptr<SimModel> model, pid_t pid, Callback callback)
    : model_(std::move(model)), pid_(pid), callback_(std::move(callback)) {}

AXError SimAXObserver::addNotification(const AXElement& element, const std::string& notification) {
    auto model = model_.lock();
    if (!model) return AXError::failure;
    std::lock_guard lock(model->mutex);
    model->settleLocked();
    if (auto scripted = model->takeScriptedLocked(element, notification);
        scripted && *scripted != AXError::success)
        return *scripted;
    if (element.kind == AXElement::Kind::systemWide || element.isNull() || element.pid != pid_)
        return AXError::illegalArgument;
    switch (element.kind) {
    case AXElement::Kind::application:
        if (!model->appLocked(element.pid)) return AXError::invalidUIElement;
        break;
    case AXElement::Kind::window:
        if (!model->windowOfElementLocked(element)) return AXError::invalidUIElement;
        break;
    default:
        if (!model->childOfElementLocked(element)) return AXError::invalidUIElement;
        break;
    }
    if (isRegisteredLocked(element, notification)) return AXError::notificationAlreadyRegistered;
    registrations_.emplace_back(element, notification);
    return AXError::success;
}

AXError SimAXObserver::removeNotification(const AXElement& element, const std::string& notification) {
    auto model = model_.lock();
    if (!model) return AXError::failure;
    std::lock_guard lock(model->mutex);
    auto it = std::find(registrations_.begin(), registrations_.end(), std::make_pair(element, notification));
    if (it == registrations_.end()) return AXError::notificationNotRegistered;
    registrations_.erase(it);
    return AXError::success;
}

bool SimAXObserver::isRegisteredLocked(const AXElement& element, const std::string& notification) const {
    return std::find(registrations_.begin(), registrations_.end(), std::make_pair(element, notification)) !=
           registrations_.end();
}

void SimAXObserver::deliver(const AXElement& element, const std::string& notification) const {
    auto model = model_.lock();
    if (!model) return;
    {
        std::lock_guard lock(model->mutex);
        if (!isRegisteredLocked(element, notification) &&
            !isRegisteredLocked(SimModel::appElement(pid_), notification))
            return;
    }
    if (callback_) callback_(element, notification);
}

} // namespace korvane::sim
