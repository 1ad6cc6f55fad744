// The built program's zone highlight on a server where no compositing manager blends windows: over the
// zone a window is carried to with control+option, only its rim is drawn and the zone's windows stay in
// sight, also once a compositing manager that ran when the program first showed it has stopped. It stands
// over the main monitor's zone where another monitor holds the primary output. The picture, as the
// server shows it, is left under build/screenshots.
#include "ProgramOnX11.h"

#include "platform/Format.h"

#include <X11/keysym.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <thread>

namespace korvane::x11::test {
namespace {

constexpr const char* kHighlightTitle = "Korvane Zone Highlight";

// A client that claims the screen's compositing selection as a compositing manager does while it runs,
// and gives it up as one does that stops; the server holds no other trace of one.
class CompositorClaim {
  public:
    explicit CompositorClaim(const std::string& display) : c_(xcb_connect(display.c_str(), &screen_)) {
        const std::string name = "_NET_WM_CM_S" + std::to_string(screen_);
        auto* atom = xcb_intern_atom_reply(
            c_, xcb_intern_atom(c_, 0, static_cast<std::uint16_t>(name.size()), name.c_str()), nullptr);
        selection_ = atom ? atom->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(atom);
        const xcb_screen_t* root = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
        const xcb_window_t owner = xcb_generate_id(c_);
        xcb_create_window(c_, XCB_COPY_FROM_PARENT, owner, root->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
        xcb_set_selection_owner(c_, owner, selection_, XCB_CURRENT_TIME);
        roundTrip();
    }
    ~CompositorClaim() { xcb_disconnect(c_); }
    CompositorClaim(const CompositorClaim&) = delete;
    CompositorClaim& operator=(const CompositorClaim&) = delete;

    // Returns once the server has no owner of the selection.
    void release() {
        xcb_set_selection_owner(c_, XCB_WINDOW_NONE, selection_, XCB_CURRENT_TIME);
        roundTrip();
    }

  private:
    void roundTrip() { std::free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr)); }

    int screen_ = 0;
    xcb_connection_t* c_;
    xcb_atom_t selection_ = XCB_ATOM_NONE;
};

class ZoneHighlightProgramOnX11Test : public ProgramOnX11Test {
  protected:
    pid_t startAndWait() {
        const pid_t korvane = startKorvane();
        EXPECT_TRUE(waitForLine("[DisplayChange] handle end")) << logText();
        EXPECT_TRUE(waitForLine("[MouseEventTap] Started in SDP mode (XInput2 raw events, button grabs)"))
            << logText();
        return korvane;
    }
    void quit(pid_t korvane) {
        ::kill(korvane, SIGTERM);
        EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
    }
    // The pointer carried to a place in relative steps of some ten points, as a hand moves a mouse.
    void glide(Point to) {
        const Point from = session->pointer();
        const int steps = std::max(30, int(std::hypot(to.x - from.x, to.y - from.y) / 10));
        session->glidePointer(int(to.x), int(to.y), steps);
    }
    static void settle() { std::this_thread::sleep_for(std::chrono::milliseconds(250)); }
    // Whether the highlight comes to stand over the zone (root coordinates) while the hand stirs where it
    // is: a busy machine may hand the program a whole glide as one motion.
    bool highlightShows(const Rect& zone, Nanos timeout = seconds(20)) {
        int nudge = 20;
        return X11TestSession::waitFor(
            [&] {
                session->movePointerBy(nudge, 0);
                nudge = -nudge;
                const auto highlight = session->viewableWindowTitled(kHighlightTitle);
                return highlight && session->frameOf(*highlight) == zone;
            },
            timeout);
    }
    // The window picked up by its middle with control+option held and carried to a place in a zone,
    // until that zone lights up. A machine busy enough to hand the program the press before the keys is
    // met as a user meets a gesture that did not take: let go and carry it again.
    bool carry(xcb_window_t window, Point to, const Rect& zone) {
        for (int attempt = 0; attempt < 3; ++attempt) {
            session->fakeInput(XCB_KEY_PRESS, control());
            session->fakeInput(XCB_KEY_PRESS, alt());
            settle();
            const Rect grip = session->frameOf(window);
            glide({grip.midX(), grip.midY()});
            settle();
            session->fakeInput(XCB_BUTTON_PRESS, 1);
            settle();
            glide(to);
            if (highlightShows(zone, seconds(10))) return true;
            drop();
            X11TestSession::waitFor([&] { return !session->viewableWindowTitled(kHighlightTitle); });
        }
        return false;
    }
    void drop() {
        session->fakeInput(XCB_BUTTON_RELEASE, 1);
        session->fakeInput(XCB_KEY_RELEASE, alt());
        session->fakeInput(XCB_KEY_RELEASE, control());
    }
    xcb_keycode_t control() { return session->keycodeOf(XK_Control_L); }
    xcb_keycode_t alt() { return session->keycodeOf(XK_Alt_L); }

