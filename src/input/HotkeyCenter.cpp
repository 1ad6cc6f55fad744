// The process-wide hot-key center: registrations, the dispatch of hot-key presses by id, the tap's
// matching, and the zone-number family.
#include "input/HotkeyCenter.h"

#include "core/Log.h"
#include "platform/Logging.h"
#include "platform/Platform.h"
#include "platform/ProcessWide.h"

#include <algorithm>

namespace korvane {

namespace {

platform::ProcessWide<HotkeyCenter> gShared;

constexpr int kLastZone = 35;
// Only these flags take part in a tap match: caps lock, the function key and device bits do not.
constexpr std::uint64_t kTapMatchMask = 0x1E0000;

std::uint64_t eventFlags(std::uint32_t modifiers) {
    std::uint64_t flags = 0;
    if (modifiers & platform::kHotKeyCommand) flags |= platform::kEventFlagCommand;
    if (modifiers & platform::kHotKeyShift) flags |= platform::kEventFlagShift;
    if (modifiers & platform::kHotKeyOption) flags |= platform::kEventFlagOption;
    if (modifiers & platform::kHotKeyControl) flags |= platform::kEventFlagControl;
    return flags;
}

void console(const std::string& line) {
    platform::consoleSink()->writeLine(line);
}

} // namespace

HotkeyCenter::HotkeyCenter(platform::Platform& platform) : platform_(platform) {}

HotkeyCenter::~HotkeyCenter() = default;

std::shared_ptr<HotkeyCenter> HotkeyCenter::shared() {
    return gShared.get([](platform::Platform& platform) { return std::make_shared<HotkeyCenter>(platform); });
}

void HotkeyCenter::setShared(std::shared_ptr<HotkeyCenter> instance) {
    gShared.set(std::move(instance));
}

void HotkeyCenter::installHandlerIfNeeded() {
    // Set before trying: a handler that could not be installed is not tried again.
    if (handlerInstalled_) return;
    handlerInstalled_ = true;
    console("[Korvane] Installing global hotkey event handler...");
    const int status = platform_.hotKeys().installHotKeyHandler(
        [weak = weak_from_this()](const platform::EventHotKeyID& id) {
            auto self = weak.lock();
            if (!self) return platform::kEventNotHandledErr;
            return self->handleHotKeyEvent(id);
        });
    // A combination refused under one keyboard mapping may be held under the next.
    platform_.hotKeys().setKeyboardMappingHandler([weak = weak_from_this()] {
        if (auto self = weak.lock()) self->keyboardMapped();
    });
    if (status == platform::kHotKeyNoErr) {
        hotKeyHandler_ = true;
        console("[Korvane] Key grab handler SUCCESS");
    } else {
        Log::hotkey.error("Key grab handler failed status=%d", status);
        console("[Korvane] Key grab handler FAILED: status=" + std::to_string(status));
    }
}

std::shared_ptr<platform::EventHotKey> HotkeyCenter::registerHotkey(std::uint32_t keyCode,
                                                                    std::uint32_t modifiers, Handler handler,
                                                                    const std::optional<std::string>& name) {
    installHandlerIfNeeded();
    HotKeyRef entry{0, keyCode, modifiers, nullptr};
    const std::uint32_t mask = modifiers & platform::kHotKeyModifierMask;
    auto held = std::find_if(replaced_.begin(), replaced_.end(), [&](const HotKeyRef& r) {
        return r.ref && r.keyCode == keyCode && (r.modifiers & platform::kHotKeyModifierMask) == mask;
    });
    if (held != replaced_.end()) {
        // Taken over as it is held: letting it go to take it again would hand a press made in between
        // to the window in front. Its presses come under the id it was held under.
        entry.id = held->id;
        entry.ref = std::move(held->ref);
        replaced_.erase(held);
    } else {
        entry.id = nextID_++;
        if (!isSuspended()) registerWithSystem(entry);
    }
    hotKeyRefs_.push_back(entry);
    const std::uint32_t id = entry.id;

    const std::string shownName =
        name.value_or("key=" + std::to_string(keyCode) + " mods=" + std::to_string(modifiers));
    handlers_[id] = handler;
    handlerNames_[id] = shownName;
    // Key code 0 is A: a combination on A is served by the system hot key alone.
    if (keyCode != 0 && (modifiers & platform::kHotKeyModifierMask) != 0)
        addFallbackBinding(keyCode, modifiers, shownName, std::move(handler));
    return entry.ref;
}

void HotkeyCenter::registerWithSystem(HotKeyRef& entry) {
    auto result = platform_.hotKeys().registerHotKey(entry.keyCode, entry.modifiers, {kSignature, entry.id});
    entry.ref = result.ref;
    entry.status = result.status;
    entry.heldHere = false;
    if (result.status == platform::kHotKeyNoErr) return;
    const std::uint32_t modifiers = entry.modifiers & platform::kHotKeyModifierMask;
    entry.heldHere = result.status == platform::kEventHotKeyExistsErr &&
                     std::any_of(hotKeyRefs_.begin(), hotKeyRefs_.end(), [&](const HotKeyRef& r) {
                         return r.id != entry.id && r.ref && r.keyCode == entry.keyCode &&
                                (r.modifiers & platform::kHotKeyModifierMask) == modifiers;
                     });
    Log::hotkey.error("XGrabKey failed key=%u mods=%u status=%d", entry.keyCode, entry.modifiers,
                      result.status);
}

void HotkeyCenter::registerEveryEntry() {
    // In registration order, as they were first taken: of two registrations of one combination the
    // earlier holds it again.
    for (auto& entry : hotKeyRefs_)
        registerWithSystem(entry);
}

void HotkeyCenter::keyboardMapped() {
    // A suspension registers everything anew as it ends.
    if (isSuspended()) return;
    // Those held follow the mapping on the system's side; letting them go to take them again would leave
    // their keys to the window in front for a moment.
    for (auto& entry : hotKeyRefs_)
        if (!entry.ref) registerWithSystem(entry);
    Log::hotkey.info("Hot keys registered again for the new keyboard mapping");
}

std::vector<HotkeyCenter::Refusal> HotkeyCenter::refusals() const {
    std::vector<Refusal> out;
    if (isSuspended()) return out;
    for (const auto& entry : hotKeyRefs_) {
        if (entry.ref || entry.heldHere || entry.status == platform::kHotKeyNoErr) continue;
        const auto name = handlerNames_.find(entry.id);
        out.push_back({name != handlerNames_.end() ? name->second : std::string(), entry.keyCode,
                       entry.modifiers, entry.status});
    }
    return out;
}

std::unique_ptr<HotkeyCenter::Suspension> HotkeyCenter::suspend() {
    if (suspensions_++ == 0) {
        for (auto& entry : hotKeyRefs_)
            if (entry.ref) {
                entry.ref->unregister();
                entry.ref.reset();
            }
        Log::hotkey.info("Hot keys suspended");
    }
    return std::make_unique<Suspension>(weak_from_this());
}

void HotkeyCenter::resume() {
    if (suspensions_ == 0 || --suspensions_ > 0) return;
    registerEveryEntry();
    Log::hotkey.info("Hot keys resumed");
}

void HotkeyCenter::Suspension::end() {
    if (auto center = center_.lock()) center->resume();
    center_.reset();
}

void HotkeyCenter::addFallbackBinding(std::uint32_t keyCode, std::uint32_t modifiers, const std::string& name,
                                      Handler action) {
    eventTapFallbackBindings_.push_back(
        {static_cast<std::uint16_t>(keyCode), eventFlags(modifiers), name, std::move(action)});
    ensureEventTap();
    Log::hotkey.info("Registered event-tap hotkey fallback for %s", name);
}

void HotkeyCenter::ensureEventTap() {
    if (eventTap_) return;
    if (!platform_.hotKeys().tapsWithholdKeys()) {
        // Served by watching, a combination would act and reach the window in front as well.
        if (!tapDeclined_)
            Log::hotkey.info("Hotkey event-tap fallback not used: the desktop cannot withhold a key from "
                             "the window in front");
        tapDeclined_ = true;
        return;
    }
    auto tap = platform_.hotKeys().createKeyDownTap(
        [weak = weak_from_this()](platform::KeyTapEventType type, const platform::KeyDownEvent& event) {
            auto self = weak.lock();
            return self && self->handleTapEvent(type, event);
        });
    if (!tap) {
        // The bindings stay listed; nothing serves them until a later binding makes a tap.
        Log::hotkey.error("Hotkey event-tap fallback disabled: failed to create event tap (check "
                          "the XInput2 extension)");
        return;
    }
    if (!tap->addToMainRunLoop()) {
        Log::hotkey.error("Hotkey event-tap fallback disabled: failed to select XInput2 raw key events");
        return;
    }
    tap->setEnabled(true);
    eventTap_ = std::move(tap);
}

bool HotkeyCenter::handleTapEvent(platform::KeyTapEventType type, const platform::KeyDownEvent& event) {
    switch (type) {
    case platform::KeyTapEventType::tapDisabledByTimeout:
    case platform::KeyTapEventType::tapDisabledByUserInput:
        if (eventTap_) eventTap_->setEnabled(true);
        return false;
    case platform::KeyTapEventType::keyDown:
        return handleEventTapKeyDown(event);
    }
    return false;
}

bool HotkeyCenter::holdsCombination(std::uint32_t keyCode, std::uint32_t modifiers) const {
    if (!hotKeyHandler_) return false;
    return std::any_of(hotKeyRefs_.begin(), hotKeyRefs_.end(), [&](const HotKeyRef& r) {
        return r.ref && r.keyCode == keyCode && (r.modifiers & platform::kHotKeyModifierMask) == modifiers;
    });
}

bool HotkeyCenter::handleEventTapKeyDown(const platform::KeyDownEvent& event) {
    if (eventTapFallbackBindings_.empty()) return false;
    // Suspended, every key belongs to the window in front (the recorder of a shortcut).
    if (isSuspended()) return false;
    // A held key repeats for the application in front, not for the action.
    if (event.autorepeat) return false;
    const std::uint64_t flags = event.flags & kTapMatchMask;
    auto match = std::find_if(eventTapFallbackBindings_.begin(), eventTapFallbackBindings_.end(),
                              [&](const EventTapFallbackBinding& b) {
                                  return b.keyCode == event.keyCode && b.requiredFlags == flags;
                              });
    if (match == eventTapFallbackBindings_.end()) return false;
    // The system hot key delivers this press too; running the action here as well would run it twice.
    std::uint32_t modifiers = 0;
    if (flags & platform::kEventFlagCommand) modifiers |= platform::kHotKeyCommand;
    if (flags & platform::kEventFlagShift) modifiers |= platform::kHotKeyShift;
    if (flags & platform::kEventFlagOption) modifiers |= platform::kHotKeyOption;
    if (flags & platform::kEventFlagControl) modifiers |= platform::kHotKeyControl;
    if (holdsCombination(event.keyCode, modifiers)) return false;

    Log::hotkey.info("Hotkey event-tap fallback fired: %s", match->name);
    if (match->action) platform_.runLoop().post(match->action);
    return true;
}

int HotkeyCenter::handleHotKeyEvent(const platform::EventHotKeyID& id) {
    console("[Korvane] Hotkey event received!");
    auto name = handlerNames_.find(id.id);
    const std::string shownName = name != handlerNames_.end() ? name->second : "unknown";
    console("[Korvane] Hotkey event: id=" + std::to_string(id.id) + " name=" + shownName);
    // A press taken before the suspension and delivered after it: the keys are not this program's now.
    if (isSuspended()) return platform::kEventNotHandledErr;
    auto handler = handlers_.find(id.id);
    if (handler == handlers_.end()) {
        Log::hotkey.error("HotkeyCenter: no handler for id=%u", id.id);
        return platform::kEventNotHandledErr;
    }
    Log::hotkey.debug("HotkeyCenter: executing handler id=%u name=%s", id.id, shownName);
    // A copy: the action may apply a new configuration, which drops the stored closures.
    const Handler action = handler->second;
    if (action) action();
    return platform::kHotKeyNoErr;
}

void HotkeyCenter::registerPushRegionHotkeys(int count, std::function<void(int zone)> handler,
                                             std::optional<std::uint32_t> modifiers,
                                             const std::string& namePrefix) {
    for (const std::uint32_t id : regionHotkeys_) {
        auto entry = std::find_if(hotKeyRefs_.begin(), hotKeyRefs_.end(),
                                  [id](const HotKeyRef& r) { return r.id == id; });
        if (entry == hotKeyRefs_.end()) continue;
        if (entry->ref) entry->ref->unregister();
        hotKeyRefs_.erase(entry);
    }
    regionHotkeys_.clear();

    const std::uint32_t mask = modifiers.value_or(platform::kHotKeyControl | platform::kHotKeyOption);
    auto registerZone = [&](int zone, std::uint32_t keyCode) {
        registerHotkey(
            keyCode, mask,
            [handler, zone] {
                Log::hotkey.debug("Hotkey fired: push region %ld", zone);
                if (handler) handler(zone);
            },
            namePrefix + "-" + std::to_string(zone));
        regionHotkeys_.push_back(hotKeyRefs_.back().id);
    };
    // The digits are registered whatever the count: the largest layout decides only the letters.
    for (int zone = 1; zone <= 9; ++zone)
        registerZone(zone, kDigitKeyCodes[zone - 1]);
    for (int zone = 10; zone <= std::min(count, kLastZone); ++zone)
        registerZone(zone, kLetterKeyCodes[zone - 10]);
    Log::hotkey.info("Registered %ld push hotkeys", regionHotkeys_.size());
}

void HotkeyCenter::unregisterAll() {
    for (const auto& r : hotKeyRefs_)
        if (r.ref) r.ref->unregister();
    hotKeyRefs_.clear();
    regionHotkeys_.clear();
    handlers_.clear();
    handlerNames_.clear();
    eventTapFallbackBindings_.clear();
    eventTap_.reset();
}

void HotkeyCenter::replaceAll(const std::function<void()>& registerNew) {
    replaced_ = std::move(hotKeyRefs_);
    hotKeyRefs_.clear();
    regionHotkeys_.clear();
    handlers_.clear();
    handlerNames_.clear();
    eventTapFallbackBindings_.clear();
    if (registerNew) registerNew();
    std::vector<HotKeyRef> dropped = std::move(replaced_);
    replaced_.clear();
    bool released = false;
    for (auto& r : dropped)
        if (r.ref) {
            r.ref->unregister();
            released = true;
        }
    // A new combination that shares a key with one let go just now was refused while that one held it.
    if (released && !isSuspended())
        for (auto& entry : hotKeyRefs_)
            if (!entry.ref && entry.status == platform::kEventHotKeyExistsErr && !entry.heldHere)
                registerWithSystem(entry);
    if (eventTapFallbackBindings_.empty()) eventTap_.reset();
}

} // namespace korvane
