// The accessibility model on a real X server: reading an xterm's attributes, moving and resizing it
// within its size increments (a size waiting for its position), also out of the maximised and full-screen
// states, a frame asked without a wait, writes that stop waiting once the program quits, raising and
// focusing (also the active window once another was raised over it, and a window kept below), minimising
// by WM_STATE and un-minimising without a wait, windows on a desktop not shown, closed windows, titles cut
// to their limit, calls from a background queue, and the parking mark, which lasts while the window keeps
// its frame. Its observers:
// title change and destruction of a window arrive in order on the main thread; the registration rules
// hold; a dropped or unregistered observer hears nothing. Focus changes made with the mouse are reported
// in the focus test of tests/x11.
#include "X11Fixture.h"

#include "platform/Format.h"
#include "platform/WindowServer.h"
#include "platform/x11/X11Query.h"

#include <atomic>
#include <chrono>
#include <thread>
#include <tuple>

namespace korvane::x11::test {
namespace {

using namespace platform;

template <class T> T read(Accessibility& ax, const AXElement& e, const std::string& attribute) {
    AXValue v;
    EXPECT_EQ(ax.copyAttribute(e, attribute, v), AXError::success) << attribute;
    const T* value = std::get_if<T>(&v);
    EXPECT_NE(value, nullptr) << attribute << " has another type";
    return value ? *value : T{};
}

using X11AccessibilityTest = X11Test;

TEST_F(X11AccessibilityTest, anXtermReadsAsAStandardWindowOfItsApplicationFromAnyThread) {
    const auto x = xterm("Reading");
    auto& ax = desktop->accessibility();
    const AXElement app = ax.applicationElement(x.pid);
    const auto windows = read<std::vector<AXElement>>(ax, app, "AXWindows");
    ASSERT_EQ(windows.size(), 1u);
    const AXElement w = elementOf(x);
    EXPECT_EQ(windows[0], w);
    EXPECT_EQ(read<std::string>(ax, app, "AXRole"), "AXApplication");
    EXPECT_EQ(read<std::string>(ax, app, "AXTitle"), kSampleName);
    EXPECT_EQ(read<std::string>(ax, w, "AXRole"), "AXWindow");
    EXPECT_EQ(read<std::string>(ax, w, "AXSubrole"), "AXStandardWindow");
    EXPECT_EQ(read<std::string>(ax, w, "AXTitle"), "Reading");
    EXPECT_EQ(read<double>(ax, w, "AXWindowNumber"), static_cast<double>(x.window));
    EXPECT_FALSE(read<bool>(ax, w, "AXFullscreen"));
    const Rect frame = session().frameOf(x.window);
    EXPECT_EQ(read<Point>(ax, w, "AXPosition"), (Point{frame.origin.x - 1920, frame.origin.y}));
    EXPECT_EQ(read<Size>(ax, w, "AXSize"), frame.size);
    pid_t pid = 0;
    EXPECT_EQ(ax.pidOf(w, pid), AXError::success);
    EXPECT_EQ(pid, x.pid);
    AXValue v;
    EXPECT_EQ(ax.copyAttribute(w, "AXNoSuchThing", v), AXError::attributeUnsupported);
    EXPECT_EQ(ax.setMessagingTimeout(w, -1.0f), AXError::illegalArgument);

    // From a background queue, while the main thread keeps handling events.
    std::atomic<bool> done{false};
    bool onMain = true;
    AXError moved = AXError::failure;
    std::size_t listed = 0;
    desktop->runLoop().dispatchGlobal(QueueQoS::Utility, [&] {
        onMain = desktop->runLoop().isMainThread();
        moved = ax.setAttribute(w, "AXPosition", Point{300, 200});
        listed = desktop->windowServer().copyWindowInfo(kOnScreenOnly)->size();
        ax.copyAttribute(w, "AXPosition", v);
        done = true;
    });
    ASSERT_TRUE(runUntil([&] { return done.load(); }));
    EXPECT_FALSE(onMain);
    EXPECT_EQ(moved, AXError::success);
    EXPECT_EQ(listed, 1u);
    EXPECT_EQ(v, AXValue(Point{300, 200}));
}

TEST_F(X11AccessibilityTest, framesAreSetWithinTheSizeIncrementAndASizeWaitsForItsPosition) {
    const auto x = xterm("Moving");
    auto& ax = desktop->accessibility();
    const AXElement w = elementOf(x);
    // Onto the secondary monitor, which lies at negative x in the top-left space; read back at once:
    // the call returned after the window manager had done it.
    ASSERT_EQ(ax.setAttribute(w, "AXSize", Size{601, 415}), AXError::success);
    ASSERT_EQ(ax.setAttribute(w, "AXPosition", Point{-1500, 120}), AXError::success);
    EXPECT_EQ(read<Point>(ax, w, "AXPosition"), (Point{-1500, 120}));
    const Size size = read<Size>(ax, w, "AXSize");
    EXPECT_TRUE(withinCell(size, {601, 415})) << size.width << "x" << size.height;
    EXPECT_EQ(session().frameOf(x.window), Rect(420, 120, size.width, size.height));

    // Asking for the frame it already has changes nothing and does not wait.
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(ax.setAttribute(w, "AXSize", size), AXError::success);
    ASSERT_EQ(ax.setAttribute(w, "AXPosition", Point{-1500, 120}), AXError::success);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
    EXPECT_EQ(ax.setAttribute(w, "AXPosition", Size{1, 1}), AXError::illegalArgument);

    // A size set alone is applied by a read, a window list, or the main loop a moment later.
    const std::tuple<const char*, Size, std::function<void()>> rows[] = {
        {"a read", {500, 300}, [&] { read<std::string>(ax, w, "AXTitle"); }},
        {"a window list", {450, 350}, [&] { desktop->windowServer().copyWindowInfo(kOnScreenOnly); }},
        {"the main loop",
         {400, 250},
         [&] { runUntil([&] { return session().frameOf(x.window).size.width <= 400; }, milliseconds(500)); }},
    };
    for (const auto& [by, asked, then] : rows) {
        ASSERT_EQ(ax.setAttribute(w, "AXSize", asked), AXError::success);
        then();
        const Size now = session().frameOf(x.window).size;
        EXPECT_TRUE(withinCell(now, asked)) << by << ": " << now.width << "x" << now.height;
    }

    // The window manager keeps a full-screen or maximised window over its monitor: given a frame, such a
    // window leaves that state for it, as a window sent into a tile does.
    const auto full = xterm("Full", "60x20+2000+100", {"-fullscreen"});
    const auto big = xterm("Big", "60x20+2000+400");
    session().maximize(big.window);
    const Rect primary(1920, 0, 1920, 1080);
    ASSERT_TRUE(runUntil([&] {
        return session().frameOf(full.window) == primary &&
               session().frameOf(big.window).width() == primary.width();
    }));
    for (const auto& x : {full, big}) {
        const AXElement e = elementOf(x);
        ASSERT_EQ(ax.setAttribute(e, "AXSize", Size{601, 415}), AXError::success);
        EXPECT_EQ(ax.setAttribute(e, "AXPosition", Point{100, 100}), AXError::success);
        EXPECT_EQ(read<Point>(ax, e, "AXPosition"), (Point{100, 100}));
        const Size placed = read<Size>(ax, e, "AXSize");
        EXPECT_TRUE(withinCell(placed, {601, 415})) << placed.width << "x" << placed.height;
        for (const auto& state : session().atomNames(x.window, "_NET_WM_STATE"))
            EXPECT_TRUE(state.find("MAXIMIZED") == std::string::npos &&
                        state.find("FULLSCREEN") == std::string::npos)
                << state;
    }
}

// A frame asked without a wait is sent at once, however slow the window manager (here stopped), and
// shows once the window manager carries it out.
TEST_F(X11AccessibilityTest, aFrameRequestedReturnsAtOnceAndShowsOnceTheWindowManagerCarriesItOut) {
    const auto x = xterm("Requested");
    auto& ax = desktop->accessibility();
    const AXElement w = elementOf(x);
    const Rect before = session().frameOf(x.window);
    const WindowManagerStopped stopped(session());
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(ax.requestFrame(w, Point{-1500, 120}, Size{601, 415}), AXError::success);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
    EXPECT_EQ(session().frameOf(x.window), before);
    session().pauseWindowManager(false);
    EXPECT_TRUE(runUntil([&] {
        const Rect frame = session().frameOf(x.window);
        return frame.origin == Point{420, 120} && withinCell(frame.size, {601, 415});
    })) << platform::describe(session().frameOf(x.window));
}

// Once the program quits, no write waits for a window manager that does not answer (stopped): one
// waiting ends at once, and every one after it returns without a wait, whatever the wait limit.
TEST_F(X11AccessibilityTest, endingTheWaitsLetsWritesToAStoppedWindowManagerReturnAtOnce) {
    const auto x = xterm("Waiting");
    auto& ax = desktop->accessibility();
    const AXElement w = elementOf(x);
    ASSERT_EQ(ax.setMessagingTimeout(w, 10.0f), AXError::success);
    const WindowManagerStopped stopped(session());
    std::thread quit([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        desktop->endWaits();
    });
    auto start = std::chrono::steady_clock::now();
    ax.setAttribute(w, "AXPosition", Point{-1500, 120});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    quit.join();
    start = std::chrono::steady_clock::now();
    ax.setAttribute(w, "AXPosition", Point{-1400, 220});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
}

// A size waits for its position; a program that quits before the position comes sends neither, rather
// than a size alone that grows the window where it stands, half a move.
TEST_F(X11AccessibilityTest, aSizeStillWaitingForItsPositionAtQuitIsNotSentAlone) {
    const auto x = xterm("Held");
    const Rect before = session().frameOf(x.window);
    {
        const WindowManagerStopped stopped(session());
        ASSERT_EQ(desktop->accessibility().setAttribute(elementOf(x), "AXSize", Size{901, 715}),
                  AXError::success);
        desktop.reset();
    }
    // The window manager takes in its requests in order: once a frame asked after the quit shows, it has
    // done whatever it does with what the program asked.
    reconnect();
    const xcb_window_t probe = session().createWindow(Rect{2200, 300, 100, 80}, "Probe");
    ASSERT_TRUE(runUntil([&] { return session().isClient(probe); }));
    const Rect marker{2400, 400, 120, 90};
    session().requestFrame(probe, marker);
    ASSERT_TRUE(runUntil([&] { return session().frameOf(probe) == marker; }, seconds(30)));
    EXPECT_EQ(session().frameOf(x.window), before) << platform::describe(session().frameOf(x.window));
}

TEST(SizeHints, aRequestedSizeSnapsDownToWholeIncrementsWithinTheLimits) {
    const SizeHints xterm{4, 4, 6, 13, 10, 17}; // as xterm declares itself: cells of 6 × 13 over 4 × 4
    const std::pair<Size, Size> rows[] = {
        {{484, 316}, {484, 316}}, // exactly on a step
        {{489, 328}, {484, 316}}, // just below the next step
        {{490, 329}, {490, 329}}, // exactly the next step
        {{1, 1}, {10, 17}},       // below the minimum
    };
    for (const auto& [asked, expected] : rows)
        EXPECT_EQ(xterm.constrain(asked.width, asked.height), expected) << asked.width << "x" << asked.height;
    EXPECT_EQ((SizeHints{0, 0, 1, 1, 0, 0, 300, 200}.constrain(1000, 100)), (Size{300, 100}));
}

TEST_F(X11AccessibilityTest, raisingMinimisingAndClosingShowInTheAttributes) {
    const auto a = xterm("Terminal A");
    const auto b = xterm("Terminal B", "60x20+2300+200");
    ASSERT_TRUE(X11TestSession::waitFor([&] { return session().activeWindow() == b.window; }));
    auto& ax = desktop->accessibility();
    const AXElement wa = elementOf(a), wb = elementOf(b), appA = ax.applicationElement(a.pid),
                    appB = ax.applicationElement(b.pid);
    // An application that is not frontmost still has a window it would focus.
    EXPECT_EQ(read<AXElement>(ax, appA, "AXFocusedWindow"), wa);

    // Asked for, not waited for: the window manager carries it out a moment later.
    ASSERT_EQ(ax.performAction(wa, "AXRaise"), AXError::success);
    ASSERT_TRUE(X11TestSession::waitFor([&] { return session().activeWindow() == a.window; }));
    EXPECT_TRUE(read<bool>(ax, wa, "AXMain"));
    EXPECT_TRUE(read<bool>(ax, wa, "AXFocused"));
    EXPECT_FALSE(read<bool>(ax, wb, "AXFocused"));
    EXPECT_TRUE(read<bool>(ax, appA, "AXFrontmost"));
    EXPECT_FALSE(read<bool>(ax, appB, "AXFrontmost"));
    EXPECT_EQ(read<AXElement>(ax, ax.systemWideElement(), "AXFocusedUIElement"), wa);
    EXPECT_EQ(read<AXElement>(ax, ax.systemWideElement(), "AXFocusedApplication"), appA);

    // The active window announces nothing when activated again: the call must not wait for it.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ax.performAction(wa, "AXRaise"), AXError::success);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));

    // Focusing through the attributes, and through the application.
    ASSERT_EQ(ax.setAttribute(wb, "AXMain", true), AXError::success);
    EXPECT_TRUE(X11TestSession::waitFor([&] { return session().activeWindow() == b.window; }));
    ASSERT_EQ(ax.setAttribute(appA, "AXFrontmost", true), AXError::success);
    EXPECT_TRUE(X11TestSession::waitFor([&] { return session().activeWindow() == a.window; }));
    EXPECT_EQ(ax.performAction(wa, "AXPress"), AXError::actionUnsupported);

    // Minimised is judged by the window state, and is not what an application would focus.
    ASSERT_EQ(ax.setAttribute(wb, "AXMinimized", true), AXError::success);
    EXPECT_EQ(session().wmState(b.window), 3); // IconicState
    EXPECT_TRUE(read<bool>(ax, wb, "AXMinimized"));
    EXPECT_TRUE(read<bool>(ax, appB, "AXHidden"));
    AXValue v;
    EXPECT_EQ(ax.copyAttribute(appB, "AXFocusedWindow", v), AXError::noValue);
    // Asked for, not waited for: the window manager carries it out a moment later.
    ASSERT_EQ(ax.setAttribute(wb, "AXMinimized", false), AXError::success);
    EXPECT_TRUE(X11TestSession::waitFor([&] { return session().wmState(b.window) == 1; })); // NormalState
    EXPECT_FALSE(read<bool>(ax, wb, "AXMinimized"));

    // A live window under another pid is not that window, and a closed one answers invalid element.
    EXPECT_EQ(ax.copyAttribute(AXElement{AXElement::Kind::window, a.pid, b.window}, "AXTitle", v),
              AXError::invalidUIElement);
    close(b);
    EXPECT_EQ(ax.copyAttribute(wb, "AXTitle", v), AXError::invalidUIElement);
    EXPECT_EQ(ax.setAttribute(wb, "AXPosition", Point{0, 0}), AXError::invalidUIElement);
    EXPECT_EQ(ax.setAttribute(wb, "AXSize", Size{300, 200}), AXError::invalidUIElement);
    EXPECT_EQ(ax.performAction(wb, "AXRaise"), AXError::invalidUIElement);
    EXPECT_EQ(ax.copyAttribute(appB, "AXWindows", v), AXError::invalidUIElement);
}

// Two desktops; B, minimised by the user, and C go to the second. The window manager makes C iconic for
// lying on a desktop not shown: C is not minimised for that, only on the other desktop; B still reads
// minimised, and un-minimising it returns at once, as it must not wait for a state that can come only
// once its desktop shows. C's desktop asked for through the attribute shows, the call returning at once.
TEST_F(X11AccessibilityTest, windowsOnADesktopNotShownAreNotMinimisedAndTheirDesktopShowsWhenAsked) {
    session().setDesktopCount(2);
    const auto a = xterm("Terminal A", "60x20+2000+100");
    const auto b = xterm("Terminal B", "60x20+2100+150");
    const auto c = xterm("Terminal C", "60x20+2200+200");
    auto& ax = desktop->accessibility();
    const AXElement wa = elementOf(a), wb = elementOf(b), wc = elementOf(c);
    session().iconify(b.window);
    ASSERT_TRUE(X11TestSession::waitFor([&] { return read<bool>(ax, wb, "AXMinimized"); }));
    session().sendToDesktop(b.window, 1);
    session().sendToDesktop(c.window, 1);
    ASSERT_TRUE(X11TestSession::waitFor([&] { return session().wmState(c.window) == 3; })); // IconicState
    EXPECT_FALSE(read<bool>(ax, wc, "AXMinimized"));
    EXPECT_TRUE(read<bool>(ax, wb, "AXMinimized"));
    EXPECT_TRUE(read<bool>(ax, wc, kOtherDesktopAttribute));
    EXPECT_FALSE(read<bool>(ax, wa, kOtherDesktopAttribute));
    bool settable = false;
    EXPECT_EQ(ax.isAttributeSettable(wc, kOtherDesktopAttribute, settable), AXError::success);
    EXPECT_TRUE(settable);

    // Well within the half second a wait for the window manager is given.
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ax.setAttribute(wb, "AXMinimized", false), AXError::success);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(250));

