// The single owner of the application's system-wide keyboard shortcuts, one per process. It registers
// key combinations as system hot keys and dispatches their presses to stored closures by id, and keeps
// a second road for the same combinations: a key-down tap that recognises a combination itself and runs
// the same closure. It knows nothing of actions or of the configuration file.
#pragma once

#include "platform/HotKeys.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

namespace platform {
class Platform;
}

// Main thread only. Made for the platform in use on first use and kept until exit; the hot-key manager
// drives it. Owned by a shared_ptr: the platform's callbacks hold it weakly.
//
// Each press reaches a closure through one road only. The system hot key serves every combination this
// program holds; the tap serves a combination only while no live registration holds it (one that another
// client took first, or every combination while hot-key presses cannot be delivered at all), so that a
// press the desktop reports both ways runs its action once. Where a tap cannot withhold a key from the
// window in front (X11), no tap is made: a combination served by watching would act and reach that
// window too, so one this program cannot hold does nothing here, and refusals() says why.
//
// When the keyboard is mapped anew every combination not held is registered again, in the order of
// registration: one that no key typed, or that another client held, under the old mapping may be held
// now. Those held stay held (the desktop moves them to the keys that type them now), so that no press of
// them slips through to the window in front meanwhile.
//
// While suspended (a shortcut being recorded), no combination is held on the system and neither road
// runs an action: every key goes to the window in front as it would without this program.
class HotkeyCenter : public std::enable_shared_from_this<HotkeyCenter> {
  public:
    using Handler = std::function<void()>;

    // A combination the tap recognises. Flags are the exact modifiers required (kEventFlag*).
    struct EventTapFallbackBinding {
        std::uint16_t keyCode = 0;
        std::uint64_t requiredFlags = 0;
        std::string name;
        Handler action;
    };

    // The signature of every registration, 'VNTQ'.
    static constexpr std::uint32_t kSignature = 0x564E5451;
    // Virtual key codes of the zone-number keys: digits 1-9 for zones 1-9, letters A-Z for zones 10-35.
    static constexpr std::uint32_t kDigitKeyCodes[9] = {18, 19, 20, 21, 23, 22, 26, 28, 25};
    static constexpr std::uint32_t kLetterKeyCodes[26] = {0,  11, 8,  2,  14, 3, 5,  4,  34, 38, 40, 37, 46,
                                                          45, 31, 35, 12, 15, 1, 17, 32, 9,  13, 7,  16, 6};

    // Keeps the center suspended while it lives; ending it twice is harmless, and the center resumes once
    // the last suspension has ended.
    class Suspension {
      public:
        explicit Suspension(std::weak_ptr<HotkeyCenter> center) : center_(std::move(center)) {}
        ~Suspension() { end(); }
        Suspension(const Suspension&) = delete;
        Suspension& operator=(const Suspension&) = delete;
        void end();

      private:
        std::weak_ptr<HotkeyCenter> center_;
    };

    explicit HotkeyCenter(platform::Platform& platform);
    ~HotkeyCenter();
    HotkeyCenter(const HotkeyCenter&) = delete;
    HotkeyCenter& operator=(const HotkeyCenter&) = delete;

    // The process-wide instance, made on first use for the platform in use.
    static std::shared_ptr<HotkeyCenter> shared();
    // Installs the instance that shared() returns; nullptr lets the next shared() make a fresh one.
    static void setShared(std::shared_ptr<HotkeyCenter> instance);

    platform::Platform& platform() const { return platform_; }

    // Registers the combination (a kHotKey* modifier mask) under the next id and stores the closure under
    // it, whether or not the system accepts it; a combination with a modifier on any key but A (key code
    // 0) also gets a tap binding. Unnamed, it goes by "key=<code> mods=<mask>" in the logs. Returns the
    // registration, or nothing when the system refused it (logged) or the center is suspended (the
    // combination is then registered when it resumes).
    std::shared_ptr<platform::EventHotKey>
    registerHotkey(std::uint32_t keyCode, std::uint32_t modifiers, Handler handler,
                   const std::optional<std::string>& name = std::nullopt);
    // Replaces the zone-number keys: digits 1-9 whatever the count, then letters for zones 10 up to the
    // count (at most 35), each named "<prefix>-<zone>" and calling `handler` with its zone. Control+option
    // when no modifiers are given.
    void registerPushRegionHotkeys(int count, std::function<void(int zone)> handler,
                                   std::optional<std::uint32_t> modifiers, const std::string& namePrefix);
    // Unregisters every combination, forgets every closure and tap binding and takes the tap down. Ids go
    // on from where they were.
    void unregisterAll();
    // Replaces every combination with those `registerNew` registers, as unregisterAll() followed by those
    // registrations would, except that a combination held before and registered again stays held on the
    // system throughout, under the id it had: pressed while the table is applied anew, it reaches its
    // action instead of the window in front. The combinations not registered again are let go afterwards.
    void replaceAll(const std::function<void()>& registerNew);

