// The mouse in the built `korvane` on a real X server, through XTest: a control+option press on an xterm,
// a drag with the button held and a release over the other half of the monitor put it into that zone;
// dragging its title bar (the window manager moves it) and letting go over a zone snaps it there; a plain
// click goes on to the window under the pointer as before. Resizing a window by its left border keeps
// the width it was dragged to, and a window closed while it is being dragged hands its snap to no other.
// A control+option press on a utility or splash window over an xterm carries neither.
// A window pushed to the other monitor leaves its zone on this one, which Shift at a release then fills
// with a plain push, as it does a zone whose windows lie on another desktop; an application on the
// exclusion list moves only by a drag begun on its window. A title-bar drag cancelled with Escape leaves
// the window where the window manager put it back. A maximised window's title bar dragged onto the other
// monitor snaps it into the zone there.
#include "ProgramOnX11.h"

#include "layouts/LayoutMemoryStore.h"
#include "platform/Format.h"

#include <X11/keysym.h>

#include <algorithm>
#include <cmath>
#include <thread>

namespace korvane::x11::test {
namespace {

class MouseOnX11Test : public ProgramOnX11Test {
  protected:
    // The pointer goes from where it is to a place in relative steps of some ten points, as a hand moves
    // it: a flick of thirty points a step can outrun the window manager, and the window then seems to
    // stay behind when the program judges the drag.
    void glide(Point to) {
        const Point from = session->pointer();
        const int steps = std::max(30, int(std::hypot(to.x - from.x, to.y - from.y) / 10));
        session->glidePointer(int(to.x), int(to.y), steps);
    }
    void settle() { std::this_thread::sleep_for(std::chrono::milliseconds(250)); }
    // The hand stirs the drag around where it is until the zone (root coordinates) under it lights up, as
    // a user does who waits for it before letting go: whether it did. (A busy machine can hand the program
    // a whole glide as one motion, so the stirring goes further than a drag must to count.)
    bool highlightShows(const Rect& zone) {
        int nudge = 40;
        return X11TestSession::waitFor(
            [&] {
                session->movePointerBy(nudge, 0);
                nudge = -nudge;
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                const auto highlight = session->viewableWindowTitled("Korvane Zone Highlight");
                return highlight && session->frameOf(*highlight) == zone;
            },
            seconds(10));
    }
    // The title bar taken by its middle and carried, the button held, to a place in a zone until that
    // zone lights up: whether it did. The program judges a drag by whether the window moves under it; one
    // too busy to look before the window manager has moved the window all the way sees nothing move, and
    // the drag does not take. As a user whose drag did not take, the hand lets go and drags again; by way
    // of a place higher up in the zone, for the window left where the last drag ended.
    bool carryByTitleBar(xcb_window_t window, Point to, const Rect& zone, Rect* began = nullptr) {
        for (int attempt = 0; attempt < 3; ++attempt) {
            const Rect frame = session->frameOf(window);
            if (began) *began = frame;
            glide({frame.midX(), frame.minY() + 8});
            settle();
            session->fakeInput(XCB_BUTTON_PRESS, 1);
            if (attempt > 0) glide({to.x, to.y - 150});
            glide(to);
            if (highlightShows(zone)) return true;
            session->fakeInput(XCB_BUTTON_RELEASE, 1);
        }
        return false;
    }
    // The title bar carried to a place in a zone, the button let go there once the zone shows.
    void dragTitleBar(xcb_window_t window, Point to, const Rect& zone) {
        EXPECT_TRUE(carryByTitleBar(window, to, zone)) << logText();
        session->fakeInput(XCB_BUTTON_RELEASE, 1);
    }
    // Whether a frame fills the zone as far as xterm's cells let it (see comesToFill()).
    static bool fills(const Rect& frame, const Rect& zone) {
        return frame.minX() == zone.minX() && frame.maxY() == zone.maxY() && frame.width() <= zone.width() &&
               frame.width() > zone.width() - 6 && frame.height() <= zone.height() &&
               frame.height() > zone.height() - 13;
    }
    static bool anyFills(const std::vector<Rect>& frames, const Rect& zone) {
        return std::any_of(frames.begin(), frames.end(), [&](const Rect& f) { return fills(f, zone); });
    }
    pid_t startAndWait() {
        const pid_t korvane = startKorvane();
        EXPECT_TRUE(waitForLine("[DisplayChange] handle end")) << logText();
        EXPECT_TRUE(waitForLine("[MouseEventTap] Started in SDP mode (XInput2 raw events, button grabs)"))
            << logText();
        EXPECT_TRUE(waitForLine("HotkeyManager: registering scene.save key=S")) << logText();
        return korvane;
    }
    void quit(pid_t korvane) {
        ::kill(korvane, SIGTERM);
        EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
    }

