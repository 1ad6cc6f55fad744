// The notification centre of the real desktop: thread-safe posting, delivery on the posting thread or
// on the main thread through the run loop's main queue.
#pragma once

#include "platform/NotificationCenter.h"
#include "platform/RunLoop.h"

#include <memory>

namespace korvane::x11 {

class X11NotificationCenter final : public platform::NotificationCenter {
  public:
    explicit X11NotificationCenter(platform::RunLoop& loop);
    ~X11NotificationCenter() override;

    // Reaches the observers registered when the post starts; one cancelled meanwhile is skipped.
    void post(const std::string& name, const nlohmann::json& userInfo = nlohmann::json::object()) override;
    [[nodiscard]] std::unique_ptr<platform::ObserverToken>
    addObserver(const std::string& name, Delivery delivery, Handler handler) override;

    struct State;

  private:
    platform::RunLoop& loop_;
    std::shared_ptr<State> state_;
};

} // namespace korvane::x11
