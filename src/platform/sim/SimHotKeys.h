// The simulated keyboard's system hot keys and key-down taps, with presses a test scripts and
// combinations that another client holds.
#pragma once

#include "platform/HotKeys.h"

#include <cstddef>
#include <map>
#include <memory>
#include <set>
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
    // combination, with kEventHotKeyInvalidErr when no key of the keyboard types the key.
    platform::HotKeyRegistration registerHotKey(std::uint32_t keyCode, std::uint32_t modifiers,
                                                platform::EventHotKeyID id) override;
    void setKeyboardMappingHandler(std::function<void()> handler) override;
    // From `nativeKeys`.
    std::optional<std::uint16_t> virtualKeyForNativeKey(std::uint32_t nativeKey) const override;
    std::unique_ptr<platform::KeyEventTap> createKeyDownTap(TapCallback callback) override;
    bool tapsWithholdKeys() const override { return tapsWithhold; }
    std::unique_ptr<platform::MouseTap> createMouseTap(platform::MouseTapCallback callback) override;

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
    // The keyboard is mapped anew so that no key types these keys (a layout without Latin letters):
    // registering one is refused, and a live registration of one holds nothing until a mapping types it
    // again. The mapping handler hears of it through the loop.
    void mapKeyboard(std::set<std::uint32_t> keysNotTyped);
    // The user presses the key with `flags` held, and holds it for `repeats` repeats of the keyboard.
    // Where the press goes is settled now; it is delivered later through the loop: every key-down to each
    // tap that is on the run loop and enabled; the first key-down of a combination this program holds to
    // the hot-key handler, under the id it was registered with then (the repeats of a held combination
    // go nowhere); and every other key-down that no tap swallowed (taps withhold only while tapsWithhold is
    // set) on to the client that holds the combination, else the application in front. A key the keyboard
    // types on no key (mapKeyboard) reaches no registration.
    void press(std::uint32_t keyCode, std::uint64_t flags, int repeats = 0);
    // The desktop turns every tap off and tells it why, through the loop.
    void disableTaps(platform::KeyTapEventType reason);
    // The user does something with the mouse or the modifier keys; delivered later through the loop to
    // every mouse tap that is on the run loop and enabled, and passed on to the window under the pointer
    // unless one swallowed it.
    void mouse(const platform::MouseEvent& event);
    // The desktop turns every mouse tap off and tells it why, through the loop.
    void disableMouseTaps(platform::MouseEventType reason);
    std::vector<platform::MouseEvent> mousePassedOn() const;
    bool anyMouseTapEnabled() const;
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
    // A tap's verdict withholds the key from its window, unless this is false: then every key-down goes
    // on to the application in front as well (the X11 tap's kind).
    bool tapsWithhold = true;
    // The virtual key code of each native key a toolkit event may carry.
    std::map<std::uint32_t, std::uint16_t> nativeKeys;

    struct State;

  private:
    SimRunLoop& loop_;
    std::shared_ptr<State> state_;
};

} // namespace korvane::sim
