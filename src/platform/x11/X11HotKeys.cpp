// Grabs, their presses, the keyboard mapping they follow, and the raw key events of the tap. Everything
// lives in one state that the handles and the queued deliveries hold weakly, so that a handle kept past
// the desktop (the process-wide hot-key center is) does nothing.
#include "platform/x11/X11HotKeys.h"

#include "platform/Logger.h"
#include "platform/RunLoop.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11KeyCodes.h"
#include "platform/x11/X11KeyboardMap.h"
#include "platform/x11/X11MouseTaps.h"

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QCoreApplication>

#include <X11/keysym.h>
#include <xcb/xcb_keysyms.h>
// The XKB header names a field `explicit`, which C++ reserves.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit
#include <xcb/xinput.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

namespace korvane::x11 {

using platform::EventHotKeyID;
using platform::KeyDownEvent;
using platform::KeyTapEventType;

namespace {

// The modifiers a combination is made of; the lock modifiers are not among them.
constexpr std::uint16_t kCombinationMask =
    XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;
constexpr std::uint32_t kRawKeyEvents =
    XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_KEY_RELEASE;

std::uint16_t serverModifiers(std::uint32_t modifiers) {
    std::uint16_t mask = 0;
    if (modifiers & platform::kHotKeyControl) mask |= XCB_MOD_MASK_CONTROL;
    if (modifiers & platform::kHotKeyOption) mask |= XCB_MOD_MASK_1;
    if (modifiers & platform::kHotKeyCommand) mask |= XCB_MOD_MASK_4;
    if (modifiers & platform::kHotKeyShift) mask |= XCB_MOD_MASK_SHIFT;
    return mask;
}

} // namespace

struct X11HotKeys::State {
    struct Grab {
        std::uint64_t token = 0;
        EventHotKeyID id;
        std::uint32_t keysym = 0;
        std::uint16_t modifiers = 0; // server modifiers
        // What is grabbed now: each key that types the keysym, in each lock state.
        std::vector<xcb_keycode_t> keycodes;
        std::vector<std::uint16_t> lockStates;
    };
    struct Tap {
        TapCallback callback;
        bool onRunLoop = false;
        bool enabled = false;
    };

    State(X11Connection& c, platform::RunLoop& l) : connection(c), loop(l) {
        auto guard = connection.lock();
        symbols = xcb_key_symbols_alloc(connection.xcb());
        readModifierMapping();
        detectableRepeat = askForDetectableRepeat();
        keyboard = X11KeyboardMap::read(connection);
    }
    ~State() {
        if (symbols) xcb_key_symbols_free(symbols);
    }
    State(const State&) = delete;
    State& operator=(const State&) = delete;

    X11Connection& connection;
    platform::RunLoop& loop;
    xcb_key_symbols_t* symbols = nullptr;
    X11KeyboardMap keyboard;
    std::function<void()> mappingHandler;
    // A notice of a new mapping is on its way to the handler: the server announces one change several
    // times (XKB's notices and the core one), and the handler hears of it once.
    bool mappingNoticePending = false;
    std::array<std::vector<xcb_keycode_t>, 8> modifierKeys;
    std::uint16_t numLockMask = 0;
    HotKeyHandler handler;
    std::vector<Grab> grabs;
    std::uint64_t nextToken = 1;
    // With detectable repeat the server repeats a held key as presses alone, and a press of a key this
    // connection saw go down and not up is a repeat. Without it, a repeat is a release and a press at
    // one instant.
    bool detectableRepeat = false;
    std::optional<std::uint8_t> xkbEventBase;
    std::set<xcb_keycode_t> down;
    std::map<xcb_keycode_t, xcb_timestamp_t> lastRelease;
    std::map<std::uint64_t, Tap> taps;
    bool rawSelected = false;
    std::set<xcb_keycode_t> rawDown;
    // Raw key events reach this connection (the tap's or the mouse taps' selection): they tell every
    // release, whichever client it goes to.
    bool rawKeysSeen = false;
    // Hot-key presses that came through the toolkit's connection, kept until their key is seen going up.
    // Only while raw key events tell every release: a release that nobody here saw would leave its key
    // held, and the next press of the combination would be taken for a repeat and lost.
    std::set<xcb_keycode_t> heldThroughToolkit;
    std::map<xcb_keycode_t, xcb_timestamp_t> toolkitLastRelease;

