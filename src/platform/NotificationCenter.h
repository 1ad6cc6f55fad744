// A notification centre: named posts with JSON user info, delivered to observers.
#pragma once

#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

namespace korvane::platform {

// Ends the observation when reset or destroyed; cancelling twice is harmless.
class ObserverToken {
  public:
    virtual ~ObserverToken() = default;
    virtual void cancel() = 0;
};

class NotificationCenter {
  public:
    using Handler = std::function<void(const std::string& name, const nlohmann::json& userInfo)>;
    enum class Delivery {
        posting,   // on the posting thread, during post()
        mainQueue, // on the main thread: at once when posted there, else through the main queue
    };
    virtual ~NotificationCenter() = default;
    virtual void post(const std::string& name, const nlohmann::json& userInfo = nlohmann::json::object()) = 0;
    [[nodiscard]] virtual std::unique_ptr<ObserverToken> addObserver(const std::string& name,
                                                                     Delivery delivery, Handler handler) = 0;
};

} // namespace korvane::platform
