// Reads of the whole desktop on a real X server: listing the running applications or one application's
// windows again asks the server for nothing per window, however many there are, and still shows at once
// what other clients changed meanwhile (a title, a class, a minimised window, a window closed); so does
// reading one window's attributes one after another, its place included, which follows the moves, resizes,
// maps and unmaps of the window and of its frame; listings on another thread share one read until something
// changes; and an observer asked for another process's window refuses without a request.
#include "X11Fixture.h"

#include "platform/WindowServer.h"
#include "platform/Workspace.h"

#include <thread>

namespace korvane::x11::test {
namespace {

using namespace platform;

using X11DesktopReadsTest = X11Test;

TEST_F(X11DesktopReadsTest, aSecondListingCostsTheSameAmongManyWindowsAndShowsEveryChangeAtOnce) {
    const auto a = xterm("First");
    const auto b = xterm("Second", "60x20+2300+200");
    auto& workspace = desktop->workspace();
    auto& ax = desktop->accessibility();
    const AXElement appA = ax.applicationElement(a.pid);

    // What listing the applications and the first one's windows sends in a turn of the main loop of its
    // own, where the desktop is read afresh (the readers of one turn share a read).
    auto bytesOfAListing = [&] {
        bool turned = false;
        desktop->runLoop().post([&] { turned = true; });
        EXPECT_TRUE(runUntil([&] { return turned; }));
        AXValue windows;
        const auto start = desktop->traffic();
        const auto apps = workspace.runningApplications();
        EXPECT_EQ(ax.copyAttribute(appA, "AXWindows", windows), AXError::success);
        const auto end = desktop->traffic();
        EXPECT_TRUE(std::ranges::any_of(apps, [&](const auto& app) { return app.pid == b.pid; }));
        EXPECT_EQ(std::get<std::vector<AXElement>>(windows), std::vector<AXElement>{elementOf(a)});
        return end.sent - start.sent;
    };
    bytesOfAListing();
    const std::uint64_t amongTwo = bytesOfAListing();
    std::vector<xcb_window_t> others;
    for (int i = 0; i < 30; ++i)
        others.push_back(
            session().createWindow(Rect{100.0 + i, 100, 200, 100}, "Other " + std::to_string(i)));
    ASSERT_TRUE(runUntil([&] { return session().clientList().size() >= 32; }, seconds(30)));
    bytesOfAListing();
    // Nothing is asked again of a window that did not change, neither its properties nor its frame and
    // whether it shows: those alone took 56 bytes a window, every property some 240 more. The window
    // manager may still be busy with a few of the new windows (their states), which are read again.
    EXPECT_LE(bytesOfAListing(), amongTwo + 5 * 72);

    // Changes other clients make show in the very next read, without the main loop taking in any event.
    session().setClass(b.window, "renamed-terminal", "Renamed Terminal");
    EXPECT_EQ(workspace.runningApplication(b.pid)->name, std::optional<std::string>("Renamed Terminal"));
    const auto listed = [&](xcb_window_t window) -> std::optional<std::string> {
        for (const auto& entry :
             desktop->windowServer().copyWindowInfo(0).value_or(std::vector<WindowInfo>{}))
            if (entry.at(WindowKey::number).get<std::uint32_t>() == window && entry.contains(WindowKey::name))
                return entry.at(WindowKey::name).get<std::string>();
        return std::nullopt;
    };
    EXPECT_EQ(listed(a.window), std::optional<std::string>("First"));
    session().setTitle(a.window, "Renamed");
    EXPECT_EQ(listed(a.window), std::optional<std::string>("Renamed"));
    ASSERT_EQ(ax.setAttribute(elementOf(b), "AXMinimized", true), AXError::success);
    EXPECT_TRUE(workspace.runningApplication(b.pid)->isHidden);
    close(b);
    EXPECT_FALSE(workspace.runningApplication(b.pid).has_value());

    for (auto w : others)
        session().destroyWindow(w);
}

// A seeding pass lists an application's windows and then reads each window's role and states one by one.
TEST_F(X11DesktopReadsTest, aWindowsAttributesReadOneAfterAnotherAskTheServerNothingAndShowChangesAtOnce) {
    const auto a = xterm("First");
    auto& ax = desktop->accessibility();
    const AXElement w = elementOf(a);
    AXValue value;
    ASSERT_EQ(ax.copyAttribute(ax.applicationElement(a.pid), "AXWindows", value), AXError::success);
    // The first read of a window learns the client list, which the next ones keep.
    ASSERT_EQ(ax.copyAttribute(w, "AXRole", value), AXError::success);
    const auto start = desktop->traffic();
    for (const char* attribute : {"AXRole", "AXSubrole", "AXFullscreen", "AXMinimized", "AXWindowNumber"})
        EXPECT_EQ(ax.copyAttribute(w, attribute, value), AXError::success) << attribute;
    EXPECT_EQ(desktop->traffic().sent, start.sent);
    ASSERT_EQ(ax.copyAttribute(w, "AXSubrole", value), AXError::success);
    EXPECT_EQ(std::get<std::string>(value), "AXStandardWindow");

    // What the window's client and this program change shows in the very next read of the same window.
    session().setTitle(a.window, "Renamed");
    ASSERT_EQ(ax.copyAttribute(w, "AXTitle", value), AXError::success);
    EXPECT_EQ(std::get<std::string>(value), "Renamed");
    ASSERT_EQ(ax.setAttribute(w, kParkedAttribute, true), AXError::success);
    ASSERT_EQ(ax.copyAttribute(w, kParkedAttribute, value), AXError::success);
    EXPECT_TRUE(std::get<bool>(value));
    ASSERT_EQ(ax.setAttribute(w, "AXMinimized", true), AXError::success);
    ASSERT_EQ(ax.copyAttribute(w, "AXMinimized", value), AXError::success);
    EXPECT_TRUE(std::get<bool>(value));
    close(a);
    EXPECT_EQ(ax.copyAttribute(w, "AXRole", value), AXError::invalidUIElement);

    // The client list read just before is not the one read after a window came or went.
    auto listed = [&](xcb_window_t window) {
        return std::ranges::any_of(
            desktop->windowServer().copyWindowInfo(0).value_or(std::vector<WindowInfo>{}),
            [&](const WindowInfo& entry) {
                return entry.at(WindowKey::number).get<std::uint32_t>() == window;
            });
    };
    EXPECT_FALSE(listed(a.window));
    const xcb_window_t other = session().createWindow(Rect{100, 100, 200, 100}, "Other");
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        const auto list = session().clientList();
        return std::ranges::find(list, other) != list.end();
    }));
    EXPECT_TRUE(listed(other));
    session().destroyWindow(other);
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        const auto list = session().clientList();
        return std::ranges::find(list, other) == list.end();
    }));
    EXPECT_FALSE(listed(other));
}

