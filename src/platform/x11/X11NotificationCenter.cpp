// Observers are shared records with an "active" flag: a post copies the list under the lock and calls
// the handlers without it, checking the flag just before each call, so a handler may post, add or
// cancel freely and a token cancelled on another thread stops deliveries not yet begun.
#include "platform/x11/X11NotificationCenter.h"

#include <atomic>
#include <mutex>
#include <vector>

namespace korvane::x11 {

struct X11NotificationCenter::State {
    struct Observer {
        std::string name;
        Delivery delivery = Delivery::posting;
        Handler handler;
        std::atomic<bool> active{true};
    };
    std::mutex mutex;
    std::vector<std::shared_ptr<Observer>> observers;
};

namespace {

using Observer = X11NotificationCenter::State::Observer;

class Token final : public platform::ObserverToken {
  public:
    Token(std::weak_ptr<X11NotificationCenter::State> state, std::shared_ptr<Observer> observer)
        : state_(std::move(state)), observer_(std::move(observer)) {}
    ~Token() override { cancel(); }

    void cancel() override {
        if (!observer_->active.exchange(false)) return;
        auto state = state_.lock();
        if (!state) return;
        std::lock_guard lock(state->mutex);
        std::erase_if(state->observers, [&](const auto& o) { return o == observer_; });
    }

  private:
    std::weak_ptr<X11NotificationCenter::State> state_;
    std::shared_ptr<Observer> observer_;
};

} // namespace

X11NotificationCenter::X11NotificationCenter(platform::RunLoop& loop)
    : loop_(loop), state_(std::make_shared<State>()) {}

X11NotificationCenter::~X11NotificationCenter() = default;

void X11NotificationCenter::post(const std::string& name, const nlohmann::json& userInfo) {
    std::vector<std::shared_ptr<Observer>> targets;
    {
        std::lock_guard lock(state_->mutex);
        for (const auto& o : state_->observers)
            if (o->name == name) targets.push_back(o);
    }
    const bool onMain = loop_.isMainThread();
    for (const auto& o : targets) {
        if (!o->active) continue;
        if (o->delivery == Delivery::posting || onMain) {
            o->handler(name, userInfo);
        } else {
            loop_.post([o, name, userInfo] {
                if (o->active) o->handler(name, userInfo);
            });
        }
    }
}

std::unique_ptr<platform::ObserverToken>
X11NotificationCenter::addObserver(const std::string& name, Delivery delivery, Handler handler) {
    auto observer = std::make_shared<Observer>();
    observer->name = name;
    observer->delivery = delivery;
    observer->handler = std::move(handler);
    {
        std::lock_guard lock(state_->mutex);
        state_->observers.push_back(observer);
    }
    return std::make_unique<Token>(state_, observer);
}

} // namespace korvane::x11
