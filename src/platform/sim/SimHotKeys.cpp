// Registrations and taps live in one state shared with the handles and with the deliveries queued on
// the loop, so that a handle kept past the simulated desktop, or a press delivered after a tap or a
// registration went, does nothing.
#include "platform/sim/SimHotKeys.h"

#include "platform/sim/SimRunLoop.h"

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <set>

namespace korvane::sim {

using platform::EventHotKeyID;
using platform::KeyDownEvent;
using platform::KeyTapEventType;

namespace {

// The modifiers of a registration that a key event's flags hold; caps lock takes no part.
std::uint32_t modifiersOf(std::uint64_t flags) {
    std::uint32_t mask = 0;
    if (flags & platform::kEventFlagCommand) mask |= platform::kHotKeyCommand;
    if (flags & platform::kEventFlagShift) mask |= platform::kHotKeyShift;
    if (flags & platform::kEventFlagOption) mask |= platform::kHotKeyOption;
    if (flags & platform::kEventFlagControl) mask |= platform::kHotKeyControl;
    return mask;
}

} // namespace

struct SimHotKeys::State {
    struct Registration {
        std::uint64_t token = 0;
        std::uint32_t keyCode = 0;
        std::uint32_t modifiers = 0;
        EventHotKeyID id;
    };
    struct Tap {
        TapCallback callback;
        bool onRunLoop = false;
        bool enabled = false;
    };

    HotKeyHandler handler;
    std::function<void()> mappingHandler;
    std::set<std::uint32_t> keysNotTyped;
    std::vector<Registration> registrations;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> heldElsewhere;
    std::map<std::uint64_t, Tap> taps;
    std::uint64_t nextToken = 1;
    std::vector<KeyDownEvent> passed;
    struct MouseTapEntry {
        platform::MouseTapCallback callback;
        bool onRunLoop = false;
        bool enabled = false;
    };
    std::map<std::uint64_t, MouseTapEntry> mouseTaps;
    std::vector<platform::MouseEvent> mousePassed;

    bool tapMouse(const platform::MouseEvent& event, bool onlyEnabled) {
        std::vector<std::uint64_t> tokens;
        for (const auto& [token, t] : mouseTaps)
            if (t.onRunLoop && (t.enabled || !onlyEnabled)) tokens.push_back(token);
        bool swallowed = false;
        for (auto token : tokens) {
            auto it = mouseTaps.find(token);
            if (it == mouseTaps.end()) continue;
            platform::MouseTapCallback callback = it->second.callback;
            if (callback && callback(event)) swallowed = true;
        }
        return swallowed;
    }
    std::vector<int> statuses;

    const Registration* holder(std::uint32_t keyCode, std::uint32_t modifiers) const {
        for (const auto& r : registrations)
            if (r.keyCode == keyCode && r.modifiers == modifiers) return &r;
        return nullptr;
    }
    bool heldByAnother(std::uint32_t keyCode, std::uint32_t modifiers) const {
        return std::find(heldElsewhere.begin(), heldElsewhere.end(), std::pair{keyCode, modifiers}) !=
               heldElsewhere.end();
    }
    // Calls every live tap that is on; whether one swallowed. Taps may come and go meanwhile.
    bool tap(KeyTapEventType type, const KeyDownEvent& event, bool onlyEnabled) {
        std::vector<std::uint64_t> tokens;
        for (const auto& [token, t] : taps)
            if (t.onRunLoop && (t.enabled || !onlyEnabled)) tokens.push_back(token);
        bool swallowed = false;
        for (auto token : tokens) {
            auto it = taps.find(token);
            if (it == taps.end()) continue;
            TapCallback callback = it->second.callback;
            if (callback && callback(type, event)) swallowed = true;
        }
        return swallowed;
    }
};

namespace {

class SimEventHotKey final : public platform::EventHotKey {
  public:
    SimEventHotKey(std::weak_ptr<SimHotKeys::State> state, std::uint64_t token)
        : state_(std::move(state)), token_(token) {}
    ~SimEventHotKey() override { unregister(); }
    int unregister() override {
        if (auto state = state_.lock())
            std::erase_if(state->registrations, [this](const auto& r) { return r.token == token_; });
        state_.reset();
        return platform::kHotKeyNoErr;
    }

