// Cancellation sources, tokens and callback registrations.
#include "platform/Cancellation.h"

namespace korvane::platform {

CancellationRegistration::CancellationRegistration(CancellationRegistration&& other) noexcept
    : state_(std::move(other.state_)), id_(std::exchange(other.id_, 0)) {}

CancellationRegistration& CancellationRegistration::operator=(CancellationRegistration&& other) noexcept {
    if (this != &other) {
        reset();
        state_ = std::move(other.state_);
        id_ = std::exchange(other.id_, 0);
    }
    return *this;
}

void CancellationRegistration::reset() {
    auto state = state_.lock();
    state_.reset();
    if (!state || id_ == 0) return;
    std::function<void()> removed; // destroyed after the lock is released
    {
        std::lock_guard lock(state->mutex);
        auto& callbacks = state->callbacks;
        for (auto it = callbacks.begin(); it != callbacks.end(); ++it) {
            if (it->first == id_) {
                removed = std::move(it->second);
                callbacks.erase(it);
                break;
            }
        }
    }
    id_ = 0;
}

bool CancellationToken::isCancelled() const {
    if (!state_) return false;
    std::lock_guard lock(state_->mutex);
    return state_->cancelled;
}

CancellationRegistration CancellationToken::onCancel(std::function<void()> callback) const {
    if (!state_ || !callback) return {};
    {
        std::lock_guard lock(state_->mutex);
        if (!state_->cancelled) {
            const std::uint64_t id = state_->nextID++;
            state_->callbacks.emplace_back(id, std::move(callback));
            return CancellationRegistration(state_, id);
        }
    }
    callback();
    return {};
}

void CancellationSource::cancel() {
    std::vector<std::pair<std::uint64_t, std::function<void()>>> callbacks;
    {
        std::lock_guard lock(state_->mutex);
        if (state_->cancelled) return;
        state_->cancelled = true;
        callbacks.swap(state_->callbacks);
    }
    for (auto& [id, callback] : callbacks)
        callback();
}

bool CancellationSource::isCancelled() const {
    std::lock_guard lock(state_->mutex);
    return state_->cancelled;
}

} // namespace korvane::platform