    // Lets go of every combination on the system at once and stops the tap from matching, until the
    // suspension ends: then each combination registered by then is registered again under its id, in the
    // order of registration. Registrations and unregistrations in between take effect as usual.
    [[nodiscard]] std::unique_ptr<Suspension> suspend();
    bool isSuspended() const { return suspensions_ > 0; }

    // A system hot-key press: runs the closure stored under the id at once. kEventNotHandledErr when none
    // is stored (an id from before the last unregisterAll()) or the center is suspended.
    int handleHotKeyEvent(const platform::EventHotKeyID& id);
    // A tapped key-down: whether a tap binding matches it, in which case its closure runs on a later turn
    // of the main queue. Repeats of a held key never match, nor does a combination a live registration
    // holds, nor anything while the center is suspended.
    bool handleEventTapKeyDown(const platform::KeyDownEvent& event);

    // A registration the system refused: its name, combination and the status it answered
    // (kEventHotKeyExistsErr: another program holds it; kEventHotKeyInvalidErr: no key of the keyboard
    // types the key as it is mapped now). A combination this program holds already under an earlier
    // registration is not among them, nor is anything while suspended.
    struct Refusal {
        std::string name;
        std::uint32_t keyCode = 0;
        std::uint32_t modifiers = 0;
        int status = platform::kHotKeyNoErr;
    };
    std::vector<Refusal> refusals() const;

    std::uint32_t nextID() const { return nextID_; }
    const std::vector<EventTapFallbackBinding>& eventTapFallbackBindings() const {
        return eventTapFallbackBindings_;
    }
    // The tap is on the main run loop.
    bool hasEventTap() const { return eventTap_ != nullptr; }

  private:
    struct HotKeyRef {
        std::uint32_t id = 0;
        std::uint32_t keyCode = 0;
        std::uint32_t modifiers = 0;
        // None when the system refused the combination, or while the center is suspended.
        std::shared_ptr<platform::EventHotKey> ref;
        // What the system answered the last time it was asked.
        int status = platform::kHotKeyNoErr;
        // Refused because an earlier registration of this program holds the same combination.
        bool heldHere = false;
    };

    void installHandlerIfNeeded();
    // Asks the system for the entry's combination, keeping the answer in it.
    void registerWithSystem(HotKeyRef& entry);
    void registerEveryEntry();
    void keyboardMapped();
    void resume();
    void addFallbackBinding(std::uint32_t keyCode, std::uint32_t modifiers, const std::string& name,
                            Handler action);
    void ensureEventTap();
    bool handleTapEvent(platform::KeyTapEventType type, const platform::KeyDownEvent& event);
    bool holdsCombination(std::uint32_t keyCode, std::uint32_t modifiers) const;

    platform::Platform& platform_;
    std::map<std::uint32_t, Handler> handlers_;
    std::map<std::uint32_t, std::string> handlerNames_;
    std::uint32_t nextID_ = 1;
    std::vector<EventTapFallbackBinding> eventTapFallbackBindings_;
    std::unique_ptr<platform::KeyEventTap> eventTap_;
    std::vector<std::uint32_t> regionHotkeys_; // ids of the zone-number keys, also among hotKeyRefs_
    std::vector<HotKeyRef> hotKeyRefs_;
    // The registrations a replaceAll() in progress has not yet taken over.
    std::vector<HotKeyRef> replaced_;
    int suspensions_ = 0;
    bool handlerInstalled_ = false;
    bool hotKeyHandler_ = false; // the handler was installed, so held combinations reach it
    bool tapDeclined_ = false;   // said once that no tap serves a key it cannot withhold
};

} // namespace korvane