    const Rect left = kPrimaryLeftHalf, right = kPrimaryRightHalf; // the primary's two zones
    const Point rim{3300, right.minY() + 1}; // on the right zone's top edge, above every window
};

// The middle of a window, away from an xterm's cursor.
Rect innerPart(const Rect& frame) {
    return {frame.minX() + 60, frame.minY() + 80, frame.width() - 120, frame.height() - 120};
}

TEST_F(ZoneHighlightProgramOnX11Test, theHighlightOverACarriedWindowsZoneLeavesTheZonesXtermInSight) {
    startSession(true);
    const xcb_window_t under = xterm("Under", "80x30+3100+300"); // in the primary's right half
    const xcb_window_t notes = activeXterm("Notes", "60x20+2000+100");
    const pid_t korvane = startAndWait();
    const Rect inner = innerPart(session->frameOf(under));
    const auto untouched = session->rootPixels(inner);
    ASSERT_FALSE(untouched.empty());
    const std::uint32_t bareRim = session->rootPixel(int(rim.x), int(rim.y));

    ASSERT_TRUE(carry(notes, session->frameOf(under).center(), right)) << logText();
    // Its rim is drawn, and inside it the xterm shows as it did.
    EXPECT_TRUE(
        X11TestSession::waitFor([&] { return session->rootPixel(int(rim.x), int(rim.y)) != bareRim; }));
    EXPECT_TRUE(X11TestSession::waitFor([&] { return session->rootPixels(inner) == untouched; }))
        << "the highlight hides the zone's xterm";
    EXPECT_TRUE(session->saveScreenshot(right, picture("zone-highlight-carry-korvane.png")));
    drop();
    EXPECT_TRUE(comesToFill(notes, right)) << platform::describe(session->frameOf(notes)) << logText();
    quit(korvane);
}

TEST_F(ZoneHighlightProgramOnX11Test, aCompositorThatStopsBetweenTwoCarriesLeavesTheNextHighlightShaped) {
    startSession(true);
    const xcb_window_t under = xterm("Under", "80x30+3100+300");
    const xcb_window_t notes = activeXterm("Notes", "60x20+2000+100");
    CompositorClaim compositor(session->display());
    const pid_t korvane = startAndWait();
    const Rect inner = innerPart(session->frameOf(under));
    const auto untouched = session->rootPixels(inner);
    ASSERT_FALSE(untouched.empty());

    // Carried over the xterm while the compositor runs, then back and let go in its own zone.
    ASSERT_TRUE(carry(notes, session->frameOf(under).center(), right)) << logText();
    glide({2300, 500});
    ASSERT_TRUE(highlightShows(left)) << logText();
    drop();
    ASSERT_TRUE(X11TestSession::waitFor([&] { return !session->viewableWindowTitled(kHighlightTitle); }));

    compositor.release();
    ASSERT_TRUE(carry(notes, session->frameOf(under).center(), right)) << logText();
    EXPECT_TRUE(X11TestSession::waitFor([&] { return session->rootPixels(inner) == untouched; }))
        << "the highlight hides the zone's xterm";
    drop();
    quit(korvane);
}

// TOP over MAIN, MAIN holding the primary output: the highlight stands over the zone of TOP, the main
// monitor, that the window is carried to, at the start and once MAIN has been unplugged and plugged again.
TEST_F(ZoneHighlightProgramOnX11Test, theHighlightStandsOverTheMainMonitorsZoneNotOverThePrimaryOutputs) {
    startStackedSession();
    const xcb_window_t notes = activeXterm("Notes", "60x20+1100+200");
    const pid_t korvane = startAndWait();
    // The main monitor's halves below the corner button's strip.
    const Rect topLeft{kTopRoot.minX(), kCornerStrip, kTopRoot.width() / 2, kTopRoot.height() - kCornerStrip};
    const Rect topRight{kTopRoot.midX(), kCornerStrip, kTopRoot.width() / 2,
                        kTopRoot.height() - kCornerStrip};

    EXPECT_TRUE(carry(notes, topLeft.center(), topLeft))
        << platform::describe(session->frameOf(notes)) << logText();
    drop();
    EXPECT_TRUE(comesToFill(notes, topLeft)) << platform::describe(session->frameOf(notes)) << logText();

    ASSERT_NO_FATAL_FAILURE(unplugAndReplug(kMainName, kMainRoot));
    EXPECT_TRUE(carry(notes, topRight.center(), topRight))
        << platform::describe(session->frameOf(notes)) << logText();
    drop();
    EXPECT_TRUE(comesToFill(notes, topRight)) << platform::describe(session->frameOf(notes)) << logText();
    quit(korvane);
}

} // namespace
} // namespace korvane::x11::test
