// The mouse in the built `korvane` on a real X server, through XTest: a control+option press on an xterm,
// a drag with the button held and a release over the other half of the monitor put it into that zone;
// dragging its title bar (the window manager moves it) and letting go over a zone snaps it there; a plain
// click goes on to the window under the pointer as before.
#include "ProgramOnX11.h"

#include "platform/Format.h"

#include <X11/keysym.h>

#include <thread>

namespace korvane::x11::test {
namespace {

class MouseOnX11Test : public ProgramOnX11Test {
  protected:
    // The pointer goes from where it is to a place in relative steps, as a hand moves it.
    void glide(Point to) { session->glidePointer(int(to.x), int(to.y)); }
    void settle() { std::this_thread::sleep_for(std::chrono::milliseconds(250)); }
};

TEST_F(MouseOnX11Test, pickAndDropAndATitleBarDragPlaceTheXtermAndAPlainClickStillReachesIt) {
    startSession(true);
    const xcb_window_t notes = activeXterm("Notes", "60x20+2000+100"); // in the primary monitor's left half
    const pid_t korvane = startKorvane();
    ASSERT_TRUE(waitForLine("[DisplayChange] handle end")) << logText();
    ASSERT_TRUE(waitForLine("[MouseEventTap] Started in SDP mode (.defaultTap)")) << logText();
    ASSERT_TRUE(waitForLine("HotkeyManager: registering scene.save key=S")) << logText();
    const Rect left(1920, 0, 960, 1080), right(2880, 0, 960, 1080); // the primary's two zones

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
    const Rect placed = session->frameOf(notes);
    const Point bar{placed.midX(), placed.minY() + 8};
    session->movePointer(int(bar.x), int(bar.y));
    settle();
    session->fakeInput(XCB_BUTTON_PRESS, 1);
    glide({2300, 500});
    settle();
    session->fakeInput(XCB_BUTTON_RELEASE, 1);
    EXPECT_TRUE(comesToFill(notes, left)) << platform::describe(session->frameOf(notes)) << logText();

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

} // namespace
} // namespace korvane::x11::test