    bool askForDetectableRepeat() {
        xcb_connection_t* c = connection.xcb();
        const xcb_query_extension_reply_t* xkb = xcb_get_extension_data(c, &xcb_xkb_id);
        if (!xkb || !xkb->present) return false;
        XcbReply<xcb_xkb_use_extension_reply_t> use(
            xcb_xkb_use_extension_reply(c, xcb_xkb_use_extension(c, 1, 0), nullptr));
        if (!use || !use->supported) return false;
        constexpr std::uint32_t flag = XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT;
        XcbReply<xcb_xkb_per_client_flags_reply_t> flags(xcb_xkb_per_client_flags_reply(
            c, xcb_xkb_per_client_flags(c, XCB_XKB_ID_USE_CORE_KBD, flag, flag, 0, 0, 0), nullptr));
        if (!flags || !(flags->value & flag)) return false;
        // A client that uses XKB hears of a new keyboard mapping through XKB's own events.
        xkbEventBase = xkb->first_event;
        constexpr std::uint16_t events =
            XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY | XCB_XKB_EVENT_TYPE_MAP_NOTIFY;
        constexpr std::uint16_t parts = XCB_XKB_MAP_PART_KEY_SYMS | XCB_XKB_MAP_PART_MODIFIER_MAP;
        xcb_xkb_select_events(c, XCB_XKB_ID_USE_CORE_KBD, events, 0, events, parts, parts, nullptr);
        return true;
    }

    void readModifierMapping() {
        auto guard = connection.lock();
        xcb_connection_t* c = connection.xcb();
        XcbReply<xcb_get_modifier_mapping_reply_t> reply(
            xcb_get_modifier_mapping_reply(c, xcb_get_modifier_mapping(c), nullptr));
        for (auto& keys : modifierKeys)
            keys.clear();
        numLockMask = 0;
        if (!reply) return;
        const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(reply.get());
        const int perModifier = reply->keycodes_per_modifier;
        for (int mod = 0; mod < 8; ++mod)
            for (int i = 0; i < perModifier; ++i) {
                const xcb_keycode_t code = codes[mod * perModifier + i];
                if (code == 0) continue;
                modifierKeys[mod].push_back(code);
                if (symbols && xcb_key_symbols_get_keysym(symbols, code, 0) == XK_Num_Lock)
                    numLockMask = static_cast<std::uint16_t>(1u << mod);
            }
    }

    std::vector<std::uint16_t> lockStates() const {
        std::vector<std::uint16_t> states = {0, XCB_MOD_MASK_LOCK};
        if (numLockMask && numLockMask != XCB_MOD_MASK_LOCK) {
            states.push_back(numLockMask);
            states.push_back(static_cast<std::uint16_t>(numLockMask | XCB_MOD_MASK_LOCK));
        }
        return states;
    }

    std::vector<xcb_keycode_t> keycodesFor(std::uint32_t keysym) const {
        return keyboard.keycodesFor(keysym);
    }

