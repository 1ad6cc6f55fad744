// The accessibility wrapper on a real X server: xterms moved into the zones of both monitors, read back
// in bottom-left coordinates and found there by window number and back (a low window made tall without
// a detour), and the focused window as a user's click and the program's own activation change it, with
// the observers and announcements that follow.
#include "CoreOnX11.h"

#include "platform/Accessibility.h"
#include "platform/NotificationCenter.h"

namespace korvane::x11::test {
namespace {

using platform::AXElement;

// The session's root coordinates (y down from the root's top) in the bottom-left space anchored at the
// primary monitor.
Rect bottomLeftOfRoot(const Rect& root) {
    return Rect{root.minX() - kPrimaryRoot.minX(), kPrimaryRoot.maxY() - root.maxY(), root.width(),
                root.height()};
}

bool contains(const Rect& outer, const Rect& inner) {
    return inner.minX() >= outer.minX() && inner.maxX() <= outer.maxX() && inner.minY() >= outer.minY() &&
           inner.maxY() <= outer.maxY();
}

// A dock along the top of the primary monitor, removed when the test ends however it ends.
class TopDock {
  public:
    explicit TopDock(X11TestSession& session, double height) : session_(session) {
        const auto h = static_cast<std::uint32_t>(height);
        window_ = session.createDock(Rect(kPrimaryRoot.minX(), 0, kPrimaryRoot.width(), height),
                                     {0, 0, h, 0, 0, 0, 0, 0, static_cast<std::uint32_t>(kPrimaryRoot.minX()),
                                      static_cast<std::uint32_t>(kPrimaryRoot.maxX() - 1), 0, 0});
    }
    ~TopDock() { session_.destroyWindow(window_); }
    TopDock(const TopDock&) = delete;
    TopDock& operator=(const TopDock&) = delete;

