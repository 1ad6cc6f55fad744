// The accessibility model of the real desktop: an application element per client pid, a window element
// per managed top-level (token = the client's X window id), and the system-wide element. Every call asks
// the server afresh for what it needs (a position read fetches the geometry only), so a window that
// vanished answers invalidUIElement at once, from any thread; only the private "_AXWindow" number is
// read from the element itself and outlives its window. What a call on one window costs does not grow
// with the windows around it: whether the window is managed is looked up in the client list as last
// read rather than read whole each time, and only the top of the stacking order is read to raise it.
#pragma once

#include "platform/Accessibility.h"
#include "platform/RunLoop.h"
#include "platform/x11/X11ClientList.h"
#include "platform/x11/X11ClientSnapshot.h"
#include "platform/x11/X11Query.h"

#include <xcb/xcb.h>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <tuple>

namespace korvane::x11 {

class X11Connection;
class X11Observers;
class X11Screens;

class X11Accessibility final : public platform::Accessibility {
  public:
    // An application's windows are read through the turn's snapshot of the clients.
    X11Accessibility(X11Connection& connection, X11ClientSnapshot& snapshot, platform::RunLoop& loop,
                     X11Observers& observers, X11Screens& screens);
    // Sends a size still waiting for its position, without waiting for it.
    ~X11Accessibility() override;

    platform::AXElement applicationElement(pid_t pid) override;
    platform::AXElement systemWideElement() override;
    platform::AXError copyAttribute(const platform::AXElement& element, const std::string& attribute,
                                    platform::AXValue& out) override;
    // Returns once the server shows the result, except for "AXSize": that is held for the "AXPosition"
    // that usually follows, and applied with it, before any other call on the window, before a window
    // list, or shortly after on the main run loop; and except for the focus ("AXMain", "AXFocused", an
    // application's "AXFrontmost"), un-minimising and showing a window's desktop (kOtherDesktopAttribute
    // written false), which return once the window manager is asked. A window manager alone carries out
    // a move or a focus: without one, a write that would change something answers apiDisabled, at once
    // or as soon as the window manager is seen gone while the write waits.
    // A maximised or full-screen window moved or resized leaves those states, as a window sent into a
    // tile does.
    platform::AXError setAttribute(const platform::AXElement& element, const std::string& attribute,
                                   const platform::AXValue& value) override;
    // Sends the window manager one request for the whole frame.
    platform::AXError requestFrame(const platform::AXElement& window, std::optional<Point> position,
                                   std::optional<Size> size) override;
    // A window's "AXMain" and "AXFocused" are settable when the window takes the keyboard focus; its
    // place, size, minimised state, parking mark and desktop (kOtherDesktopAttribute) always; an
    // application's "AXFrontmost".
    platform::AXError isAttributeSettable(const platform::AXElement& element, const std::string& attribute,
                                          bool& settable) override;
    // kGrantedSizeAttribute: the frame size the window manager grants for a frame size asked, from the
    // client's size hints (WM_NORMAL_HINTS) and the frame's decorations, as a write of "AXSize" asks it.
    platform::AXError copyParameterizedAttribute(const platform::AXElement& element,
                                                 const std::string& attribute,
                                                 const platform::AXValue& parameter,
                                                 platform::AXValue& out) override;
    // "AXRaise" activates the window, or raises it alone when it takes no keyboard focus or lies on a
    // desktop not shown (it shows no other desktop); it returns once the window manager is asked, without
    // waiting to see the window in front. Focusing a window ("AXMain", "AXFocused", an application's
    // "AXFrontmost") on a desktop not shown shows its desktop first, as a pager does; a window kept below
    // the others that is focused leaves that state, so that the window with the keyboard is in view.
    platform::AXError performAction(const platform::AXElement& element, const std::string& action) override;
    platform::AXError pidOf(const platform::AXElement& element, pid_t& out) override;
    // Bounds how long a write waits for the window manager to carry it out (default 0.5 s); set on
    // the system-wide element, it applies to every element without one of its own.
    platform::AXError setMessagingTimeout(const platform::AXElement& element, float seconds) override;
    // Trusted while an EWMH window manager runs: without one nothing can be moved or focused.
    bool isProcessTrusted() override;
    std::shared_ptr<platform::AXObserver> createObserver(pid_t pid, platform::AXObserver::Callback callback,
                                                         platform::AXError& error) override;

    // Success for an element that still exists, else invalidUIElement (or illegalArgument).
    platform::AXError validate(const platform::AXElement& element);
    // Applies every size still waiting for its position; for readers of frames outside this model.
    void applyPendingSizes();
    // From now on no write waits for the window manager, and a wait under way ends at its next look: the
    // program is quitting, and nothing that waits is to hold it up. Safe in a signal handler.
    void endWaits() noexcept { waitsEnded_.store(true); }

    // The application's name for "AXTitle"; set by the desktop from the workspace's knowledge.
    std::function<std::optional<std::string>(pid_t)> applicationName;

