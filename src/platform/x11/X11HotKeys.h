// System hot keys and the key-down tap of the real desktop. A hot key is a passive grab of its key on the
// root window, one for each state of caps lock and num lock; the tap reads XInput 2 raw key events, which
// show every key pressed, whichever client it goes to, and cannot be withheld from it.
#pragma once

#include "platform/HotKeys.h"

#include <memory>

namespace korvane::platform {
class RunLoop;
}

namespace korvane::x11 {

class X11Connection;
class X11MouseTaps;
class X11Screens;

// Main thread only. Control, option, command and shift are Control, Mod1, Mod4 and Shift. A key is held on
// the keys that carry the keysym its virtual key code types, in the first of the keyboard's layouts that
// has it (a letter shortcut is held under a Russian layout on the keys that carry the letter in a US one
// beside it); the grabs follow the keyboard mapping when it changes. Each
// press of a held combination reaches the handler once: the keyboard's repeats, which the server sends
// as a release and a press at one instant, are dropped. A held combination pressed while a window of
// the program holds the whole keyboard (an overlay that takes typing) reaches the handler too, and not
// that window.
class X11HotKeys final : public platform::HotKeys {
  public:
    // Registers for the connection's events. The screens place the mouse taps' events in the global
    // space; without them the events carry root coordinates.
    X11HotKeys(X11Connection& connection, platform::RunLoop& loop, X11Screens* screens = nullptr);
    ~X11HotKeys() override;
    X11HotKeys(const X11HotKeys&) = delete;
    X11HotKeys& operator=(const X11HotKeys&) = delete;

    int installHotKeyHandler(HotKeyHandler handler) override;
    // kEventHotKeyExistsErr when another client grabbed the combination in any lock state (nothing is
    // kept of the grab then) or a live registration holds it; kEventHotKeyInvalidErr when no key of the
    // keyboard types the key.
    platform::HotKeyRegistration registerHotKey(std::uint32_t keyCode, std::uint32_t modifiers,
                                                platform::EventHotKeyID id) override;
    void setKeyboardMappingHandler(std::function<void()> handler) override;
    // The native key is the X keycode.
    std::optional<std::uint16_t> virtualKeyForNativeKey(std::uint32_t nativeKey) const override;
    // Nothing without XInput 2.1.
    std::unique_ptr<platform::KeyEventTap> createKeyDownTap(TapCallback callback) override;
    // Raw key events go to their window whatever the tap answers.
    bool tapsWithholdKeys() const override { return false; }
    // See X11MouseTaps for what can be swallowed.
    std::unique_ptr<platform::MouseTap> createMouseTap(platform::MouseTapCallback callback) override;

    struct State;

  private:
    class ToolkitKeys;

    std::shared_ptr<State> state_;
    std::unique_ptr<X11MouseTaps> mouseTaps_;
    // Removes itself from the toolkit as it goes.
    std::unique_ptr<ToolkitKeys> toolkitKeys_;
};

} // namespace korvane::x11