// What the window manager and other clients do to where a window is and whether it shows, the frame moved or
// hidden alone (as while the user drags it, or on another desktop) included.
TEST_F(X11DesktopReadsTest, aWindowsPlaceAskedAgainAsksNothingAndFollowsItAndItsFrameAtOnce) {
    const auto a = xterm("First");
    auto& ax = desktop->accessibility();
    const AXElement w = elementOf(a);
    const Point primary = kPrimaryRoot.origin;
    // The frame as this program reads it, in root coordinates.
    auto frame = [&] {
        AXValue position, size;
        EXPECT_EQ(ax.copyAttribute(w, "AXPosition", position), AXError::success);
        EXPECT_EQ(ax.copyAttribute(w, "AXSize", size), AXError::success);
        const auto* p = std::get_if<Point>(&position);
        const auto* s = std::get_if<Size>(&size);
        return p && s ? Rect{p->x + primary.x, p->y + primary.y, s->width, s->height} : Rect{};
    };
    // Whether a listing in a turn of its own shows the window on screen.
    auto onScreen = [&] {
        bool turned = false;
        desktop->runLoop().post([&] { turned = true; });
        EXPECT_TRUE(runUntil([&] { return turned; }));
        const auto list =
            desktop->windowServer().copyWindowInfo(kOnScreenOnly).value_or(std::vector<WindowInfo>{});
        return std::ranges::any_of(list, [&](const WindowInfo& e) {
            return e.at(WindowKey::number).get<std::uint32_t>() == a.window;
        });
    };
    auto settledAt = [&](const Rect& asked) {
        return X11TestSession::waitFor([&] { return session().frameOf(a.window) == asked; });
    };

    EXPECT_EQ(frame(), session().frameOf(a.window));
    const auto start = desktop->traffic();
    EXPECT_EQ(frame(), session().frameOf(a.window));
    EXPECT_EQ(desktop->traffic().sent, start.sent);

    // Moved and resized by the window manager at another client's request.
    Rect asked = session().frameOf(a.window);
    asked.origin = Point{2300, 300};
    session().requestFrame(a.window, asked);
    ASSERT_TRUE(settledAt(asked));
    EXPECT_EQ(frame(), asked);
    asked = session().frameOf(a.window);
    asked.size.height -= 5 * 13;
    session().requestFrame(a.window, asked);
    ASSERT_TRUE(settledAt(asked));
    EXPECT_EQ(frame(), asked);

    // The frame moved alone: the window itself hears nothing.
    session().moveFrameAlone(a.window, Point{2500, 400});
    EXPECT_EQ(frame(), session().frameOf(a.window));
    EXPECT_EQ(frame().origin.x, 2500 + 0.0);

    // The frame hidden and shown again alone; then the window unmapped by its client, which the window
    // manager lets go, and mapped again into a new frame.
    EXPECT_TRUE(onScreen());
    session().setFrameMapped(a.window, false);
    EXPECT_FALSE(onScreen());
    session().setFrameMapped(a.window, true);
    EXPECT_TRUE(onScreen());
    session().setMapped(a.window, false);
    ASSERT_TRUE(X11TestSession::waitFor([&] { return !session().isClient(a.window); }));
    EXPECT_FALSE(onScreen());
    session().setMapped(a.window, true);
    ASSERT_TRUE(X11TestSession::waitFor([&] { return session().isClient(a.window); }));
    EXPECT_TRUE(onScreen());
    session().moveFrameAlone(a.window, Point{2100, 200});
    EXPECT_EQ(frame(), session().frameOf(a.window));
    EXPECT_EQ(frame().origin.x, 2100 + 0.0);

    close(a);
    AXValue gone;
    EXPECT_EQ(ax.copyAttribute(w, "AXPosition", gone), AXError::invalidUIElement);
}