    // Grabs every key and lock state of the combination; on any refusal lets go of what it took, since a
    // grab of some lock states only would split the presses between this program and the other client.
    int grab(Grab& g) {
        g.lockStates = lockStates();
        auto guard = connection.lock();
        xcb_connection_t* c = connection.xcb();
        struct Pending {
            xcb_void_cookie_t cookie;
            xcb_keycode_t key;
            std::uint16_t modifiers;
        };
        std::vector<Pending> pending;
        for (auto key : g.keycodes)
            for (auto lock : g.lockStates) {
                const auto modifiers = static_cast<std::uint16_t>(g.modifiers | lock);
                pending.push_back({xcb_grab_key_checked(c, 0, connection.root(), modifiers, key,
                                                        XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
                                   key, modifiers});
            }
        int status = platform::kHotKeyNoErr;
        std::vector<const Pending*> taken;
        for (const auto& p : pending) {
            XcbReply<xcb_generic_error_t> error(xcb_request_check(c, p.cookie));
            if (!error)
                taken.push_back(&p);
            else if (status == platform::kHotKeyNoErr)
                status = error->error_code == XCB_ACCESS ? platform::kEventHotKeyExistsErr
                                                         : platform::kEventInternalErr;
        }
        if (status != platform::kHotKeyNoErr) {
            // Released before the refusal is reported: the client the combination belongs to may grab the
            // other lock states the moment it hears Korvane gave up, and must find them free.
            std::optional<xcb_void_cookie_t> last;
            for (const auto* p : taken)
                last = xcb_ungrab_key_checked(c, p->key, connection.root(), p->modifiers);
            if (last) XcbReply<xcb_generic_error_t> ignored(xcb_request_check(c, *last));
            xcb_flush(c);
            g.keycodes.clear();
        }
        return status;
    }

    void ungrab(const Grab& g) {
        // A key let go after its grab went never tells this connection it came up.
        for (auto key : g.keycodes)
            down.erase(key);
        auto guard = connection.lock();
        for (auto key : g.keycodes)
            for (auto lock : g.lockStates)
                xcb_ungrab_key(connection.xcb(), key, connection.root(),
                               static_cast<std::uint16_t>(g.modifiers | lock));
        xcb_flush(connection.xcb());
    }

    // Lets go of what `before` held and `now` does not.
    void ungrabOutside(const Grab& before, const Grab& now) {
        auto guard = connection.lock();
        for (auto key : before.keycodes) {
            const bool keyKept =
                std::find(now.keycodes.begin(), now.keycodes.end(), key) != now.keycodes.end();
            // A key let go after its grab went never tells this connection it came up.
            if (!keyKept) down.erase(key);
            for (auto lock : before.lockStates) {
                if (keyKept &&
                    std::find(now.lockStates.begin(), now.lockStates.end(), lock) != now.lockStates.end())
                    continue;
                xcb_ungrab_key(connection.xcb(), key, connection.root(),
                               static_cast<std::uint16_t>(before.modifiers | lock));
            }
        }
        xcb_flush(connection.xcb());
    }

    std::uint64_t flagsHeld() const {
        auto held = [this](int mod) {
            return std::any_of(modifierKeys[mod].begin(), modifierKeys[mod].end(),
                               [this](xcb_keycode_t k) { return rawDown.count(k) > 0; });
        };
        std::uint64_t flags = 0;
        if (held(XCB_MAP_INDEX_SHIFT)) flags |= platform::kEventFlagShift;
        if (held(XCB_MAP_INDEX_CONTROL)) flags |= platform::kEventFlagControl;
        if (held(XCB_MAP_INDEX_1)) flags |= platform::kEventFlagOption;
        if (held(XCB_MAP_INDEX_4)) flags |= platform::kEventFlagCommand;
        return flags;
    }

    const Grab* grabOf(xcb_keycode_t key, std::uint16_t state) const {
        const auto modifiers = static_cast<std::uint16_t>(state & kCombinationMask);
        auto grabbed = std::find_if(grabs.begin(), grabs.end(), [&](const Grab& g) {
            return g.modifiers == modifiers &&
                   std::find(g.keycodes.begin(), g.keycodes.end(), key) != g.keycodes.end();
        });
        return grabbed == grabs.end() ? nullptr : &*grabbed;
    }

    void deliver(EventHotKeyID id, const std::weak_ptr<State>& weak) {
        loop.post([weak, id] {
            auto self = weak.lock();
            if (!self || !self->handler) return;
            HotKeyHandler handler = self->handler;
            handler(id);
        });
    }

    void keyPress(const xcb_key_press_event_t& k, const std::weak_ptr<State>& weak) {
        if (k.event != connection.root()) return;
        // The key still held since its press went to a window of this program: the grab, back in force
        // once that window let go of the keyboard, is sent the keyboard's repeats.
        if (heldThroughToolkit.count(k.detail)) return;
        if (detectableRepeat) {
            if (!down.insert(k.detail).second) return;
        } else if (auto it = lastRelease.find(k.detail); it != lastRelease.end() && it->second == k.time) {
            return;
        }
        if (const Grab* grabbed = grabOf(k.detail, k.state)) deliver(grabbed->id, weak);
    }

    // A key event of the toolkit's own connection. While a window of this program holds the keyboard
    // the server activates no passive grab, this connection's included: a held combination's press goes
    // to that window instead. It is taken from there and served as the grab serves it, once per press;
    // true for the events taken.
    bool toolkitKey(const xcb_generic_event_t& e, const std::weak_ptr<State>& weak) {
        // Sent by a client rather than typed: no press of a combination.
        if (e.response_type & 0x80) return false;
        const auto type = e.response_type & 0x7f;
        if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE) return false;
        const auto& k = reinterpret_cast<const xcb_key_press_event_t&>(e);
        if (type == XCB_KEY_RELEASE) {
            toolkitLastRelease[k.detail] = k.time;
            return heldThroughToolkit.erase(k.detail) > 0;
        }
        const Grab* grabbed = grabOf(k.detail, k.state);
        if (!grabbed) return false;
        // The toolkit's connection hears a held key repeat as a release and a press at one instant.
        const auto released = toolkitLastRelease.find(k.detail);
        const bool repeat = (released != toolkitLastRelease.end() && released->second == k.time) ||
                            heldThroughToolkit.count(k.detail) > 0;
        if (rawKeysSeen) heldThroughToolkit.insert(k.detail);
        if (!repeat) deliver(grabbed->id, weak);
        return true;
    }