  private:
    std::weak_ptr<SimHotKeys::State> state_;
    std::uint64_t token_;
};

class SimKeyEventTap final : public platform::KeyEventTap {
  public:
    SimKeyEventTap(std::weak_ptr<SimHotKeys::State> state, std::uint64_t token, bool refuseSource)
        : state_(std::move(state)), token_(token), refuseSource_(refuseSource) {}
    ~SimKeyEventTap() override {
        if (auto state = state_.lock()) state->taps.erase(token_);
    }
    bool addToMainRunLoop() override {
        auto state = state_.lock();
        if (!state || refuseSource_) return false;
        state->taps[token_].onRunLoop = true;
        return true;
    }
    void setEnabled(bool enabled) override {
        if (auto state = state_.lock()) state->taps[token_].enabled = enabled;
    }
    bool isEnabled() const override {
        auto state = state_.lock();
        if (!state) return false;
        auto it = state->taps.find(token_);
        return it != state->taps.end() && it->second.enabled;
    }

  private:
    std::weak_ptr<SimHotKeys::State> state_;
    std::uint64_t token_;
    bool refuseSource_;
};

class SimMouseTap final : public platform::MouseTap {
  public:
    SimMouseTap(std::weak_ptr<SimHotKeys::State> state, std::uint64_t token, bool refuseSource)
        : state_(std::move(state)), token_(token), refuseSource_(refuseSource) {}
    ~SimMouseTap() override {
        if (auto state = state_.lock()) state->mouseTaps.erase(token_);
    }
    bool addToMainRunLoop() override {
        auto state = state_.lock();
        if (!state || refuseSource_) return false;
        state->mouseTaps[token_].onRunLoop = true;
        return true;
    }
    void setEnabled(bool enabled) override {
        if (auto state = state_.lock()) state->mouseTaps[token_].enabled = enabled;
    }
    bool isEnabled() const override {
        auto state = state_.lock();
        if (!state) return false;
        auto it = state->mouseTaps.find(token_);
        return it != state->mouseTaps.end() && it->second.enabled;
    }

