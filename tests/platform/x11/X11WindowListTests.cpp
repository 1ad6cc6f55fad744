// The window list on a real X server: managed xterms, front to back, with frames in the top-left space
// of the primary monitor, and the list's options.
#include "X11Fixture.h"

#include "platform/WindowServer.h"

namespace korvane::x11::test {
namespace {

using namespace platform;

// Root coordinates → top-left coordinates anchored at the primary monitor.
Rect topLeft(const Rect& root) {
    return Rect(root.origin.x - kPrimaryRoot.origin.x, root.origin.y - kPrimaryRoot.origin.y, root.size.width,
                root.size.height);
}

Rect boundsOf(const WindowInfo& entry) {
    const auto& b = entry.at(WindowKey::bounds);
    return Rect(b.at(BoundsKey::x).get<double>(), b.at(BoundsKey::y).get<double>(),
                b.at(BoundsKey::width).get<double>(), b.at(BoundsKey::height).get<double>());
}

std::vector<std::uint32_t> numbers(const std::vector<WindowInfo>& list) {
    std::vector<std::uint32_t> out;
    for (const auto& e : list)
        out.push_back(e.at(WindowKey::number).get<std::uint32_t>());
    return out;
}

using X11WindowListTest = X11Test;

TEST_F(X11WindowListTest, xtermsAreListedFrontToBackWithTheirOwnerTitleLayerAndFrame) {
    const auto a = xterm("First terminal", "60x20+2000+100");
    const auto b = xterm("Second terminal", "60x20+200+100"); // on the secondary monitor: negative x
    auto list = desktop->windowServer().copyWindowInfo(kOnScreenOnly | kExcludeDesktopElements);
    ASSERT_TRUE(list.has_value());
    ASSERT_EQ(list->size(), 2u);
    for (const auto& [x, title] : {std::pair{a, "First terminal"}, std::pair{b, "Second terminal"}}) {
        auto it = std::find_if(list->begin(), list->end(), [&](const WindowInfo& e) {
            return e.at(WindowKey::number).get<std::uint32_t>() == x.window;
        });
        ASSERT_NE(it, list->end()) << title;
        EXPECT_EQ(it->at(WindowKey::ownerPID).get<int>(), x.pid);
        EXPECT_EQ(it->at(WindowKey::ownerName).get<std::string>(), "XTerm");
        EXPECT_EQ(it->at(WindowKey::name).get<std::string>(), title);
        EXPECT_EQ(it->at(WindowKey::layer).get<int>(), 0);
        EXPECT_EQ(it->at(WindowKey::alpha).get<double>(), 1.0);
        EXPECT_TRUE(it->at(WindowKey::isOnscreen).get<bool>());
        EXPECT_EQ(boundsOf(*it), topLeft(session().frameOf(x.window))) << title;
    }

    // Front to back: openbox focuses (and raises) each new window, and raising changes the order.
    ASSERT_TRUE(X11TestSession::waitFor([&] { return session().activeWindow() == b.window; }));
    EXPECT_EQ(numbers(*desktop->windowServer().copyWindowInfo(kOnScreenOnly)),
              (std::vector<std::uint32_t>{b.window, a.window}));
    ASSERT_EQ(desktop->accessibility().performAction(AXElement{AXElement::Kind::window, a.pid, a.window},
                                                     "AXRaise"),
              AXError::success);
    EXPECT_EQ(numbers(*desktop->windowServer().copyWindowInfo(kOnScreenOnly)),
              (std::vector<std::uint32_t>{a.window, b.window}));
}

TEST_F(X11WindowListTest, optionsSelectOnScreenWindowsOrOneWindowAndDocksFloatAbove) {
    const auto shown = xterm("Shown", "60x20+2000+100");
    const auto hidden = xterm("Minimised", "60x20+2100+150");
    const AXElement hiddenElement{AXElement::Kind::window, hidden.pid, hidden.window};
    ASSERT_EQ(desktop->accessibility().setAttribute(hiddenElement, "AXMinimized", true), AXError::success);
    auto& server = desktop->windowServer();
    EXPECT_EQ(numbers(*server.copyWindowInfo(kOnScreenOnly)), (std::vector<std::uint32_t>{shown.window}));
    EXPECT_EQ(server.copyWindowInfo(0)->size(), 2u);
    auto one = *server.copyWindowInfo(kIncludingWindow, hidden.window);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].at(WindowKey::number).get<std::uint32_t>(), hidden.window);
    EXPECT_FALSE(one[0].at(WindowKey::isOnscreen).get<bool>());
    EXPECT_TRUE(server.copyWindowInfo(kIncludingWindow, 0x7FFFFF)->empty());

    const auto dock =
        session().createDock(Rect(1920, 1050, 1920, 30), {0, 0, 0, 30, 0, 0, 0, 0, 0, 0, 1920, 3839});
    std::optional<std::vector<WindowInfo>> list;
    ASSERT_TRUE(runUntil([&] {
        list = server.copyWindowInfo(kIncludingWindow, dock);
        return list && !list->empty();
    }));
    EXPECT_GT((*list)[0].at(WindowKey::layer).get<int>(), 0);
    session().destroyWindow(dock);
}

} // namespace
} // namespace korvane::x11::test