    // Control+option held, a window carried from one place to the middle of a zone, Shift added before
    // the release when asked.
    void carry(Point from, const Rect& zone, bool withShift) {
        const xcb_keycode_t control = session->keycodeOf(XK_Control_L), alt = session->keycodeOf(XK_Alt_L),
                            shift = session->keycodeOf(XK_Shift_L);
        session->fakeInput(XCB_KEY_PRESS, control);
        session->fakeInput(XCB_KEY_PRESS, alt);
        settle();
        glide(from);
        settle();
        session->fakeInput(XCB_BUTTON_PRESS, 1);
        settle();
        glide({zone.midX(), zone.midY()});
        EXPECT_TRUE(highlightShows(zone)) << logText();
        if (withShift) session->fakeInput(XCB_KEY_PRESS, shift);
        settle();
        session->fakeInput(XCB_BUTTON_RELEASE, 1);
        if (withShift) session->fakeInput(XCB_KEY_RELEASE, shift);
        session->fakeInput(XCB_KEY_RELEASE, alt);
        session->fakeInput(XCB_KEY_RELEASE, control);
    }

    const Rect left = kPrimaryLeftHalf, right = kPrimaryRightHalf; // the primary's two zones
};

TEST_F(MouseOnX11Test, pickAndDropAndATitleBarDragPlaceTheXtermAndAPlainClickStillReachesIt) {
    startSession(true);
    const xcb_window_t notes = activeXterm("Notes", "60x20+2000+100"); // in the primary monitor's left half
    const pid_t korvane = startKorvane();
    ASSERT_TRUE(waitForLine("[DisplayChange] handle end")) << logText();
    ASSERT_TRUE(waitForLine("[MouseEventTap] Started in SDP mode (XInput2 raw events, button grabs)"))
        << logText();
    ASSERT_TRUE(waitForLine("HotkeyManager: registering scene.save key=S")) << logText();

    // Control+option held, the xterm picked up and dropped on the right half.
    const xcb_keycode_t control = session->keycodeOf(XK_Control_L), alt = session->keycodeOf(XK_Alt_L);
    session->fakeInput(XCB_KEY_PRESS, control);
    session->fakeInput(XCB_KEY_PRESS, alt);
    settle();
    const Rect before = session->frameOf(notes);
    const Point grip{before.midX(), before.midY()};
    session->movePointer(int(grip.x), int(grip.y));
    settle();
    session->fakeInput(XCB_BUTTON_PRESS, 1);
    settle();
    glide({3300, 500});
    EXPECT_EQ(session->frameOf(notes), before) << "the window stays put while it is carried";
    session->fakeInput(XCB_BUTTON_RELEASE, 1);
    session->fakeInput(XCB_KEY_RELEASE, alt);
    session->fakeInput(XCB_KEY_RELEASE, control);
    EXPECT_TRUE(comesToFill(notes, right)) << platform::describe(session->frameOf(notes)) << logText();

    // Its title bar dragged by the window manager and let go over the left half.
    settle();
    dragTitleBar(notes, {2300, 500}, left);
    EXPECT_TRUE(comesToFill(notes, left)) << platform::describe(session->frameOf(notes)) << logText();
    // The displays were examined for the snap alone, not also as the drags began.
    EXPECT_GE(count("handle start reason=probe.immediate:drag-snap:DragSnapController.onBeforeSnap"), 1u);
    EXPECT_EQ(count("drag-snap:DragSnapController.onGestureActivated"), 0u) << logText();

    // Plain clicks move the focus between two xterms, as they did without Korvane. (The window manager
    // may keep a new window from taking the focus just after Korvane activated another: it is clicked.)
    const pid_t otherPid =
        session->start({"xterm", "-title", "Other", "-geometry", "40x10+3300+700", "-e", "cat"});
    std::optional<xcb_window_t> other;
    ASSERT_TRUE(X11TestSession::waitFor([&] { return (other = session->clientOf(otherPid)).has_value(); }));
    settle();
    const Rect otherFrame = session->frameOf(*other);
    session->click(int(otherFrame.midX()), int(otherFrame.midY()));
    ASSERT_TRUE(X11TestSession::waitFor([&] { return session->activeWindow() == *other; }, seconds(3)));
    const Rect now = session->frameOf(notes);
    session->click(int(now.midX()), int(now.midY()));
    EXPECT_TRUE(X11TestSession::waitFor([&] { return session->activeWindow() == notes; }, seconds(3)));
    EXPECT_TRUE(comesToFill(notes, left));

    ::kill(korvane, SIGTERM);
    EXPECT_EQ(describe(session->waitForExit(korvane, seconds(10))), "exit 0") << logText();
}

TEST_F(MouseOnX11Test, aWindowResizedByItsLeftBorderKeepsTheWidthDraggedToAndItsTitleBarStillSnaps) {
    startSession(true);
    const xcb_window_t notes = activeXterm("Notes", "60x20+2300+200"); // in the primary's left half
    const pid_t korvane = startAndWait();
    session->watchFrames(notes);

    // The left border (one pixel in the test theme) taken and drawn 300 points to the left, over the zone.
    const Rect before = session->frameOf(notes);
    glide({before.minX(), before.midY()});
    settle();
    session->fakeInput(XCB_BUTTON_PRESS, 1);
    glide({before.minX() - 300, before.midY() + 40});
    settle();
    session->fakeInput(XCB_BUTTON_RELEASE, 1);
    const auto resized = [&] {
        const Rect f = session->frameOf(notes);
        return f.maxX() == before.maxX() && f.height() == before.height() &&
               std::abs(f.width() - (before.width() + 300)) < 6; // xterm widths go by 6-point cells
    };
    EXPECT_TRUE(X11TestSession::waitFor(resized)) << platform::describe(session->frameOf(notes));

    // Its title bar dragged into the other zone snaps it there; by then the resize's release has long
    // been handled, and no frame the window was given in between filled the zone it was resized over.
    dragTitleBar(notes, {3300, 500}, right);
    EXPECT_TRUE(comesToFill(notes, right)) << platform::describe(session->frameOf(notes)) << logText();
    EXPECT_FALSE(anyFills(session->framesShown(), left)) << logText();
    quit(korvane);
}

TEST_F(MouseOnX11Test, aWindowClosedWhileItIsDraggedLeavesTheWindowUnderTheReleaseWhereItIs) {
    startSession(true);
    const xcb_window_t bystander = xterm("Bystander", "60x20+3000+300"); // in the primary's right half
    const pid_t notesPid =
        session->start({"xterm", "-title", "Notes", "-geometry", "60x20+2000+100", "-e", "cat"});
    std::optional<xcb_window_t> notes;
    ASSERT_TRUE(X11TestSession::waitFor([&] { return (notes = session->clientOf(notesPid)).has_value(); }));
    ASSERT_TRUE(X11TestSession::waitFor([&] { return session->activeWindow() == *notes; }));
    const pid_t korvane = startAndWait();
    session->watchFrames(bystander);
    const Rect standing = session->frameOf(bystander);

    // Notes carried by its title bar across the zones; it ends while the button is still held, and the
    // button comes up over the bystander in the right zone.
    ASSERT_TRUE(carryByTitleBar(*notes, {2600, 500}, left)) << logText();
    session->closeXterm({notesPid, *notes});
    glide({standing.midX(), standing.midY()});
    ASSERT_TRUE(highlightShows(right)) << logText();
    session->fakeInput(XCB_BUTTON_RELEASE, 1);

    // The bystander's own title-bar drag snaps it, after the closed drag's release was handled: until
    // then it never filled the right zone.
    if (session->activeWindow() != bystander) {
        ASSERT_TRUE(focusByClick(bystander));
    }
    dragTitleBar(bystander, {2300, 500}, left);
    EXPECT_TRUE(comesToFill(bystander, left)) << platform::describe(session->frameOf(bystander)) << logText();
    EXPECT_FALSE(anyFills(session->framesShown(), right)) << logText();
    quit(korvane);
}

// A utility window or a splash screen of another program lying over an xterm takes the press: a
// control+option carry started on it carries nothing, neither it nor the xterm beneath. Once it has gone,
// the same carry takes the xterm into the other zone.
TEST_F(MouseOnX11Test, aCarryStartedOnAUtilityOrSplashWindowOverAnXtermLeavesTheXtermWhereItIs) {
    startSession(true);
    const xcb_window_t notes = activeXterm("Notes", "60x20+2000+100"); // in the primary's left half
    const pid_t korvane = startKorvane({}, "debug");
    ASSERT_TRUE(waitForLine("[MouseEventTap] Started in SDP mode (XInput2 raw events, button grabs)"))
        << logText();
    ASSERT_TRUE(waitForLine("Scene Restore complete")) << logText();
    const Rect standing = session->frameOf(notes);
    const Rect overFrame{standing.minX() + 60, standing.minY() + 60, 200, 120};
    const Point grip{overFrame.midX(), overFrame.midY()};

    for (const char* type : {"_NET_WM_WINDOW_TYPE_UTILITY", "_NET_WM_WINDOW_TYPE_SPLASH"}) {
        SCOPED_TRACE(type);
        const xcb_window_t over = session->createTypedWindow(overFrame, "Over", type);
        ASSERT_TRUE(X11TestSession::waitFor([&] { return session->isClient(over); }));
        session->requestFrame(over, overFrame);
        ASSERT_TRUE(X11TestSession::waitFor([&] { return session->frameOf(over).contains(grip); }))
            << platform::describe(session->frameOf(over));
        const Rect overBefore = session->frameOf(over);
        EXPECT_TRUE(carryWithControlAndAlt(grip, {3300, 500})) << logText();
        EXPECT_EQ(session->frameOf(notes), standing) << platform::describe(session->frameOf(notes));
        EXPECT_EQ(session->frameOf(over), overBefore);
        session->destroyWindow(over);
        ASSERT_TRUE(X11TestSession::waitFor([&] { return !session->isClient(over); }));
    }

    EXPECT_TRUE(carryWithControlAndAlt(grip, {3300, 500})) << logText();
    EXPECT_TRUE(comesToFill(notes, right)) << platform::describe(session->frameOf(notes)) << logText();
    quit(korvane);
}

// Notes pushed into the primary's left zone and on to the other monitor's zone 1; Other carried into the
// primary's right zone, then with Control+option onto the left zone, Shift held at the release: the zone
// Notes left is empty, so Other is pushed there and Notes stays on the other monitor. The memory written at
// the quit holds each xterm once.
TEST_F(MouseOnX11Test, aShiftReleaseOntoTheZoneAWindowLeftForTheOtherMonitorIsAPlainPush) {
    startSession(true);
    const xcb_window_t other = activeXterm("Other", "60x20+3000+300");
    const xcb_window_t notes = activeXterm("Notes", "60x20+2000+100");
    const pid_t korvane = startAndWait();
    // The launch restore registers the hot keys again; a press on its way then is dropped.
    ASSERT_TRUE(waitForLine("Scene Restore complete")) << logText();
    press({XK_Control_L, XK_Alt_L, XK_1});
    ASSERT_TRUE(comesToFill(notes, left)) << platform::describe(session->frameOf(notes)) << logText();
    press({XK_Control_L, XK_Alt_L, XK_z});
    const Rect away{0, 0, 960, 900}; // zone 1 of the other monitor
    ASSERT_TRUE(comesToFill(notes, away)) << platform::describe(session->frameOf(notes)) << logText();
    session->watchFrames(notes);
    const Rect otherFrame = session->frameOf(other);
    carry({otherFrame.midX(), otherFrame.midY()}, right, false);
    ASSERT_TRUE(comesToFill(other, right)) << platform::describe(session->frameOf(other)) << logText();
    // The keys are pressed again once the program has seen them let go: not before its push, which ends
    // by bringing the xterm forward, is over.
    ASSERT_TRUE(
        X11TestSession::waitFor([&] { return count("AutoPush rid=2: _NET_ACTIVE_WINDOW request") > 0; }));
    settle();

    carry({right.midX(), right.midY()}, left, true);
    EXPECT_TRUE(comesToFill(other, left)) << platform::describe(session->frameOf(other)) << logText();
    EXPECT_TRUE(waitForLine("SwapPush: Target zone 1 empty, using regular push")) << logText();
    EXPECT_FALSE(anyFills(session->framesShown(), right)) << logText();
    EXPECT_TRUE(comesToFill(notes, away)) << platform::describe(session->frameOf(notes));
    quit(korvane);

    std::size_t slots = 0;
    const auto memory = nlohmann::json::parse(contents(home() / "layout-memory.json"));
    for (const auto& [key, entry] : LayoutMemoryStore::fromJSON(memory).map)
        for (const auto& [region, bundleIDs] : entry.regionToSlots)
            slots += bundleIDs.size();
    EXPECT_EQ(slots, 2u) << memory.dump();
}

// Two desktops. Hidden is pushed into the primary's right zone and sent to the second desktop, Notes into
// the left zone. Notes carried with Control+option onto the right zone, which looks empty, Shift held at
// the release: a plain push. Hidden stays where it was, on its desktop, and the user stays on the first
// desktop with the keyboard on Notes.
TEST_F(MouseOnX11Test, aShiftReleaseOntoAZoneWhoseWindowsLieOnAnotherDesktopIsAPlainPush) {
    startSession(true);
    session->setDesktopCount(2);
    const xcb_window_t hidden = activeXterm("Hidden", "60x20+3000+300");
    const xcb_window_t notes = activeXterm("Notes", "60x20+2000+100");
    const pid_t korvane = startAndWait();
    // The launch restore registers the hot keys again; a press on its way then is dropped.
    ASSERT_TRUE(waitForLine("Scene Restore complete")) << logText();
    std::size_t pushes = 0;
    for (const auto& [window, key] : {std::pair{notes, XK_1}, {hidden, XK_2}}) {
        ASSERT_TRUE(focusByClick(window));
        press({XK_Control_L, XK_Alt_L, std::uint32_t(key)});
        ASSERT_TRUE(comesToFill(window, key == XK_1 ? left : right)) << logText();
        // The push brings its window forward; a press elsewhere before it ends would lose to it.
        ASSERT_TRUE(pushesEnd(++pushes)) << logText();
    }
    session->sendToDesktop(hidden, 1);
    const Rect hiddenFrame = session->frameOf(hidden);
    ASSERT_TRUE(focusByClick(notes));
    session->watchFrames(hidden);

    carry({left.midX(), left.midY()}, right, true);
    EXPECT_TRUE(comesToFill(notes, right)) << platform::describe(session->frameOf(notes)) << logText();
    EXPECT_TRUE(
        waitForLine("SwapPush: Target zone 2 shows no window on the desktop shown, using regular push"))
        << logText();
    // Longer than a swap took to bring the window it moved forward.
    const Nanos watched = monotonic() + seconds(2);
    while (monotonic() < watched) {
        ASSERT_EQ(session->currentDesktop(), 0u) << logText();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(session->activeWindow(), notes);
    EXPECT_FALSE(anyFills(session->framesShown(), left)) << logText();
    EXPECT_EQ(session->frameOf(hidden), hiddenFrame);
    EXPECT_EQ(session->desktopOf(hidden), 1u);
    quit(korvane);
}

// The xterm has the keyboard and its application is on the drag-to-zone exclusion list. A drag begun on
// the empty desktop and a drag of an xcalc's title bar, both let go over the right zone, leave it where
// it stands; a drag of its own title bar snaps it.
TEST_F(MouseOnX11Test, anExcludedApplicationsWindowMovesOnlyByADragBegunOnIt) {
    startSession(true);
    fs::create_directories(home());
    std::ofstream(home() / "user-defaults.json") << R"({"DragSnapBlacklist":["xterm","debian-xterm"]})";
    session->start({"xcalc", "-geometry", "+3300+650"}); // low in the primary's right half
    std::optional<xcb_window_t> calc;
    // xcalc does not name its process on its window; it is known by its title.
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        calc = session->viewableWindowTitled("Calculator");
        return calc && session->isClient(*calc);
    }));
    const xcb_window_t notes = xterm("Notes", "60x20+2000+100"); // in the primary's left half
    ASSERT_TRUE(focusByClick(notes));
    const pid_t korvane = startAndWait();
    session->watchFrames(notes);
    const Rect standing = session->frameOf(notes);
    // Let go over the right zone with the button held a while, the zone lit had the drag counted.
    auto dragFrom = [&](Point begin) {
        glide(begin);
        settle();
        session->fakeInput(XCB_BUTTON_PRESS, 1);
        glide({3000, 400});
        highlightShows(right);
        session->fakeInput(XCB_BUTTON_RELEASE, 1);
        settle();
    };