    start = std::chrono::steady_clock::now();
    EXPECT_EQ(ax.setAttribute(wc, kOtherDesktopAttribute, true), AXError::illegalArgument);
    EXPECT_EQ(ax.setAttribute(wc, kOtherDesktopAttribute, false), AXError::success);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(250));
    EXPECT_TRUE(X11TestSession::waitFor([&] { return session().currentDesktop() == 1; }));
    EXPECT_FALSE(read<bool>(ax, wc, kOtherDesktopAttribute));
    EXPECT_TRUE(read<bool>(ax, wa, kOtherDesktopAttribute));

    session().showDesktop(0);
    session().setDesktopCount(1);
}

// A window kept below the others stays behind them with the keyboard on it: focused through the
// attributes, it leaves that state and comes in front of them.
TEST_F(X11AccessibilityTest, aWindowKeptBelowThatIsFocusedComesInFrontOfTheOthers) {
    const auto below = xterm("Terminal Below", "60x20+2000+100");
    const auto other = xterm("Terminal Other", "60x20+2100+150");
    ASSERT_TRUE(X11TestSession::waitFor([&] { return session().activeWindow() == other.window; }));
    session().keepBelow(below.window);
    ASSERT_EQ(desktop->accessibility().setAttribute(elementOf(below), "AXMain", true), AXError::success);
    EXPECT_TRUE(X11TestSession::waitFor([&] {
        const auto states = session().atomNames(below.window, "_NET_WM_STATE");
        return session().activeWindow() == below.window && session().stackingOrder().back() == below.window &&
               std::find(states.begin(), states.end(), "_NET_WM_STATE_BELOW") == states.end();
    }));
}