// A pass on another thread that looks up each window of the list (the parking rescue at start-up does), or
// a timer per application that lists the windows in a turn of its own, reads the whole desktop once, not once
// per window or turn, and still sees what changes at once, a frame moved alone included.
TEST_F(X11DesktopReadsTest, listingsOnOtherThreadsAndInLaterTurnsShareOneReadUntilTheServerReportsAChange) {
    const auto a = xterm("First");
    const auto b = xterm("Second", "60x20+2300+200");
    auto entryOf = [&](xcb_window_t window) {
        std::optional<WindowInfo> out;
        for (const auto& e : desktop->windowServer().copyWindowInfo(0).value_or(std::vector<WindowInfo>{}))
            if (e.at(WindowKey::number).get<std::uint32_t>() == window) out = e;
        return out;
    };
    auto titleOnAnotherThread = [&](xcb_window_t window) {
        std::optional<std::string> title;
        std::thread([&] {
            if (auto e = entryOf(window); e && e->contains(WindowKey::name))
                title = e->at(WindowKey::name).get<std::string>();
        }).join();
        return title;
    };
    auto xInATurnOfItsOwn = [&](xcb_window_t window) {
        bool turned = false;
        desktop->runLoop().post([&] { turned = true; });
        EXPECT_TRUE(runUntil([&] { return turned; }));
        const auto e = entryOf(window);
        return e ? e->at(WindowKey::bounds).at(BoundsKey::x).get<double>() + kPrimaryRoot.origin.x : -1.0;
    };
    EXPECT_EQ(titleOnAnotherThread(a.window), std::optional<std::string>("First"));
    // The window manager may still be settling the new windows; once it is done, the reads are shared.
    ASSERT_TRUE(X11TestSession::waitFor([&] {
        const auto before = desktop->traffic().desktopReads;
        for (int i = 0; i < 3; ++i) {
            titleOnAnotherThread(b.window);
            xInATurnOfItsOwn(b.window);
        }
        return desktop->traffic().desktopReads <= before + 1;
    }));
    session().setTitle(a.window, "Renamed");
    EXPECT_EQ(titleOnAnotherThread(a.window), std::optional<std::string>("Renamed"));
    session().moveFrameAlone(b.window, Point{2400, 300});
    EXPECT_EQ(xInATurnOfItsOwn(b.window), 2400);
    close(b);
    EXPECT_EQ(titleOnAnotherThread(b.window), std::nullopt);
}

// A new window is offered to every application's observer: the others' answer must not cost a request.
TEST_F(X11DesktopReadsTest, anObserverRefusesAnotherProcesssWindowWithoutAskingTheServer) {
    const auto a = xterm("First");
    const auto b = xterm("Second", "60x20+2300+200");
    auto& ax = desktop->accessibility();
    AXError error = AXError::failure;
    const auto observer = ax.createObserver(
        a.pid, [](const AXElement&, const std::string&) {}, error);
    ASSERT_TRUE(observer);
    const auto start = desktop->traffic();
    EXPECT_EQ(observer->addNotification(elementOf(b), "AXUIElementDestroyed"), AXError::illegalArgument);
    EXPECT_EQ(desktop->traffic().sent, start.sent);
    EXPECT_EQ(observer->addNotification(elementOf(a), "AXUIElementDestroyed"), AXError::success);
}

} // namespace
} // namespace korvane::x11::test
