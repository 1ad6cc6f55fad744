// The window list on a real X server: managed xterms, front to back, with frames in the top-left space
// of the primary monitor, and the list's options. Docks are listed in the screens tests.
#include "X11Fixture.h"

#include "platform/WindowServer.h"

namespace korvane::x11::test {
namespace {

using namespace platform;

std::vector<std::uint32_t> numbers(const std::vector<WindowInfo>& list) {
    std::vector<std::uint32_t> out;
    for (const auto& e : list)
        out.push_back(e.at(WindowKey::number).get<std::uint32_t>());
    return out;
}

using X11WindowListTest = X11Test;

TEST_F(X11WindowListTest, xtermsAreListedFrontToBackWithTheirFieldsAndTheOptionsSelectAmongThem) {
    const auto a = xterm("First terminal");
    const auto b = xterm("Second terminal", "60x20+200+100"); // on the secondary monitor: negative x
    auto& server = desktop->windowServer();
    auto list = server.copyWindowInfo(kOnScreenOnly | kExcludeDesktopElements);
    ASSERT_TRUE(list.has_value());
    ASSERT_EQ(list->size(), 2u);
    for (const auto& [x, title] : {std::pair{a, "First terminal"}, std::pair{b, "Second terminal"}}) {
        auto it = std::find_if(list->begin(), list->end(), [&, window = x.window](const WindowInfo& e) {
            return e.at(WindowKey::number).get<std::uint32_t>() == window;
        });
        ASSERT_NE(it, list->end()) << title;
        EXPECT_EQ(it->at(WindowKey::ownerPID).get<int>(), x.pid);
        EXPECT_EQ(it->at(WindowKey::ownerName).get<std::string>(), "XTerm");
        EXPECT_EQ(it->at(WindowKey::name).get<std::string>(), title);
        EXPECT_EQ(it->at(WindowKey::layer).get<int>(), 0);
        EXPECT_TRUE(it->at(WindowKey::isOnscreen).get<bool>());
        const auto& bounds = it->at(WindowKey::bounds);
        const Rect root = session().frameOf(x.window);
        EXPECT_EQ(Rect(bounds.at(BoundsKey::x).get<double>(), bounds.at(BoundsKey::y).get<double>(),
                       bounds.at(BoundsKey::width).get<double>(), bounds.at(BoundsKey::height).get<double>()),
                  Rect(root.minX() - kPrimaryRoot.minX(), root.minY(), root.width(), root.height()))
            << title;
    }

    // Front to back: openbox focuses (and raises) each new window, and raising changes the order.
    ASSERT_TRUE(X11TestSession::waitFor([&] { return session().activeWindow() == b.window; }));
    EXPECT_EQ(numbers(*server.copyWindowInfo(kOnScreenOnly)),
              (std::vector<std::uint32_t>{b.window, a.window}));
    ASSERT_EQ(desktop->accessibility().performAction(elementOf(a), "AXRaise"), AXError::success);
    EXPECT_TRUE(X11TestSession::waitFor([&] {
        return numbers(*server.copyWindowInfo(kOnScreenOnly)) ==
               std::vector<std::uint32_t>{a.window, b.window};
    }));

    // A minimised window is off screen: listed in full or alone, not among the windows on screen.
    ASSERT_EQ(desktop->accessibility().setAttribute(elementOf(b), "AXMinimized", true), AXError::success);
    EXPECT_EQ(numbers(*server.copyWindowInfo(kOnScreenOnly)), (std::vector<std::uint32_t>{a.window}));
    EXPECT_EQ(server.copyWindowInfo(0)->size(), 2u);
    auto one = *server.copyWindowInfo(kIncludingWindow, b.window);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].at(WindowKey::number).get<std::uint32_t>(), b.window);
    EXPECT_FALSE(one[0].at(WindowKey::isOnscreen).get<bool>());
    EXPECT_TRUE(server.copyWindowInfo(kIncludingWindow, 0x7FFFFF)->empty());
}