  private:
    // A window element resolved against the server: the parts of the window that a call needs, and
    // where the global spaces lie.
    struct Window {
        ClientWindow client;
        xcb_window_t active = XCB_WINDOW_NONE; // read only when asked for
        Coordinates coordinates;
        platform::AXElement element;
    };
    platform::AXError resolveWindow(const platform::AXElement& element, unsigned parts, Window& out,
                                    bool withActive = false);
    platform::AXError readWindow(const platform::AXElement& element, const std::string& attribute,
                                 platform::AXValue& out);
    platform::AXError readApplication(pid_t pid, const std::string& attribute, platform::AXValue& out);
    platform::AXError readSystemWide(const std::string& attribute, platform::AXValue& out);

    platform::AXError writeWindow(const platform::AXElement& element, const std::string& attribute,
                                  const platform::AXValue& value);
    platform::AXError writeApplication(pid_t pid, const std::string& attribute,
                                       const platform::AXValue& value);
    // A size is held back until the position that usually follows it (or anything else done to the
    // window, or a moment later), so that both reach the window manager as one request.
    platform::AXError holdSize(const platform::AXElement& element, const platform::AXValue& value);
    std::optional<Size> takePendingSize(const platform::AXElement& element);
    void applyPendingSize(const platform::AXElement& element);
    // Moves and/or resizes the frame (root coordinates), taking the window out of the maximised and
    // full-screen states first, and with `untilShown` waits until the window manager is done.
    platform::AXError placeFrame(Window& w, std::optional<Point> origin, std::optional<Size> size,
                                 bool untilShown);
    // Takes a maximised or full-screen window out of those states and waits until the window manager
    // has framed it anew, then reads the window again into `w`: its frame extents out of those states
    // are what a frame asked for it is reckoned from. Also for a request that does not wait otherwise.
    platform::AXError leaveHeldStates(Window& w);
    // Asks the window manager to make the window the active one (its desktop shown, out of the state of
    // a window kept below), and returns: a client may ask for the keyboard and never take it, and a wait
    // for it would keep every key pressed meanwhile waiting.
    // The window is noted as its process's window brought forward (X11ClientSnapshot::broughtForward).
    platform::AXError activate(xcb_window_t window, pid_t pid);
    // Asks the window manager to put a window that takes no keyboard focus in front, as a pager does:
    // it never makes such a window the active one, so activating it would be asking in vain.
    platform::AXError raiseAlone(xcb_window_t window, pid_t pid);
    // Whether `window` is where activating or raising it would put it: shown, and below nothing but what
    // the window manager keeps above ordinary windows.
    bool alreadyInFront(xcb_window_t window, const StackingTop& stacking);
    // Un-minimising is asked for and not waited for: a window whose desktop is not shown becomes normal
    // only once its desktop shows. Minimising waits for the window manager as the other writes do.
    platform::AXError setMinimized(Window& w, bool minimized);
    // Whether the user minimised the window (its kind part and WM_STATE read): iconic, and not only for
    // lying on a desktop not shown.
    bool minimizedByUser(const ClientWindow& c, xcb_window_t window);
    // Puts the parking mark on the window at the frame it has now (holding whether the window was
    // maximised before it was parked), or takes it away.
    platform::AXError setParkingMark(Window& w, bool marked, bool wasMaximized);
    // How a wait for the server to show a request's result ended: the window manager does not answer
    // a request it refuses, and one that died answers none.
    enum class Wait { met, timedOut, noWindowManager, broken };
    // Polls `condition` until it holds, `limit` has passed (or waits were ended, which counts the same),
    // the connection broke or no window manager runs any more.
    Wait waitUntil(const std::function<bool()>& condition, Nanos limit);
    // What a write answers for the end of its wait: success once met, `timedOut` at the limit,
    // apiDisabled once no window manager runs, cannotComplete on a broken connection.
    static platform::AXError resultOf(Wait wait, platform::AXError timedOut);
    Nanos waitLimit(const platform::AXElement& element);
    // The window an application would focus: its active one, else its frontmost window not minimised.
    std::optional<xcb_window_t> preferredWindow(pid_t pid, const ClientSnapshot& snapshot,
                                                bool allowMinimized);
    bool processExists(pid_t pid) const;

    X11Connection& connection_;
    platform::RunLoop& loop_;
    X11Observers& observers_;
    X11Screens& screens_;
    X11ClientList clients_;
    X11ClientSnapshot& snapshot_;
    // The stacking order's length when last read, for reading only its top.
    std::atomic<std::uint32_t> stackingLength_{0};
    std::mutex timeoutMutex_;
    std::map<std::tuple<int, pid_t, std::uint64_t>, Nanos> timeouts_;
    std::optional<Nanos> globalTimeout_;
    std::atomic<bool> waitsEnded_{false};
    static_assert(std::atomic<bool>::is_always_lock_free, "set inside signal handlers");
    // Sizes held back, by window; shared with the delayed blocks that apply them, which do nothing once
    // the model is gone.
    struct PendingSizes {
        std::mutex mutex;
        std::map<xcb_window_t, std::pair<platform::AXElement, Size>> sizes;
    };
    std::shared_ptr<PendingSizes> pending_ = std::make_shared<PendingSizes>();
};

} // namespace korvane::x11
