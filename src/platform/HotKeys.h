// System-wide hot keys and the key-down event tap: the two ways the program learns of a key combination
// pressed while another application is in front. Keys are named by the platform's virtual key codes,
// which number the physical keys of the ANSI layout whatever the keyboard's language (A is 0, S is 1,
// Q is 12, W is 13, 1 is 18, Tab is 48, ...). Insert is 114, where that layout has its Help key, and the
// keys it has no code for at all take codes above its last (127): F21 to F24 are 128 to 131, Print 132,
// Pause 133.
#pragma once

#include "platform/MouseTap.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace korvane::platform {

// Modifier masks of a hot-key registration.
inline constexpr std::uint32_t kHotKeyCommand = 0x0100;
inline constexpr std::uint32_t kHotKeyShift = 0x0200;
inline constexpr std::uint32_t kHotKeyOption = 0x0800;
inline constexpr std::uint32_t kHotKeyControl = 0x1000;
inline constexpr std::uint32_t kHotKeyModifierMask =
    kHotKeyCommand | kHotKeyShift | kHotKeyOption | kHotKeyControl;

// Modifier flags of a tapped key event.
inline constexpr std::uint64_t kEventFlagCapsLock = 0x010000;
inline constexpr std::uint64_t kEventFlagShift = 0x020000;
inline constexpr std::uint64_t kEventFlagControl = 0x040000;
inline constexpr std::uint64_t kEventFlagOption = 0x080000;
inline constexpr std::uint64_t kEventFlagCommand = 0x100000;
inline constexpr std::uint64_t kEventFlagModifierMask =
    kEventFlagShift | kEventFlagControl | kEventFlagOption | kEventFlagCommand;

// Results of the hot-key calls, with the conventional values.
inline constexpr int kHotKeyNoErr = 0;
inline constexpr int kEventNotHandledErr = -9874;
// The combination is held already: by another client, or by an earlier registration of this program.
inline constexpr int kEventHotKeyExistsErr = -9878;
// The key cannot be typed on the keyboard as it is mapped now.
inline constexpr int kEventHotKeyInvalidErr = -9879;
// The desktop offers no way to do it.
inline constexpr int kEventInternalErr = -9868;

// Names a registration: a four-character signature and a number of the registering program's choice.
struct EventHotKeyID {
    std::uint32_t signature = 0;
    std::uint32_t id = 0;
};

// A live registration. Unregistering it a second time is harmless; one that is destroyed registered
// unregisters itself. Safe to keep after the desktop is gone (it then does nothing).
class EventHotKey {
  public:
    virtual ~EventHotKey() = default;
    virtual int unregister() = 0;
};

struct HotKeyRegistration {
    int status = kHotKeyNoErr;
    std::shared_ptr<EventHotKey> ref; // none unless the status is kHotKeyNoErr
};

// A key pressed, as the tap sees it: the key, whether it is the keyboard repeating a held key, and the
// modifier flags held with it.
struct KeyDownEvent {
    std::uint16_t keyCode = 0;
    bool autorepeat = false;
    std::uint64_t flags = 0;
};

enum class KeyTapEventType {
    keyDown,
    // The desktop stopped the tap: its callback took too long, or the user turned input monitoring off
    // for a moment. It stays off until enabled again.
    tapDisabledByTimeout,
    tapDisabledByUserInput,
};

// A tap on every key pressed in the session. Destroying it removes it from the main run loop; its
// callback is not called afterwards. Safe to keep after the desktop is gone.
class KeyEventTap {
  public:
    virtual ~KeyEventTap() = default;
    // Starts delivery on the main run loop, in every mode; false when the desktop refuses.
    virtual bool addToMainRunLoop() = 0;
    virtual void setEnabled(bool enabled) = 0;
    virtual bool isEnabled() const = 0;
};

// Main thread only; every callback runs on the main thread, never from inside the call that caused it.
class HotKeys {
  public:
    // Answers a hot-key press with kHotKeyNoErr when it served it, else kEventNotHandledErr.
    using HotKeyHandler = std::function<int(const EventHotKeyID& id)>;
    // Answers whether the event is swallowed: withheld from the application in front. A desktop that
    // cannot withhold a key (X11 sees raw key events only after they went to their window) passes it on.
    using TapCallback = std::function<bool(KeyTapEventType type, const KeyDownEvent& event)>;

    virtual ~HotKeys() = default;

    // The one handler of every registered hot key's presses, replacing any earlier one. A status other
    // than kHotKeyNoErr when the desktop cannot deliver hot-key presses.
    virtual int installHotKeyHandler(HotKeyHandler handler) = 0;
    // Holds the combination for this program from now on: its presses reach the handler under `id`,
    // once per press (the keyboard's repeats of a held combination are not delivered), and no longer
    // reach any application. Modifiers are a kHotKey* mask; caps lock and num lock do not take part.
    virtual HotKeyRegistration registerHotKey(std::uint32_t keyCode, std::uint32_t modifiers,
                                              EventHotKeyID id) = 0;
    // Told on a later turn of the main loop, once for a burst of changes, that the keyboard was mapped
    // anew (another layout, another list of layouts): a key a registration names may now be typed on
    // other keys, on none, or again on one. Live registrations follow by themselves as far as they can;
    // one refused before may be taken now. Replaces any earlier handler.
    virtual void setKeyboardMappingHandler(std::function<void()> handler) = 0;
    // The virtual key code whose registration holds the key the desktop reports under its own number (a
    // toolkit key event's native scan code), in whichever layout of the keyboard names it: the key a
    // recording stores, or a letter read by the key pressed rather than by what it types in the layout
    // in use. Nothing where no virtual key code names the key.
    virtual std::optional<std::uint16_t> virtualKeyForNativeKey(std::uint32_t nativeKey) const = 0;
    // A tap on key-down events; nothing when the desktop refuses one (no permission, secure input).
    virtual std::unique_ptr<KeyEventTap> createKeyDownTap(TapCallback callback) = 0;
    // Whether a tap that answers true withholds the key from the application in front. Where it does not,
    // a tap can watch a key but never take it.
    virtual bool tapsWithholdKeys() const = 0;
    // A tap on the mouse and modifier events; nothing when the desktop refuses one.
    virtual std::unique_ptr<MouseTap> createMouseTap(MouseTapCallback callback) = 0;
};

} // namespace korvane::platform
