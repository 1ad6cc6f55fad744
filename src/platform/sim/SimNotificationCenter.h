// The simulated notification centre: posts reach the observers registered before the post, at once or
// through the simulated main queue.
#pragma once

#include "platform/NotificationCenter.h"

#include <memory>

namespace korvane::sim {

class SimRunLoop;

class SimNotificationCenter final : public platform::NotificationCenter {
  public:
    explicit SimNotificationCenter(SimRunLoop& loop);
    ~SimNotificationCenter() override;

    void post(const std::string& name, const nlohmann::json& userInfo = nlohmann::json::object()) override;
    [[nodiscard]] std::unique_ptr<platform::ObserverToken>
    addObserver(const std::string& name, Delivery delivery, Handler handler) override;

    // Test hook: observers of `name` that have not been cancelled.
    std::size_t observerCount(const std::string& name) const;

    struct State;

  private:
    SimRunLoop& loop_;
    std::shared_ptr<State> state_;
};

} // namespace korvane::sim
