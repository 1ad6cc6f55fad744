// One observation in a list of change observers kept by id.
#pragma once

#include "platform/NotificationCenter.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <utility>

namespace korvane::platform {

// Holds the observer list weakly, so the token may outlive the object that handed it out.
class ChangeObservation final : public ObserverToken {
  public:
    using Observers = std::map<std::uint64_t, std::function<void()>>;
    ChangeObservation(std::weak_ptr<Observers> observers, std::uint64_t id)
        : observers_(std::move(observers)), id_(id) {}
    ~ChangeObservation() override { cancel(); }
    void cancel() override {
        if (auto observers = observers_.lock()) observers->erase(id_);
        observers_.reset();
    }

  private:
    std::weak_ptr<Observers> observers_;
    std::uint64_t id_;
};

} // namespace korvane::platform