    void rawKey(const xcb_input_raw_key_press_event_t& raw, const std::weak_ptr<State>& weak) {
        const auto key = static_cast<xcb_keycode_t>(raw.detail);
        rawKeysSeen = true;
        if (raw.event_type == XCB_INPUT_RAW_KEY_RELEASE) {
            rawDown.erase(key);
            heldThroughToolkit.erase(key);
            return;
        }
        const bool repeat = (raw.flags & XCB_INPUT_KEY_EVENT_FLAGS_KEY_REPEAT) || rawDown.count(key);
        rawDown.insert(key);
        if (taps.empty()) return;
        const std::optional<std::uint16_t> code = keyboard.virtualKeyOf(key);
        // A key that no hot key can name is nothing to the tap.
        if (!code) return;
        const KeyDownEvent event{*code, repeat, flagsHeld()};
        loop.post([weak, event] {
            auto self = weak.lock();
            if (!self) return;
            std::vector<std::uint64_t> tokens;
            for (const auto& [token, tap] : self->taps)
                if (tap.onRunLoop && tap.enabled) tokens.push_back(token);
            for (auto token : tokens) {
                auto it = self->taps.find(token);
                if (it == self->taps.end() || !it->second.callback) continue;
                TapCallback callback = it->second.callback;
                callback(KeyTapEventType::keyDown, event); // X11 cannot withhold it: the verdict is moot
            }
        });
    }

    // The keyboard's keys or modifiers were mapped anew: every grab moves to the keys that type its
    // keysym now, and num lock may have moved to another modifier. The handler hears of it afterwards, to
    // take what was refused before.
    void mappingChanged(const std::weak_ptr<State>& weak) {
        {
            auto guard = connection.lock();
            if (symbols) xcb_key_symbols_free(symbols);
            symbols = xcb_key_symbols_alloc(connection.xcb());
        }
        readModifierMapping();
        keyboard = X11KeyboardMap::read(connection);
        // The new keys are grabbed before the old ones are let go: a key that types the keysym under both
        // mappings stays held throughout (the server takes a client's grab again as it stands), so that
        // its press cannot reach the window in front in between.
        for (auto& g : grabs) {
            const Grab before = g;
            g.keycodes = keycodesFor(g.keysym);
            if (g.keycodes.empty() || grab(g) != platform::kHotKeyNoErr) {
                g.keycodes.clear();
                x11Log().error("Hot key %u lost with the keyboard mapping", g.id.id);
            }
            ungrabOutside(before, g);
        }
        if (!mappingHandler || mappingNoticePending) return;
        mappingNoticePending = true;
        loop.post([weak] {
            auto self = weak.lock();
            if (!self) return;
            self->mappingNoticePending = false;
            std::function<void()> handler = self->mappingHandler;
            if (handler) handler();
        });
    }

