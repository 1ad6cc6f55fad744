// The accessibility wrapper on a real X server: xterms moved into the zones of both monitors, read back
// in bottom-left coordinates and found there by window number and back (a low window made tall without
// a detour), and the focused window as a user's click and a move into a zone change it, with the
// observers and announcements that follow.
#include "CoreOnX11.h"

#include "platform/Accessibility.h"
#include "platform/NotificationCenter.h"

namespace korvane::x11::test {
namespace {

using platform::AXElement;

using AXUtilOnX11Test = CoreOnX11Test;

TEST_F(AXUtilOnX11Test, moveResizeFillsEveryZoneOfBothMonitorsAndTheWindowsAreFoundThere) {
    // A panel on the primary monitor, so that its zones come from a visible frame less than the frame.
    dock(30);
    ASSERT_TRUE(runUntil([&] { return screenNamed(kPrimaryName).visibleFrame.height() == 1050; }));

    struct Placement {
        Rect zone, visible;
        X11TestSession::Xterm x;
    };
    // Every xterm starts on the primary monitor, so half of them cross to the other one.
    std::vector<Placement> placements;
    for (const char* name : {kPrimaryName, kSecondaryName}) {
        const Rect visible = screenNamed(name).visibleFrame;
        for (const Rect& zone : zonesOf(visible)) {
            const auto n = placements.size();
            placements.push_back(
                {zone, visible,
                 xterm("Zone " + std::to_string(n), "60x20+" + std::to_string(2000 + 40 * n) + "+100")});
        }
    }
    for (const auto& p : placements)
        ax->moveResize(elementOf(p.x), p.zone);

    for (const auto& p : placements) {
        SCOPED_TRACE(platform::describe(p.zone));
        auto frame = ax->frame(elementOf(p.x));
        ASSERT_TRUE(frame.has_value());
        EXPECT_TRUE(fillsZone(*frame, p.zone, p.visible));
        // What the server says on a connection of its own, in the bottom-left space of the primary.
        const Rect root = session().frameOf(p.x.window);
        EXPECT_EQ(Rect(root.minX() - kPrimaryRoot.minX(), kPrimaryRoot.maxY() - root.maxY(), root.width(),
                       root.height()),
                  *frame);
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
    std::vector<nlohmann::json> activated;
    const auto token = listen(platform::kDidActivateApplication, activated);
    const std::vector<X11TestSession::Xterm> xterms = {
        xterm("First", "40x10+1950+50"), xterm("Second", "40x10+2400+50"), xterm("Third", "40x10+2850+50")};
    auto focusedIs = [&](const X11TestSession::Xterm& x) { return ax->focusedWindow() == elementOf(x); };
    ASSERT_TRUE(runUntil([&] {
        return focusedIs(xterms.back()) && !activated.empty() &&
               activated.back().at("pid") == xterms.back().pid;
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
        ASSERT_EQ(activated.size(), 1u);
        EXPECT_EQ(activated[0].at("pid"), x.pid);
    }

    // A window moved into a zone is raised and takes the focus.
    const Rect zone = zonesOf(screenNamed(kSecondaryName).visibleFrame)[1];
    ax->moveResize(elementOf(xterms[1]), zone);
    EXPECT_TRUE(focusedIs(xterms[1]));
    EXPECT_EQ(session().activeWindow(), xterms[1].window);
}

} // namespace
} // namespace korvane::x11::test