    dragFrom({2400, 900}); // the desktop below the xterm
    EXPECT_EQ(session->activeWindow(), notes) << "the xterm kept the keyboard";
    const Rect calcFrame = session->frameOf(*calc);
    dragFrom({calcFrame.midX(), calcFrame.minY() + 8});
    EXPECT_EQ(session->frameOf(notes), standing);

    // Its own title bar, within the left zone: by the time that zone lights up, the releases before were
    // long handled.
    dragTitleBar(notes, {2300, 500}, left);
    EXPECT_TRUE(comesToFill(notes, left)) << platform::describe(session->frameOf(notes)) << logText();
    EXPECT_FALSE(anyFills(session->framesShown(), right)) << logText();
    quit(korvane);
}

// Notes carried by its title bar over the right zone, which lights up; Escape, the button still held, has
// the window manager put it back where the move began, and the highlight goes without the hand moving.
// Let go, the window stays there: by the time a later drag of it into the left zone has snapped, no frame
// it was given filled the right zone.
TEST_F(MouseOnX11Test, aTitleBarDragCancelledWithEscapeLeavesTheWindowWhereTheWindowManagerPutItBack) {
    startSession(true);
    const xcb_window_t notes = activeXterm("Notes", "60x20+2300+200"); // in the primary's left half
    const pid_t korvane = startAndWait();
    session->watchFrames(notes);

    Rect began;
    ASSERT_TRUE(carryByTitleBar(notes, {3300, 500}, right, &began)) << logText();
    const xcb_keycode_t escape = session->keycodeOf(XK_Escape);
    session->fakeInput(XCB_KEY_PRESS, escape);
    session->fakeInput(XCB_KEY_RELEASE, escape);
    EXPECT_TRUE(X11TestSession::waitFor([&] { return session->frameOf(notes) == began; }))
        << platform::describe(session->frameOf(notes));
    EXPECT_TRUE(X11TestSession::waitFor(
        [&] { return !session->viewableWindowTitled("Korvane Zone Highlight"); }, seconds(10)))
        << logText();
    session->fakeInput(XCB_BUTTON_RELEASE, 1);

    dragTitleBar(notes, {2300, 500}, left);
    EXPECT_TRUE(comesToFill(notes, left)) << platform::describe(session->frameOf(notes)) << logText();
    EXPECT_FALSE(anyFills(session->framesShown(), right)) << logText();
    quit(korvane);
}

