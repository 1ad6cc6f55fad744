// Raw observation and the grabbed control+option chords. The pointer's place and the held modifiers are
// asked of the server when a raw event is delivered, since raw events carry neither; motion is coalesced
// to one question per turn of the loop.
#include "platform/x11/X11MouseTaps.h"

#include "platform/HotKeys.h"
#include "platform/RunLoop.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11Screens.h"

#include <xcb/xinput.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <vector>

namespace korvane::x11 {

using platform::MouseEvent;
using platform::MouseEventType;

namespace {

constexpr std::uint32_t kRawEvents =
    XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_RELEASE |
    XCB_INPUT_XI_EVENT_MASK_RAW_MOTION | XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS |
    XCB_INPUT_XI_EVENT_MASK_RAW_KEY_RELEASE;
constexpr std::uint16_t kChord = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;
constexpr std::uint16_t kCombinationMask =
    XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;
// Caps lock and num lock (Mod2 on every common keyboard map) must not stop a chord from being grabbed.
constexpr std::uint16_t kLockStates[] = {0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2,
                                         XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};
// Left, right, and the wheel's two directions.
constexpr std::uint8_t kGrabbedButtons[] = {1, 3, 4, 5};

std::uint64_t flagsOf(std::uint16_t state) {
    std::uint64_t flags = 0;
    if (state & XCB_MOD_MASK_SHIFT) flags |= platform::kEventFlagShift;
    if (state & XCB_MOD_MASK_CONTROL) flags |= platform::kEventFlagControl;
    if (state & XCB_MOD_MASK_1) flags |= platform::kEventFlagOption;
    if (state & XCB_MOD_MASK_4) flags |= platform::kEventFlagCommand;
    if (state & XCB_MOD_MASK_LOCK) flags |= platform::kEventFlagCapsLock;
    return flags;
}

MouseEventType dragType(std::uint16_t state) {
    if (state & XCB_BUTTON_MASK_1) return MouseEventType::leftMouseDragged;
    if (state & XCB_BUTTON_MASK_3) return MouseEventType::rightMouseDragged;
    return MouseEventType::mouseMoved;
}

std::optional<MouseEvent> pressEvent(std::uint32_t button) {
    MouseEvent event;
    switch (button) {
    case 1:
        event.type = MouseEventType::leftMouseDown;
        break;
    case 3:
        event.type = MouseEventType::rightMouseDown;
        break;
    case 4:
        event.type = MouseEventType::scrollWheel;
        event.scrollDeltaY = 1.0;
        break;
    case 5:
        event.type = MouseEventType::scrollWheel;
        event.scrollDeltaY = -1.0;
        break;
    case 6:
    case 7:
        return std::nullopt; // horizontal wheel: no tap event asks for it
    default:
        event.type = MouseEventType::otherMouseDown;
        break;
    }
    return event;
}

std::optional<MouseEventType> releaseType(std::uint32_t button) {
    if (button == 1) return MouseEventType::leftMouseUp;
    if (button == 3) return MouseEventType::rightMouseUp;
    return std::nullopt;
}

} // namespace

struct X11MouseTaps::State {
    struct Tap {
        platform::MouseTapCallback callback;
        bool onRunLoop = false;
        bool enabled = false;
    };

    State(X11Connection& c, platform::RunLoop& l, X11Screens* s) : connection(c), loop(l), screens(s) {}

    X11Connection& connection;
    platform::RunLoop& loop;
    X11Screens* screens;
    std::map<std::uint64_t, Tap> taps;
    std::uint64_t nextToken = 1;
    bool selected = false;
    bool grabbed = false;
    // A chord press this program holds the pointer for; its raw twins are not delivered again.
    bool grabActive = false;
    bool motionPending = false;
    bool modifiersPending = false;
    std::uint64_t lastFlags = 0;

    bool anyLive() const {
        for (const auto& [token, tap] : taps)
            if (tap.onRunLoop) return true;
        return false;
    }

    bool deliver(MouseEvent event) {
        if (screens) event.location = screens->coordinates().topLeft(Rect{event.location, Size{}}).origin;
        std::vector<std::uint64_t> tokens;
        for (const auto& [token, tap] : taps)
            if (tap.onRunLoop && tap.enabled) tokens.push_back(token);
        bool swallowed = false;
        for (auto token : tokens) {
            auto it = taps.find(token);
            if (it == taps.end() || !it->second.callback) continue;
            platform::MouseTapCallback callback = it->second.callback;
            if (callback(event)) swallowed = true;
        }
        return swallowed;
    }

