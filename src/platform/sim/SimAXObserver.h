// An accessibility observer of one simulated application: the notifications it registered, and the
// callback the loop calls for them.
#pragma once

#include "platform/Accessibility.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace korvane::sim {

class SimModel;

class SimAXObserver final : public platform::AXObserver {
  public:
    SimAXObserver(std::weak_ptr<SimModel> model, pid_t pid, Callback callback);

    // Registering on an element of another process answers illegalArgument, on a closed window
    // invalidUIElement, and a second time notificationAlreadyRegistered. Scripted failures for the
    // element and the notification name come first.
    platform::AXError addNotification(const platform::AXElement& element,
                                      const std::string& notification) override;
    platform::AXError removeNotification(const platform::AXElement& element,
                                         const std::string& notification) override;

    pid_t pid() const { return pid_; }

    // The caller holds the model's mutex.
    bool isRegisteredLocked(const platform::AXElement& element, const std::string& notification) const;

    // Runs on the loop, without the model's mutex held.
    void deliver(const platform::AXElement& element, const std::string& notification) const;

  private:
    std::weak_ptr<SimModel> model_;
    pid_t pid_;
    Callback callback_;
    std::vector<std::pair<platform::AXElement, std::string>> registrations_; // guarded by the model's mutex
};

} // namespace korvane::sim
