// Windows whose clients set no _NET_WM_PID, as many older X clients do: the server names their process,
// so they are found by window number like any other and can be placed in a zone; where it cannot name
// one, the window stays without an owner but is listed all the same.
#include "x11/CoreOnX11.h"

#include "platform/WindowServer.h"

#include <unistd.h>

namespace korvane::x11::test {
namespace {

using X11ResourceOwnerTest = CoreOnX11Test;

TEST_F(X11ResourceOwnerTest, aWindowWithoutAPidPropertyIsOwnedByItsProcessAndMovesIntoAZone) {
    // A plain window of this very process, made on the session's connection: no _NET_WM_PID.
    const xcb_window_t window = session().createWindow(Rect(2000, 100, 300, 200), "Without a pid");
    session().setClass(window, "plain", "Plain");
    const Rect zone = zonesOf(screenNamed(kPrimaryName).visibleFrame).front();
    std::optional<ElementAndFrame> found;
    std::optional<Rect> placed;
    if (runUntil([&] { return (found = ax->axAndFrame(window)).has_value(); }, seconds(3))) {
        ax->moveResize(found->element, zone);
        placed = ax->frame(found->element);
    }
    session().destroyWindow(window);
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->element.pid, ::getpid());
    EXPECT_EQ(placed, zone);
}

TEST(X11ResourceOwner, aWindowWhoseProcessTheServerCannotNameStaysUnownedAndIsStillListed) {
    // Without X-Resource the server names no process, as it names none for a client on another machine.
    X11TestSession session({"-extension", "X-Resource"});
    std::string error;
    auto desktop = X11Desktop::connect(session.display(), error);
    ASSERT_NE(desktop, nullptr) << error;
    const xcb_window_t window = session.createWindow(Rect(2000, 100, 300, 200), "Nobody's");

    std::optional<platform::WindowInfo> entry;
    X11TestSession::waitFor([&] {
        for (const auto& e :
             desktop->windowServer().copyWindowInfo(0).value_or(std::vector<platform::WindowInfo>{}))
            if (e.at(platform::WindowKey::number).get<xcb_window_t>() == window) entry = e;
        return entry.has_value();
    });
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->at(platform::WindowKey::name).get<std::string>(), "Nobody's");
    EXPECT_FALSE(entry->contains(platform::WindowKey::ownerPID));
}

} // namespace
} // namespace korvane::x11::test