TEST_F(X11AccessibilityTest, theParkingMarkHoldsWhileTheWindowKeepsItsFrameAndShowsInTheWindowList) {
    const auto x = xterm("Parked");
    auto& ax = desktop->accessibility();
    const AXElement w = elementOf(x);
    auto listedAsParked = [&] {
        const auto list = desktop->windowServer().copyWindowInfo(0);
        for (const auto& entry : list.value())
            if (entry[WindowKey::number] == x.window) return entry.value(WindowKey::parked, false);
        return false;
    };
    EXPECT_FALSE(read<bool>(ax, w, kParkedAttribute));
    ASSERT_EQ(ax.setAttribute(w, kParkedAttribute, true), AXError::success);
    EXPECT_TRUE(read<bool>(ax, w, kParkedAttribute));
    EXPECT_TRUE(listedAsParked());

    // Moved by another client, as by the user's hand: it is no longer where it was parked.
    const Rect frame = session().frameOf(x.window);
    session().requestFrame(x.window,
                           Rect{frame.origin.x + 100, frame.origin.y, frame.width(), frame.height()});
    ASSERT_TRUE(X11TestSession::waitFor([&] { return !(session().frameOf(x.window) == frame); }));
    EXPECT_FALSE(read<bool>(ax, w, kParkedAttribute));
    EXPECT_FALSE(listedAsParked());

    // Moved by the program, even to where it was marked, the mark goes with the move.
    ASSERT_EQ(ax.setAttribute(w, kParkedAttribute, true), AXError::success);
    const Point marked = read<Point>(ax, w, "AXPosition");
    ASSERT_EQ(ax.setAttribute(w, "AXPosition", Point{marked.x - 100, marked.y}), AXError::success);
    ASSERT_EQ(ax.setAttribute(w, "AXPosition", marked), AXError::success);
    EXPECT_FALSE(read<bool>(ax, w, kParkedAttribute));
}