    struct Pointer {
        Point location;
        std::uint16_t mask = 0;
    };
    std::optional<Pointer> queryPointer() {
        auto guard = connection.lock();
        xcb_connection_t* c = connection.xcb();
        XcbReply<xcb_query_pointer_reply_t> reply(
            xcb_query_pointer_reply(c, xcb_query_pointer(c, connection.root()), nullptr));
        if (!reply) return std::nullopt;
        return Pointer{{double(reply->root_x), double(reply->root_y)}, reply->mask};
    }

    void setGrabs(bool on) {
        if (grabbed == on) return;
        grabbed = on;
        auto guard = connection.lock();
        xcb_connection_t* c = connection.xcb();
        constexpr std::uint16_t events =
            XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE | XCB_EVENT_MASK_BUTTON_MOTION;
        for (auto button : kGrabbedButtons)
            for (auto lock : kLockStates) {
                const auto modifiers = static_cast<std::uint16_t>(kChord | lock);
                if (on)
                    xcb_grab_button(c, 0, connection.root(), events, XCB_GRAB_MODE_SYNC, XCB_GRAB_MODE_ASYNC,
                                    XCB_WINDOW_NONE, XCB_CURSOR_NONE, button, modifiers);
                else
                    xcb_ungrab_button(c, button, connection.root(), modifiers);
            }
        xcb_flush(c);
    }

    void allow(std::uint8_t mode, xcb_timestamp_t time) {
        auto guard = connection.lock();
        xcb_allow_events(connection.xcb(), mode, time);
        xcb_flush(connection.xcb());
    }

    void post(const std::weak_ptr<State>& weak, std::function<void(State&)> work) {
        loop.post([weak, work = std::move(work)] {
            if (auto self = weak.lock()) work(*self);
        });
    }

    void rawButton(std::uint16_t type, std::uint32_t button, const std::weak_ptr<State>& weak) {
        post(weak, [type, button](State& self) {
            if (self.grabActive) return;
            auto pointer = self.queryPointer();
            if (!pointer) return;
            std::optional<MouseEvent> event;
            if (type == XCB_INPUT_RAW_BUTTON_PRESS) {
                // The grab reports this press itself, and only it can be swallowed.
                const bool chord = (pointer->mask & kCombinationMask) == kChord;
                if (chord && (button == 1 || button == 3 || button == 4 || button == 5)) return;
                event = pressEvent(button);
            } else if (auto t = releaseType(button)) {
                event = MouseEvent{*t, {}, 0, 0.0};
            }
            if (!event) return;
            event->location = pointer->location;
            event->flags = flagsOf(pointer->mask);
            self.deliver(*event);
        });
    }

    void rawMotion(const std::weak_ptr<State>& weak) {
        if (motionPending) return;
        motionPending = true;
        post(weak, [](State& self) {
            self.motionPending = false;
            if (self.grabActive) return;
            auto pointer = self.queryPointer();
            if (!pointer) return;
            self.deliver(MouseEvent{dragType(pointer->mask), pointer->location, flagsOf(pointer->mask), 0.0});
        });
    }

    void rawKey(const std::weak_ptr<State>& weak) {
        if (modifiersPending) return;
        modifiersPending = true;
        post(weak, [](State& self) {
            self.modifiersPending = false;
            auto pointer = self.queryPointer();
            if (!pointer) return;
            const std::uint64_t flags = flagsOf(pointer->mask);
            if (flags == self.lastFlags) return;
            self.lastFlags = flags;
            self.deliver(MouseEvent{MouseEventType::flagsChanged, pointer->location, flags, 0.0});
        });
    }

    void grabbedPress(const xcb_button_press_event_t& b, const std::weak_ptr<State>& weak) {
        grabActive = true;
        const auto time = b.time;
        auto event = pressEvent(b.detail);
        if (!event) {
            allow(XCB_ALLOW_REPLAY_POINTER, time);
            grabActive = false;
            return;
        }
        event->location = {double(b.root_x), double(b.root_y)};
        event->flags = flagsOf(b.state);
        // The pointer stays frozen until the verdict: the press must either be swallowed or go to the
        // window as if nothing had held it.
        post(weak, [event = *event, time](State& self) {
            if (self.deliver(event)) {
                self.allow(XCB_ALLOW_ASYNC_POINTER, time);
            } else {
                self.grabActive = false;
                self.allow(XCB_ALLOW_REPLAY_POINTER, time);
            }
        });
    }