TEST_F(X11WindowListTest, textAClientSetsArrivesAsValidUTF8) {
    // A window of this process: WM_CLASS in Latin-1, as a STRING is, and a UTF8_STRING title holding
    // bytes that are not UTF-8.
    const xcb_window_t window = session().createWindow(Rect(2000, 100, 300, 200), "Caf\xE9 (old title)");
    session().setClass(window, "caf\xE9", "Caf\xE9");
    auto entryOf = [&]() -> std::optional<WindowInfo> {
        for (const auto& e : desktop->windowServer().copyWindowInfo(0).value_or(std::vector<WindowInfo>{}))
            if (e.at(WindowKey::number).get<xcb_window_t>() == window) return e;
        return std::nullopt;
    };
    std::optional<WindowInfo> before, after;
    X11TestSession::waitFor([&] { return (before = entryOf()).has_value(); });
    session().setTitle(window, "bad\xFF\xC3 title");
    X11TestSession::waitFor([&] {
        after = entryOf();
        return after && after->at(WindowKey::name).get<std::string>() != "Caf\u00e9 (old title)";
    });
    session().destroyWindow(window);
    ASSERT_TRUE(before.has_value());
    EXPECT_EQ(before->at(WindowKey::name).get<std::string>(), "Caf\u00e9 (old title)");
    EXPECT_EQ(before->at(WindowKey::ownerName).get<std::string>(), "Caf\u00e9");
    ASSERT_TRUE(after.has_value());
    EXPECT_EQ(after->at(WindowKey::name).get<std::string>(), "bad\uFFFD\uFFFD title");
}

// One turn of the main loop reads the desktop once for all its readers; what opens, closes or moves in the
// meantime is in the next list all the same: open and close announce themselves, a move shows from the
// next turn on.
TEST_F(X11WindowListTest, theReadersOfOneTurnShareOneReadAndAWindowOpenedClosedOrMovedMeanwhileShows) {
    const auto a = xterm("Shared terminal");
    auto& server = desktop->windowServer();
    auto listed = [&] { return numbers(*server.copyWindowInfo(kOnScreenOnly)); };
    auto oneTurn = [&] {
        bool turned = false;
        desktop->runLoop().post([&] { turned = true; });
        return runUntil([&] { return turned; });
    };
    // A turn in which nothing changes, once the new terminal has settled (titles, focus): its first read
    // asks the server, the window list, the applications and an application's windows after it do not.
    bool shared = false;
    for (int attempt = 0; attempt < 20 && !shared; ++attempt) {
        ASSERT_TRUE(oneTurn());
        ASSERT_EQ(listed(), (std::vector<std::uint32_t>{a.window}));
        const auto before = desktop->traffic();
        EXPECT_EQ(listed(), (std::vector<std::uint32_t>{a.window}));
        EXPECT_EQ(desktop->workspace().runningApplications().size(), 1u);
        AXValue windows;
        ASSERT_EQ(desktop->accessibility().copyAttribute(desktop->accessibility().applicationElement(a.pid),
                                                         "AXWindows", windows),
                  AXError::success);
        shared = desktop->traffic().sent == before.sent;
    }
    EXPECT_TRUE(shared) << "every reader of a turn asked the server again";

    // Still the same turn: the loop has not run since the list was read.
    const xcb_window_t b = session().createWindow(Rect(2400, 300, 300, 200), "Opened meanwhile");
    ASSERT_TRUE(X11TestSession::waitFor([&] { return session().isClient(b); }));
    const auto opened = listed();
    EXPECT_EQ(opened.size(), 2u);
    EXPECT_NE(std::find(opened.begin(), opened.end(), b), opened.end());
    session().destroyWindow(b);
    ASSERT_TRUE(X11TestSession::waitFor([&] { return !session().isClient(b); }));
    EXPECT_EQ(listed(), (std::vector<std::uint32_t>{a.window}));

    const Rect moved(2300, 400, session().frameOf(a.window).width(), session().frameOf(a.window).height());
    session().requestFrame(a.window, moved);
    ASSERT_TRUE(X11TestSession::waitFor([&] { return session().frameOf(a.window) == moved; }));
    ASSERT_TRUE(oneTurn());
    const auto list = *server.copyWindowInfo(kOnScreenOnly);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].at(WindowKey::bounds).at(BoundsKey::x).get<double>(),
              moved.minX() - kPrimaryRoot.minX());
    EXPECT_EQ(list[0].at(WindowKey::bounds).at(BoundsKey::y).get<double>(), moved.minY());
}

} // namespace
} // namespace korvane::x11::test