  private:
    std::weak_ptr<SimHotKeys::State> state_;
    std::uint64_t token_;
    bool refuseSource_;
};

} // namespace

SimHotKeys::SimHotKeys(SimRunLoop& loop) : loop_(loop), state_(std::make_shared<State>()) {}

SimHotKeys::~SimHotKeys() = default;

int SimHotKeys::installHotKeyHandler(HotKeyHandler handler) {
    if (handlerInstallStatus != platform::kHotKeyNoErr) return handlerInstallStatus;
    state_->handler = std::move(handler);
    return platform::kHotKeyNoErr;
}

platform::HotKeyRegistration SimHotKeys::registerHotKey(std::uint32_t keyCode, std::uint32_t modifiers,
                                                        EventHotKeyID id) {
    modifiers &= platform::kHotKeyModifierMask;
    if (state_->keysNotTyped.count(keyCode)) return {platform::kEventHotKeyInvalidErr, nullptr};
    if (state_->heldByAnother(keyCode, modifiers) || state_->holder(keyCode, modifiers))
        return {platform::kEventHotKeyExistsErr, nullptr};
    const std::uint64_t token = state_->nextToken++;
    state_->registrations.push_back({token, keyCode, modifiers, id});
    return {platform::kHotKeyNoErr, std::make_shared<SimEventHotKey>(state_, token)};
}

void SimHotKeys::setKeyboardMappingHandler(std::function<void()> handler) {
    state_->mappingHandler = std::move(handler);
}

std::optional<std::uint16_t> SimHotKeys::virtualKeyForNativeKey(std::uint32_t nativeKey) const {
    const auto it = nativeKeys.find(nativeKey);
    if (it == nativeKeys.end()) return std::nullopt;
    return it->second;
}

void SimHotKeys::mapKeyboard(std::set<std::uint32_t> keysNotTyped) {
    state_->keysNotTyped = std::move(keysNotTyped);
    loop_.post([weak = std::weak_ptr<State>(state_)] {
        auto state = weak.lock();
        if (!state) return;
        std::function<void()> handler = state->mappingHandler;
        if (handler) handler();
    });
}

std::unique_ptr<platform::KeyEventTap> SimHotKeys::createKeyDownTap(TapCallback callback) {
    if (refuseTap) return nullptr;
    const std::uint64_t token = state_->nextToken++;
    state_->taps[token] = State::Tap{std::move(callback), false, false};
    return std::make_unique<SimKeyEventTap>(state_, token, refuseRunLoopSource);
}

std::unique_ptr<platform::MouseTap> SimHotKeys::createMouseTap(platform::MouseTapCallback callback) {
    if (refuseTap) return nullptr;
    const std::uint64_t token = state_->nextToken++;
    state_->mouseTaps[token] = State::MouseTapEntry{std::move(callback), false, false};
    return std::make_unique<SimMouseTap>(state_, token, refuseRunLoopSource);
}

void SimHotKeys::mouse(const platform::MouseEvent& event) {
    loop_.post([weak = std::weak_ptr<State>(state_), event] {
        auto state = weak.lock();
        if (!state) return;
        if (!state->tapMouse(event, true)) state->mousePassed.push_back(event);
    });
}

void SimHotKeys::disableMouseTaps(platform::MouseEventType reason) {
    for (auto& [token, tap] : state_->mouseTaps)
        tap.enabled = false;
    loop_.post([weak = std::weak_ptr<State>(state_), reason] {
        platform::MouseEvent notice;
        notice.type = reason;
        if (auto state = weak.lock()) state->tapMouse(notice, false);
    });
}

std::vector<platform::MouseEvent> SimHotKeys::mousePassedOn() const {
    return state_->mousePassed;
}

bool SimHotKeys::anyMouseTapEnabled() const {
    return std::any_of(state_->mouseTaps.begin(), state_->mouseTaps.end(),
                       [](const auto& entry) { return entry.second.enabled; });
}

std::vector<SimHotKeys::Registered> SimHotKeys::registered() const {
    std::vector<Registered> out;
    for (const auto& r : state_->registrations)
        out.push_back({r.keyCode, r.modifiers, r.id});
    return out;
}

void SimHotKeys::holdByAnotherClient(std::uint32_t keyCode, std::uint32_t modifiers) {
    state_->heldElsewhere.emplace_back(keyCode, modifiers & platform::kHotKeyModifierMask);
}

void SimHotKeys::press(std::uint32_t keyCode, std::uint64_t flags, int repeats) {
    const std::uint32_t modifiers = modifiersOf(flags);
    std::optional<EventHotKeyID> ours;
    if (const auto* r = state_->holder(keyCode, modifiers); r && !state_->keysNotTyped.count(keyCode))
        ours = r->id;
    loop_.post([weak = std::weak_ptr<State>(state_), keyCode, flags, repeats, ours, withhold = tapsWithhold] {
        for (int i = 0; i <= repeats; ++i) {
            auto state = weak.lock();
            if (!state) return;
            const KeyDownEvent event{static_cast<std::uint16_t>(keyCode), i > 0, flags};
            const bool swallowed = state->tap(KeyTapEventType::keyDown, event, true) && withhold;
            if (i == 0 && ours) {
                HotKeyHandler handler = state->handler;
                if (handler) state->statuses.push_back(handler(*ours));
            } else if (!ours && !swallowed) {
                state->passed.push_back(event);
            }
        }
    });
}

void SimHotKeys::disableTaps(KeyTapEventType reason) {
    for (auto& [token, tap] : state_->taps)
        tap.enabled = false;
    loop_.post([weak = std::weak_ptr<State>(state_), reason] {
        if (auto state = weak.lock()) state->tap(reason, KeyDownEvent{}, false);
    });
}

std::vector<KeyDownEvent> SimHotKeys::passedOn() const {
    return state_->passed;
}

std::vector<int> SimHotKeys::handlerStatuses() const {
    return state_->statuses;
}

std::size_t SimHotKeys::tapCount() const {
    return state_->taps.size();
}

bool SimHotKeys::anyTapEnabled() const {
    return std::any_of(state_->taps.begin(), state_->taps.end(),
                       [](const auto& entry) { return entry.second.onRunLoop && entry.second.enabled; });
}

} // namespace korvane::sim