// A maximised xterm's title bar dragged onto the other monitor's zone 1 and let go there snaps the xterm
// into that zone, out of the maximised state, as the same drag within one monitor does.
TEST_F(MouseOnX11Test, aMaximisedWindowDraggedByItsTitleBarOntoTheOtherMonitorSnapsThere) {
    startSession(true);
    const xcb_window_t notes = activeXterm("Notes", "60x20+2000+100"); // in the primary's left half
    const pid_t korvane = startAndWait();
    ASSERT_TRUE(waitForLine("Scene Restore complete")) << logText();
    session->maximize(notes);
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        return session->frameOf(notes).width() == kPrimaryRoot.width();
    })) << platform::describe(session->frameOf(notes));

    // One drag, the hand waiting at the zone for its highlight before letting go: a second drag would
    // start from wherever the first one left the window.
    const Rect frame = session->frameOf(notes);
    glide({frame.midX(), frame.minY() + 8});
    settle();
    session->fakeInput(XCB_BUTTON_PRESS, 1);
    glide({480, 450});
    highlightShows(kSideZone1);
    session->fakeInput(XCB_BUTTON_RELEASE, 1);
    EXPECT_TRUE(comesToFill(notes, kSideZone1)) << platform::describe(session->frameOf(notes)) << logText();
    const auto states = session->atomNames(notes, "_NET_WM_STATE");
    EXPECT_EQ(std::find(states.begin(), states.end(), "_NET_WM_STATE_MAXIMIZED_VERT"), states.end());
    quit(korvane);
}

} // namespace
} // namespace korvane::x11::test