    void handle(const xcb_generic_event_t& e, const std::weak_ptr<State>& weak) {
        switch (e.response_type & 0x7f) {
        case XCB_KEY_PRESS:
            keyPress(reinterpret_cast<const xcb_key_press_event_t&>(e), weak);
            break;
        case XCB_KEY_RELEASE: {
            const auto& k = reinterpret_cast<const xcb_key_release_event_t&>(e);
            down.erase(k.detail);
            heldThroughToolkit.erase(k.detail);
            // While a grab of this connection is active the server holds its raw events back from it.
            rawDown.erase(k.detail);
            lastRelease[k.detail] = k.time;
            break;
        }
        case XCB_MAPPING_NOTIFY:
            if (reinterpret_cast<const xcb_mapping_notify_event_t&>(e).request != XCB_MAPPING_POINTER)
                mappingChanged(weak);
            break;
        case XCB_GE_GENERIC: {
            const auto& ge = reinterpret_cast<const xcb_ge_generic_event_t&>(e);
            if (ge.extension != connection.xinputOpcode()) break;
            if (ge.event_type == XCB_INPUT_RAW_KEY_PRESS || ge.event_type == XCB_INPUT_RAW_KEY_RELEASE)
                rawKey(reinterpret_cast<const xcb_input_raw_key_press_event_t&>(e), weak);
            break;
        }
        default:
            if (xkbEventBase && (e.response_type & 0x7f) == *xkbEventBase) {
                const auto type = reinterpret_cast<const xcb_xkb_map_notify_event_t&>(e).xkbType;
                if (type == XCB_XKB_MAP_NOTIFY || type == XCB_XKB_NEW_KEYBOARD_NOTIFY) mappingChanged(weak);
            }
            break;
        }
    }
};

// Reads the toolkit's connection ahead of the toolkit.
class X11HotKeys::ToolkitKeys final : public QAbstractNativeEventFilter {
  public:
    explicit ToolkitKeys(std::weak_ptr<State> state) : state_(std::move(state)) {}
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        if (eventType != "xcb_generic_event_t" || !message) return false;
        auto state = state_.lock();
        return state && state->toolkitKey(*static_cast<const xcb_generic_event_t*>(message), state_);
    }

  private:
    std::weak_ptr<State> state_;
};

namespace {

class X11EventHotKey final : public platform::EventHotKey {
  public:
    X11EventHotKey(std::weak_ptr<X11HotKeys::State> state, std::uint64_t token)
        : state_(std::move(state)), token_(token) {}
    ~X11EventHotKey() override { unregister(); }
    int unregister() override {
        if (auto state = state_.lock()) {
            auto it = std::find_if(state->grabs.begin(), state->grabs.end(),
                                   [this](const auto& g) { return g.token == token_; });
            if (it != state->grabs.end()) {
                state->ungrab(*it);
                state->grabs.erase(it);
            }
        }
        state_.reset();
        return platform::kHotKeyNoErr;
    }

  private:
    std::weak_ptr<X11HotKeys::State> state_;
    std::uint64_t token_;
};

class X11KeyEventTap final : public platform::KeyEventTap {
  public:
    X11KeyEventTap(std::weak_ptr<X11HotKeys::State> state, std::uint64_t token)
        : state_(std::move(state)), token_(token) {}
    ~X11KeyEventTap() override {
        if (auto state = state_.lock()) state->taps.erase(token_);
    }
    bool addToMainRunLoop() override {
        auto state = state_.lock();
        if (!state) return false;
        // Once selected, raw key events stay selected: they alone tell which modifiers are held, and a
        // tap made again while the user holds some must know them.
        if (!state->rawSelected)
            state->rawSelected = state->connection.selectRootXInputEvents(kRawKeyEvents, 0);
        if (!state->rawSelected) return false;
        state->taps[token_].onRunLoop = true;
        return true;
    }
    void setEnabled(bool enabled) override {
        if (auto state = state_.lock())
            if (auto it = state->taps.find(token_); it != state->taps.end()) it->second.enabled = enabled;
    }
    bool isEnabled() const override {
        auto state = state_.lock();
        if (!state) return false;
        auto it = state->taps.find(token_);
        return it != state->taps.end() && it->second.enabled;
    }