TEST_F(X11AccessibilityTest, theActiveWindowIsRaisedAgainOnceAnotherWasRaisedOverIt) {
    const auto a = xterm("Terminal A", "60x20+2000+100");
    const auto b = xterm("Terminal B", "60x20+2100+150");
    auto& ax = desktop->accessibility();
    ASSERT_EQ(ax.performAction(elementOf(a), "AXRaise"), AXError::success);
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        return session().stackingOrder().back() == a.window && session().activeWindow() == a.window;
    }));

    // Still the active window, but no longer in front: a raise is not a request that can be left out.
    session().raiseAlone(b.window);
    ASSERT_TRUE(X11TestSession::waitFor([&] { return session().stackingOrder().back() == b.window; }));
    ASSERT_EQ(session().activeWindow(), a.window);
    ASSERT_EQ(ax.performAction(elementOf(a), "AXRaise"), AXError::success);
    EXPECT_TRUE(X11TestSession::waitFor([&] { return session().stackingOrder().back() == a.window; }));
    EXPECT_EQ(session().activeWindow(), a.window);
}

TEST_F(X11AccessibilityTest, aHugeTitleIsCutAtACharacterBoundary) {
    const auto x = xterm("Short");
    // Two-byte characters after one single-byte one: the cut at 4096 bytes falls inside a character.
    std::string huge = "a";
    for (int i = 0; i < 500'000; ++i)
        huge += "\u00e9";
    session().setTitle(x.window, huge);
    const std::string expected = huge.substr(0, 4095);
    EXPECT_EQ(read<std::string>(desktop->accessibility(), elementOf(x), "AXTitle"), expected);
    auto one = desktop->windowServer().copyWindowInfo(kIncludingWindow, x.window);
    EXPECT_EQ(one->at(0).at(WindowKey::name).get<std::string>(), expected);
}

using X11ObserverTest = X11Test;

// Creation is how the fixture learns of every xterm it starts, and proven by each test that starts one.
TEST_F(X11ObserverTest, titleChangeAndDestructionArriveInOrderOnTheMainThread) {
    const auto x = xterm("Observed");
    auto& ax = desktop->accessibility();
    std::vector<std::string> heard;
    AXError error = AXError::failure;
    auto observer = ax.createObserver(
        x.pid,
        [&](const AXElement& e, const std::string& n) {
            heard.push_back(n + (e == elementOf(x) && desktop->runLoop().isMainThread() ? "" : " elsewhere"));
        },
        error);
    ASSERT_EQ(observer->addNotification(elementOf(x), "AXTitleChanged"), AXError::success);
    ASSERT_EQ(observer->addNotification(elementOf(x), "AXUIElementDestroyed"), AXError::success);
    session().setTitle(x.window, "Renamed");
    // Titles are read when their change is handled; a window already gone by then has none to report.
    ASSERT_TRUE(runUntil([&] { return !heard.empty(); }));
    close(x);
    ASSERT_TRUE(runUntil([&] { return heard.size() >= 2; }));
    EXPECT_EQ(heard, (std::vector<std::string>{"AXTitleChanged", "AXUIElementDestroyed"}));
}

TEST_F(X11ObserverTest, registrationRulesAndObserversThatWereDroppedOrUnregisteredHearNothing) {
    const auto x = xterm("Registered");
    const auto other = xterm("Someone else", "60x20+2300+200");
    auto& ax = desktop->accessibility();
    const AXElement window = elementOf(x), foreign = elementOf(other), gone = elementOf({x.pid, 0x7FFFFF});
    AXError error = AXError::failure;
    int droppedHeard = 0, removedHeard = 0, keptHeard = 0;
    auto counting = [&](int& n) {
        return ax.createObserver(
            x.pid, [&n](const AXElement&, const std::string&) { ++n; }, error);
    };
    auto dropped = counting(droppedHeard);
    auto removed = counting(removedHeard);
    auto kept = counting(keptHeard);
    ASSERT_EQ(error, AXError::success);

    EXPECT_EQ(removed->addNotification(window, "AXTitleChanged"), AXError::success);
    EXPECT_EQ(removed->addNotification(window, "AXTitleChanged"), AXError::notificationAlreadyRegistered);
    EXPECT_EQ(removed->addNotification(foreign, "AXTitleChanged"), AXError::illegalArgument);
    EXPECT_EQ(removed->addNotification(window, "AXMenuOpened"), AXError::notificationUnsupported);
    EXPECT_EQ(removed->addNotification(gone, "AXTitleChanged"), AXError::invalidUIElement);
    EXPECT_EQ(removed->removeNotification(window, "AXUIElementDestroyed"),
              AXError::notificationNotRegistered);
    ax.createObserver(
        0, [](const AXElement&, const std::string&) {}, error);
    EXPECT_EQ(error, AXError::illegalArgument);

    // Registered on the window, or on its application.
    ASSERT_EQ(dropped->addNotification(window, "AXTitleChanged"), AXError::success);
    ASSERT_EQ(kept->addNotification(ax.applicationElement(x.pid), "AXTitleChanged"), AXError::success);
    session().setTitle(x.window, "First");
    ASSERT_TRUE(runUntil([&] { return keptHeard == 1; }));
    dropped.reset();
    ASSERT_EQ(removed->removeNotification(window, "AXTitleChanged"), AXError::success);
    session().setTitle(x.window, "Second");
    ASSERT_TRUE(runUntil([&] { return keptHeard == 2; }));
    EXPECT_EQ(droppedHeard, 1);
    EXPECT_EQ(removedHeard, 1);
}

} // namespace
} // namespace korvane::x11::test