  private:
    X11TestSession& session_;
    xcb_window_t window_;
};

using AXUtilOnX11Test = CoreOnX11Test;

TEST_F(AXUtilOnX11Test, moveResizeFillsEveryZoneOfBothMonitorsAndTheWindowsAreFoundThere) {
    // A panel on the primary monitor, so that its zones come from a visible frame less than the frame.
    TopDock dock(session(), 30);
    ASSERT_TRUE(runUntil([&] { return screenNamed(kPrimaryName).visibleFrame.height() == 1050; }));

    struct Placement {
        std::string monitor;
        Rect monitorRoot;
        Rect zone;
        Rect visible;
        X11TestSession::Xterm x;
    };
    std::vector<Placement> placements;
    for (const auto& [name, root] :
         {std::pair{kPrimaryName, kPrimaryRoot}, std::pair{kSecondaryName, kSecondaryRoot}}) {
        const Rect visible = screenNamed(name).visibleFrame;
        for (const Rect& zone : zonesOf(visible))
            placements.push_back({name, root, zone, visible, {}});
    }
    ASSERT_EQ(placements.size(), 6u);
    // Every xterm starts on the primary monitor, so half of them cross to the other one.
    for (std::size_t i = 0; i < placements.size(); ++i)
        placements[i].x =
            xterm("Zone " + std::to_string(i), "60x20+" + std::to_string(2000 + 40 * i) + "+100");

    for (const auto& p : placements)
        ax->moveResize(elementOf(p.x), p.zone);

    for (const auto& p : placements) {
        SCOPED_TRACE(p.monitor + " " + platform::describe(p.zone));
        auto frame = ax->frame(elementOf(p.x));
        ASSERT_TRUE(frame.has_value());
        EXPECT_TRUE(fillsZone(*frame, p.zone, p.visible));
        // What the server says on a connection of its own: on the right monitor, at the same place.
        const Rect root = session().frameOf(p.x.window);
        EXPECT_TRUE(contains(p.monitorRoot, root)) << platform::describe(root);
        EXPECT_EQ(bottomLeftOfRoot(root), *frame);
        // Found there by its number, with and without its pid, as sweeps and adoptions look it up.
        auto found = ax->axAndFrame(p.x.window);
        ASSERT_TRUE(found.has_value());
        EXPECT_EQ(found->element, elementOf(p.x));
        EXPECT_EQ(found->frame, *frame);
        EXPECT_EQ(ax->axElement(p.x.window, p.x.pid), elementOf(p.x));
        EXPECT_EQ(ax->windowID(found->element), p.x.window);
    }

    // Moving a window into the zone it already fills leaves it where it is.
    const auto& again = placements.back();
    const Rect before = *ax->frame(elementOf(again.x));
    ax->moveResize(elementOf(again.x), again.zone);
    EXPECT_EQ(ax->frame(elementOf(again.x)), before);

    // Another application's number under a pid is not found, and a closed window is found by nobody.
    EXPECT_FALSE(ax->axElement(placements[0].x.window, placements[1].x.pid).has_value());
    close(again.x);
    EXPECT_FALSE(ax->axAndFrame(again.x.window).has_value());
    EXPECT_FALSE(ax->frame(elementOf(again.x)).has_value());
}

TEST_F(AXUtilOnX11Test, aLowWindowMadeTallLandsInItsZoneWithoutAnIntermediateFrame) {
    // Grown where it stands, the window would reach below the monitor and be pushed up by the window
    // manager before being moved: a frame the user sees for nothing.
    const auto x = xterm("Low", "60x8+2600+900");
    const Rect visible = screenNamed(kPrimaryName).visibleFrame;
    const Rect zone = zonesOf(visible)[0];
    session().watchFrames(x.window);
    ax->moveResize(elementOf(x), zone);
    const auto frame = ax->frame(elementOf(x));
    ASSERT_TRUE(frame.has_value());
    EXPECT_TRUE(fillsZone(*frame, zone, visible));

    // Every frame shown on the way already had the zone's left edge and the final size (the last step
    // only lowers it onto the zone's bottom), and nothing arrives later.
    const Rect root = session().frameOf(x.window);
    const auto shown = session().framesShown();
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back(), root);
    for (const Rect& f : shown)
        EXPECT_TRUE(f.minX() == root.minX() && f.size == root.size) << platform::describe(f);
    runUntil([] { return false; }, milliseconds(100));
    EXPECT_TRUE(session().framesShown().empty());
    EXPECT_EQ(ax->frame(elementOf(x)), frame);
}

TEST_F(AXUtilOnX11Test, theFocusedWindowFollowsClicksAndActivationAndEachChangeIsAnnounced) {
    std::vector<pid_t> activated;
    auto token = desktop->notificationCenter().addObserver(
        platform::kDidActivateApplication, platform::NotificationCenter::Delivery::mainQueue,
        [&](const std::string&, const nlohmann::json& info) {
            activated.push_back(info.at("pid").get<pid_t>());
        });
    const std::vector<X11TestSession::Xterm> xterms = {
        xterm("First", "40x10+1950+50"), xterm("Second", "40x10+2400+50"), xterm("Third", "40x10+2850+50")};
    auto focusedIs = [&](const X11TestSession::Xterm& x) { return ax->focusedWindow() == elementOf(x); };
    ASSERT_TRUE(runUntil([&] {
        return focusedIs(xterms.back()) && !activated.empty() && activated.back() == xterms.back().pid;
    }));

    // A user clicking into each window in turn: the observer of its application hears of it.
    auto& accessibility = desktop->accessibility();
    for (const auto& x : xterms) {
        platform::AXError error;
        std::vector<std::string> heard;
        auto observer = accessibility.createObserver(
            x.pid, [&](const AXElement&, const std::string& n) { heard.push_back(n); }, error);
        ASSERT_EQ(
            observer->addNotification(accessibility.applicationElement(x.pid), "AXFocusedWindowChanged"),
            platform::AXError::success);
        activated.clear();
        const Rect root = session().frameOf(x.window);
        session().click(static_cast<int>(root.midX()), static_cast<int>(root.midY()));
        EXPECT_TRUE(runUntil([&] { return focusedIs(x) && !heard.empty() && !activated.empty(); }))
            << "after clicking " << x.window;
        EXPECT_EQ(ax->focusedWindowSystemWide(), elementOf(x));
        EXPECT_EQ(heard, std::vector<std::string>{"AXFocusedWindowChanged"});
        EXPECT_EQ(activated, std::vector<pid_t>{x.pid});
    }

    // The program bringing an application to the front.
    desktop->workspace().activate(xterms[0].pid, 0);
    EXPECT_TRUE(runUntil([&] { return focusedIs(xterms[0]); }));

    // A window moved into a zone is raised and takes the focus.
    const Rect zone = zonesOf(screenNamed(kSecondaryName).visibleFrame)[1];
    ax->moveResize(elementOf(xterms[1]), zone);
    EXPECT_TRUE(focusedIs(xterms[1]));
    EXPECT_EQ(session().activeWindow(), xterms[1].window);
}

} // namespace
} // namespace korvane::x11::test