  private:
    std::weak_ptr<X11HotKeys::State> state_;
    std::uint64_t token_;
};

} // namespace

X11HotKeys::X11HotKeys(X11Connection& connection, platform::RunLoop& loop, X11Screens* screens)
    : state_(std::make_shared<State>(connection, loop)),
      mouseTaps_(std::make_unique<X11MouseTaps>(connection, loop, screens)) {
    connection.addEventHandler([weak = std::weak_ptr<State>(state_)](const xcb_generic_event_t& e) {
        if (auto state = weak.lock()) state->handle(e, weak);
    });
    // The program's windows are the toolkit's, on a connection of its own to the same server.
    if (auto* application = QCoreApplication::instance()) {
        toolkitKeys_ = std::make_unique<ToolkitKeys>(state_);
        application->installNativeEventFilter(toolkitKeys_.get());
    }
}

X11HotKeys::~X11HotKeys() {
    for (const auto& g : state_->grabs)
        state_->ungrab(g);
    state_->grabs.clear();
}

int X11HotKeys::installHotKeyHandler(HotKeyHandler handler) {
    state_->handler = std::move(handler);
    return platform::kHotKeyNoErr;
}

platform::HotKeyRegistration X11HotKeys::registerHotKey(std::uint32_t keyCode, std::uint32_t modifiers,
                                                        EventHotKeyID id) {
    const auto keysym = keysymForVirtualKey(keyCode);
    if (!keysym) return {platform::kEventHotKeyInvalidErr, nullptr};
    State::Grab g;
    g.id = id;
    g.keysym = *keysym;
    g.modifiers = serverModifiers(modifiers);
    g.keycodes = state_->keycodesFor(*keysym);
    if (g.keycodes.empty()) return {platform::kEventHotKeyInvalidErr, nullptr};
    // The server lets a client grab its own grab again, silently: this program's second registration of a
    // combination is refused here, as another client's would be.
    const bool held = std::any_of(state_->grabs.begin(), state_->grabs.end(), [&](const State::Grab& other) {
        return other.modifiers == g.modifiers &&
               std::any_of(other.keycodes.begin(), other.keycodes.end(), [&](auto k) {
                   return std::find(g.keycodes.begin(), g.keycodes.end(), k) != g.keycodes.end();
               });
    });
    if (held) return {platform::kEventHotKeyExistsErr, nullptr};
    if (const int status = state_->grab(g); status != platform::kHotKeyNoErr) return {status, nullptr};
    g.token = state_->nextToken++;
    const std::uint64_t token = g.token;
    state_->grabs.push_back(std::move(g));
    return {platform::kHotKeyNoErr, std::make_shared<X11EventHotKey>(state_, token)};
}

void X11HotKeys::setKeyboardMappingHandler(std::function<void()> handler) {
    state_->mappingHandler = std::move(handler);
}

std::optional<std::uint16_t> X11HotKeys::virtualKeyForNativeKey(std::uint32_t nativeKey) const {
    if (nativeKey < 8 || nativeKey > 255) return std::nullopt;
    return state_->keyboard.virtualKeyOf(static_cast<xcb_keycode_t>(nativeKey));
}

std::unique_ptr<platform::MouseTap> X11HotKeys::createMouseTap(platform::MouseTapCallback callback) {
    return mouseTaps_->create(std::move(callback));
}

std::unique_ptr<platform::KeyEventTap> X11HotKeys::createKeyDownTap(TapCallback callback) {
    if (!state_->connection.hasXInput2()) return nullptr;
    const std::uint64_t token = state_->nextToken++;
    state_->taps[token] = State::Tap{std::move(callback), false, false};
    return std::make_unique<X11KeyEventTap>(state_, token);
}

} // namespace korvane::x11
