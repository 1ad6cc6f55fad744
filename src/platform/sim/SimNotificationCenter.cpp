// Delivery rules of the simulated notification centre. A post works on a snapshot of the observers taken
// when it starts, so observers added by a handler wait for the next post, and a token cancelled during a
// delivery stops every delivery that has not begun yet.
#include "platform/sim/SimNotificationCenter.h"

#include "platform/sim/SimRunLoop.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

namespace korvane::sim {

struct SimNotificationCenter::State {
    struct Observer {
        std::string name;
        Delivery delivery = Delivery::posting;
        // Never cleared while the observer lives: a handler may cancel its own token while it runs.
        Handler handler;
        std::atomic<bool> active{true};
    };

    mutable std::mutex mutex;
    std::vector<std::shared_ptr<Observer>> observers;

    void removeObserver(const Observer* o) {
        std::lock_guard lock(mutex);
        std::erase_if(observers, [&](const auto& p) { return p.get() == o; });
    }
};

namespace {

using Observer = SimNotificationCenter::State::Observer;

class Token final : public platform::ObserverToken {
  public:
    Token(std::weak_ptr<SimNotificationCenter::State> state, std::shared_ptr<Observer> observer)
        : state_(std::move(state)), observer_(std::move(observer)) {}
    ~Token() override { cancel(); }

    void cancel() override {
        if (!observer_->active.exchange(false)) return;
        if (auto s = state_.lock()) s->removeObserver(observer_.get());
    }

  private:
    std::weak_ptr<SimNotificationCenter::State> state_;
    std::shared_ptr<Observer> observer_;
};

} // namespace

SimNotificationCenter::SimNotificationCenter(SimRunLoop& loop)
    : loop_(loop), state_(std::make_shared<State>()) {}

SimNotificationCenter::~SimNotificationCenter() = default;

void SimNotificationCenter::post(const std::string& name, const nlohmann::json& userInfo) {
    std::vector<std::shared_ptr<State::Observer>> snapshot;
    {
        std::lock_guard lock(state_->mutex);
        for (const auto& o : state_->observers)
            if (o->name == name && o->active.load()) snapshot.push_back(o);
    }
    const bool onMain = loop_.isMainThread();
    for (const auto& o : snapshot) {
        if (!o->handler || !o->active.load()) continue;
        if (o->delivery == Delivery::posting || onMain) {
            o->handler(name, userInfo);
            continue;
        }
        std::weak_ptr<State::Observer> weak = o;
        loop_.post([weak, name, userInfo] {
            auto observer = weak.lock();
            if (observer && observer->active.load()) observer->handler(name, userInfo);
        });
    }
}

std::unique_ptr<platform::ObserverToken>
SimNotificationCenter::addObserver(const std::string& name, Delivery delivery, Handler handler) {
    auto o = std::make_shared<State::Observer>();
    o->name = name;
    o->delivery = delivery;
    o->handler = std::move(handler);
    {
        std::lock_guard lock(state_->mutex);
        state_->observers.push_back(o);
    }
    return std::make_unique<Token>(state_, o);
}

std::size_t SimNotificationCenter::observerCount(const std::string& name) const {
    std::lock_guard lock(state_->mutex);
    return static_cast<std::size_t>(std::count_if(state_->observers.begin(), state_->observers.end(),
                                                  [&](const auto& o) { return o->name == name; }));
}

} // namespace korvane::sim
