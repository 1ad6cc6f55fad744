// The simulated keyboard's system hot keys and key-down taps, with presses a test scripts and
// combinations that another client holds.
#pragma once

#include "platform/HotKeys.h"

#include <cstddef>
#include <memory>
#include <vector>

namespace korvane::sim {

class SimRunLoop;

class SimHotKeys final : public platform::HotKeys {
  public:
    explicit SimHotKeys(SimRunLoop& loop);
    ~SimHotKeys() override;
    SimHotKeys(const SimHotKeys&) = delete;
    SimHotKeys& operator=(const SimHotKeys&) = delete;

    int installHotKeyHandler(HotKeyHandler handler) override;
    // Refused with kEventHotKeyExistsErr when another client or a live registration holds the
    // combination.
    platform::HotKeyRegistration registerHotKey(std::uint32_t keyCode, std::uint32_t modifiers,
                                                platform::EventHotKeyID id) override;
    std::unique_ptr<platform::KeyEventTap> createKeyDownTap(TapCallback callback) override;

    // Test hooks.
    struct Registered {
        std::uint32_t keyCode = 0;
        std::uint32_t modifiers = 0;
        platform::EventHotKeyID id;
    };
    // The live registrations, oldest first.
    std::vector<Registered> registered() const;
    // Another client holds the combination from now on: it takes its presses, and registering it fails.
    void holdByAnotherClient(std::uint32_t keyCode, std::uint32_t modifiers);
    // The user presses the key with `flags` held, and holds it for `repeats` repeats of the keyboard.
    // Where the press goes is settled now; it is delivered later through the loop: every key-down to each
    // tap that is on the run loop and enabled; the first key-down of a combination this program holds to
    // the hot-key handler, under the id it was registered with then (the repeats of a held combination
    // go nowhere); and every other key-down that no tap swallowed on to the client that holds the
    // combination, else the application in front.
    void press(std::uint32_t keyCode, std::uint64_t flags, int repeats = 0);
    // The desktop turns every tap off and tells it why, through the loop.
    void disableTaps(platform::KeyTapEventType reason);
    // The key-downs passed on past the taps, and what the hot-key handler answered, in order.
    std::vector<platform::KeyDownEvent> passedOn() const;
    std::vector<int> handlerStatuses() const;
    std::size_t tapCount() const;
    bool anyTapEnabled() const;

    // Scripted refusals: installing the handler answers this status; creating a tap is refused, or adding
    // a tap made from now on to the run loop.
    int handlerInstallStatus = platform::kHotKeyNoErr;
    bool refuseTap = false;
    bool refuseRunLoopSource = false;

    struct State;

  private:
    SimRunLoop& loop_;
    std::shared_ptr<State> state_;
};

} // namespace korvane::sim