    void grabbedRelease(const xcb_button_release_event_t& b, const std::weak_ptr<State>& weak) {
        // The state still shows the button being released; the grab ends with the last one.
        const std::uint16_t buttons = b.state & (XCB_BUTTON_MASK_1 | XCB_BUTTON_MASK_2 | XCB_BUTTON_MASK_3 |
                                                 XCB_BUTTON_MASK_4 | XCB_BUTTON_MASK_5);
        const std::uint16_t self = static_cast<std::uint16_t>(XCB_BUTTON_MASK_1 << (b.detail - 1));
        const bool last = b.detail >= 1 && b.detail <= 5 && (buttons & ~self) == 0;
        auto type = releaseType(b.detail);
        const MouseEvent event{type.value_or(MouseEventType::leftMouseUp),
                               {double(b.root_x), double(b.root_y)},
                               flagsOf(b.state),
                               0.0};
        post(weak, [event, deliverIt = type.has_value(), last](State& s) {
            if (last) s.grabActive = false;
            if (deliverIt) s.deliver(event);
        });
    }

    void grabbedMotion(const xcb_motion_notify_event_t& m, const std::weak_ptr<State>& weak) {
        const MouseEvent event{
            dragType(m.state), {double(m.root_x), double(m.root_y)}, flagsOf(m.state), 0.0};
        post(weak, [event](State& s) { s.deliver(event); });
    }

    void handle(const xcb_generic_event_t& e, const std::weak_ptr<State>& weak) {
        if (!anyLive()) return;
        switch (e.response_type & 0x7f) {
        case XCB_BUTTON_PRESS: {
            const auto& b = reinterpret_cast<const xcb_button_press_event_t&>(e);
            if (b.event == connection.root()) grabbedPress(b, weak);
            break;
        }
        case XCB_BUTTON_RELEASE: {
            const auto& b = reinterpret_cast<const xcb_button_release_event_t&>(e);
            if (b.event == connection.root()) grabbedRelease(b, weak);
            break;
        }
        case XCB_MOTION_NOTIFY: {
            const auto& m = reinterpret_cast<const xcb_motion_notify_event_t&>(e);
            if (m.event == connection.root() && grabActive) grabbedMotion(m, weak);
            break;
        }
        case XCB_GE_GENERIC: {
            const auto& ge = reinterpret_cast<const xcb_ge_generic_event_t&>(e);
            if (ge.extension != connection.xinputOpcode()) break;
            switch (ge.event_type) {
            case XCB_INPUT_RAW_BUTTON_PRESS:
            case XCB_INPUT_RAW_BUTTON_RELEASE:
                rawButton(ge.event_type,
                          reinterpret_cast<const xcb_input_raw_button_press_event_t&>(e).detail, weak);
                break;
            case XCB_INPUT_RAW_MOTION:
                rawMotion(weak);
                break;
            case XCB_INPUT_RAW_KEY_PRESS:
            case XCB_INPUT_RAW_KEY_RELEASE:
                rawKey(weak);
                break;
            default:
                break;
            }
            break;
        }
        default:
            break;
        }
    }
};

namespace {

class X11MouseTap final : public platform::MouseTap {
  public:
    X11MouseTap(std::weak_ptr<X11MouseTaps::State> state, std::uint64_t token)
        : state_(std::move(state)), token_(token) {}
    ~X11MouseTap() override {
        if (auto state = state_.lock()) {
            state->taps.erase(token_);
            if (!state->anyLive()) state->setGrabs(false);
        }
    }
    bool addToMainRunLoop() override {
        auto state = state_.lock();
        if (!state) return false;
        // Raw events stay selected once chosen: the key-down tap shares the root's selection.
        if (!state->selected) state->selected = state->connection.selectRootXInputEvents(kRawEvents, 0);
        if (!state->selected) return false;
        state->taps[token_].onRunLoop = true;
        state->setGrabs(true);
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
    std::weak_ptr<X11MouseTaps::State> state_;
    std::uint64_t token_;
};

} // namespace

X11MouseTaps::X11MouseTaps(X11Connection& connection, platform::RunLoop& loop, X11Screens* screens)
    : state_(std::make_shared<State>(connection, loop, screens)) {
    connection.addEventHandler([weak = std::weak_ptr<State>(state_)](const xcb_generic_event_t& e) {
        if (auto state = weak.lock()) state->handle(e, weak);
    });
}

X11MouseTaps::~X11MouseTaps() {
    state_->setGrabs(false);
}

std::unique_ptr<platform::MouseTap> X11MouseTaps::create(platform::MouseTapCallback callback) {
    if (!state_->connection.hasXInput2()) return nullptr;
    const std::uint64_t token = state_->nextToken++;
    state_->taps[token] = State::Tap{std::move(callback), false, false};
    return std::make_unique<X11MouseTap>(state_, token);
}

} // namespace korvane::x11
