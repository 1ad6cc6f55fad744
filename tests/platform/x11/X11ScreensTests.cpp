// Screens on a real X server: RandR monitors in the bottom-left global space, visible frames less
// dock struts, identities that survive a reconnection, and the change announcements. A monitor
// removed and added back is the core's display tests' concern (tests/x11).
#include "X11Fixture.h"

#include "platform/Screens.h"
#include "platform/WindowServer.h"
#include "platform/x11/DisplayIdentity.h"
#include "platform/x11/X11WorkArea.h"

#include <cstdlib>
#include <optional>
#include <regex>
#include <string>
#include <tuple>
#include <vector>

namespace korvane::x11::test {
namespace {

// The header, vendor "KVN" in 5-bit letters, product 0x1234 and the serial, then a name descriptor and
// a serial-text descriptor.
std::vector<std::uint8_t> sampleEdid(std::uint32_t serial, const std::string& name) {
    std::vector<std::uint8_t> b = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x2E, 0xCE, 0x34, 0x12};
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<std::uint8_t>(serial >> (8 * i)));
    b.resize(128, 0);
    for (const auto& [offset, tag, text] :
         {std::tuple{54, 0xFC, name}, {72, 0xFF, "SN-" + std::to_string(serial)}}) {
        b[offset + 3] = static_cast<std::uint8_t>(tag);
        const std::string padded = (text + "\n" + std::string(13, ' ')).substr(0, 13);
        std::copy(padded.begin(), padded.end(), b.begin() + offset + 5);
    }
    return b;
}

using X11ScreensTest = X11Test;

// A window of one known colour, out of the window manager's hands so that it stays exactly where it is
// put; made, not mapped.
constexpr std::uint32_t kKnownColour = 0x3366CC;
xcb_window_t knownColourWindow(xcb_connection_t* c, std::int16_t x, std::int16_t y, std::uint16_t width,
                               std::uint16_t height) {
    const xcb_screen_t* root = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t window = xcb_generate_id(c);
    const std::uint32_t values[] = {kKnownColour, 1};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, root->root, x, y, width, height, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, root->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
    return window;
}

TEST_F(X11ScreensTest, twoMonitorsInTheBottomLeftSpaceWithThePrimaryFirst) {
    auto screens = desktop->screens().screens();
    ASSERT_EQ(screens.size(), 2u);
    // The primary sits right of the other one in root coordinates; the other is shorter and top-aligned,
    // so in the y-up space anchored at the primary it starts 180 points up.
    EXPECT_EQ(screens[0].frame, Rect(0, 0, 1920, 1080));
    EXPECT_EQ(screens[1].frame, Rect(-1920, 180, 1920, 900));
    EXPECT_EQ(screens[0].localizedName, kPrimaryName);
    EXPECT_EQ(screens[1].localizedName, kSecondaryName);
    EXPECT_NE(screens[0].displayNumber, screens[1].displayNumber);
    const std::regex uuidForm("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}");
    for (const auto& s : screens)
        EXPECT_TRUE(std::regex_match(s.displayUUID, uuidForm)) << s.displayUUID;
    EXPECT_NE(screens[0].displayUUID, screens[1].displayUUID);
    EXPECT_EQ(desktop->screens().mainScreen(), screens[0]);
    // A new connection, as after a restart of the program, knows the displays by the same UUIDs.
    reconnect();
    EXPECT_EQ(desktop->screens().screens(), screens);
}

TEST_F(X11ScreensTest, aDockStrutCutsTheVisibleFrameOfItsOwnMonitorOnlyAndFloatsAbove) {
    std::vector<nlohmann::json> changes;
    const auto token = listen(platform::kScreenParametersDidChange, changes);
    const auto top = dock(30);
    ASSERT_TRUE(runUntil([&] { return changes.size() >= 1; }));
    auto screens = desktop->screens().screens();
    ASSERT_EQ(screens.size(), 2u);
    EXPECT_EQ(screens[0].frame, Rect(0, 0, 1920, 1080));
    EXPECT_EQ(screens[0].visibleFrame, Rect(0, 0, 1920, 1050));
    EXPECT_EQ(screens[1].visibleFrame, screens[1].frame);
    auto listed = desktop->windowServer().copyWindowInfo(platform::kIncludingWindow, top);
    ASSERT_EQ(listed->size(), 1u);
    EXPECT_GT(listed->at(0).at(platform::WindowKey::layer).get<int>(), 0);

    session().destroyWindow(top);
    ASSERT_TRUE(runUntil([&] { return changes.size() >= 2; }));
    EXPECT_EQ(desktop->screens().screens()[0].visibleFrame, Rect(0, 0, 1920, 1080));
}

// A dock whose strut flickers between two heights every 120 ms: neither height counts while it does,
// the first one it passes through no more than the others, and the one it rests at counts once it has
// stayed.
TEST_F(X11ScreensTest, aStrutThatFlickersCountsOnlyOnceItHasSettled) {
    std::vector<nlohmann::json> changes;
    const auto token = listen(platform::kScreenParametersDidChange, changes);
    const auto top = dock(30);
    ASSERT_TRUE(runUntil([&] { return changes.size() >= 1; }));
    ASSERT_EQ(desktop->screens().screens()[0].visibleFrame, Rect(0, 0, 1920, 1050));
    const auto strutOf = [](std::uint32_t height) {
        return std::array<std::uint32_t, 12>{0,
                                             0,
                                             height,
                                             0,
                                             0,
                                             0,
                                             0,
                                             0,
                                             static_cast<std::uint32_t>(kPrimaryRoot.minX()),
                                             static_cast<std::uint32_t>(kPrimaryRoot.maxX() - 1),
                                             0,
                                             0};
    };
    const std::size_t before = changes.size();
    for (int change = 0; change < 12; ++change) {
        session().setStrut(top, strutOf(change % 2 ? 30 : 300));
        // The flicker's own pace, not a wait for an outcome.
        runUntil([] { return false; }, milliseconds(120));
        EXPECT_EQ(desktop->screens().screens()[0].visibleFrame, Rect(0, 0, 1920, 1050))
            << "change " << change;
    }
    EXPECT_EQ(changes.size(), before);
    session().setStrut(top, strutOf(300));
    ASSERT_TRUE(runUntil([&] { return changes.size() > before; }));
    EXPECT_EQ(desktop->screens().screens()[0].visibleFrame, Rect(0, 0, 1920, 780));
}

TEST_F(X11ScreensTest, aMonitorWithAnEdidIsKnownByItAndNamedByIt) {
    std::vector<nlohmann::json> changes;
    const auto token = listen(platform::kScreenParametersDidChange, changes);
    const auto before = desktop->screens().screens();
    session().setEdid(sampleEdid(42, "Korvane Test"));
    ASSERT_TRUE(runUntil([&] { return changes.size() >= 1; }));
    auto after = desktop->screens().screens();
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[0].localizedName, "Korvane Test");
    EXPECT_EQ(after[0].displayUUID, displayUUID(parseEdid(sampleEdid(42, "Korvane Test")), "any name"));
    EXPECT_EQ(after[1], before[1]);
}

TEST_F(X11ScreensTest, thePointerIsReportedInTheBottomLeftSpace) {
    session().movePointer(1920 + 100, 80);
    EXPECT_EQ(desktop->screens().mouseLocation(), (Point{100, 1000}));
    session().movePointer(10, 890);
    EXPECT_EQ(desktop->screens().mouseLocation(), (Point{-1910, 190}));
}

TEST_F(X11ScreensTest, anOverlayWindowMarkedBeforeItShowsStaysOnEveryDesktop) {
    // The window is the test's own, as a toolkit makes it: created, marked, and only then mapped.
    xcb_connection_t* c = xcb_connect(session().display().c_str(), nullptr);
    ASSERT_EQ(xcb_connection_has_error(c), 0);
    const xcb_screen_t* root = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t window = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, root->root, 2000, 100, 320, 80, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, root->root_visual, 0, nullptr);
    // A round trip, as a toolkit syncs: the server knows the window before another connection names it.
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    desktop->screens().showOnAllWorkspaces(window);
    xcb_map_window(c, window);
    xcb_flush(c);
    EXPECT_TRUE(X11TestSession::waitFor([&] { return session().isClient(window); }));

    const std::string name = "_NET_WM_DESKTOP";
    auto* atom = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, name.size(), name.c_str()), nullptr);
    ASSERT_NE(atom, nullptr);
    auto* desktopNumber = xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, atom->atom, XCB_ATOM_CARDINAL, 0, 1), nullptr);
    ASSERT_NE(desktopNumber, nullptr);
    ASSERT_EQ(xcb_get_property_value_length(desktopNumber), 4);
    EXPECT_EQ(*static_cast<std::uint32_t*>(xcb_get_property_value(desktopNumber)), 0xFFFFFFFFu);
    std::free(desktopNumber);
    std::free(atom);
    xcb_destroy_window(c, window);
    xcb_disconnect(c);
}

TEST_F(X11ScreensTest, aPictureShowsWhatLiesInTheAreaTheRightWayUpAndNothingBeyondTheDesktop) {
    // A window of one known colour on the side monitor, at root 100,100 and 200 x 100, out of the window
    // manager's hands so that it stays exactly there.
    xcb_connection_t* c = xcb_connect(session().display().c_str(), nullptr);
    ASSERT_EQ(xcb_connection_has_error(c), 0);
    const xcb_window_t window = knownColourWindow(c, 100, 100, 200, 100);
    xcb_map_window(c, window);
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));

    // Root 90,90 to 310,210, in the space anchored at the primary's bottom left (the primary's top is at
    // root y 0, 1080 high, and it starts at root x 1920).
    auto& screens = desktop->screens();
    // Kept as the reader is shown them, as the editor keeps its backdrop.
    const auto take = [&screens](const Rect& area) {
        std::optional<std::vector<std::uint32_t>> kept;
        const bool taken = screens.capture(area, [&kept](const platform::ScreenPictureView& picture) {
            EXPECT_EQ(picture.width, 220);
            EXPECT_EQ(picture.height, 120);
            kept.emplace();
            for (int y = 0; y < picture.height; ++y)
                for (int x = 0; x < picture.width; ++x)
                    kept->push_back(picture.pixels[y * picture.width + x] & 0xFFFFFFu);
        });
        EXPECT_EQ(taken, kept.has_value());
        return kept;
    };
    const auto picture = take(Rect(90 - 1920, 1080 - 210, 220, 120));
    ASSERT_TRUE(picture) << "no picture through shared memory";
    ASSERT_EQ(picture->size(), 220u * 120u);
    const auto at = [](const std::vector<std::uint32_t>& pixels, int x, int y) {
        return pixels[static_cast<std::size_t>(y * 220 + x)];
    };
    const std::uint32_t colour = kKnownColour;
    // The window's corners, and just outside them.
    for (const auto& [x, y, inside] : {std::tuple{10, 10, true},
                                       {209, 109, true},
                                       {209, 10, true},
                                       {10, 109, true},
                                       {9, 10, false},
                                       {10, 9, false},
                                       {210, 109, false},
                                       {209, 110, false}})
        EXPECT_EQ(at(*picture, x, y) == colour, inside) << x << "," << y;

    // Again, in a segment of its own: the window has moved 50 down.
    const std::uint32_t moved[] = {150};
    xcb_configure_window(c, window, XCB_CONFIG_WINDOW_Y, moved);
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    const auto again = take(Rect(90 - 1920, 1080 - 210, 220, 120));
    ASSERT_TRUE(again);
    EXPECT_NE(at(*again, 10, 10), colour);
    EXPECT_EQ(at(*again, 10, 60), colour);

    // A whole monitor, larger than a band: its bands come from the top down, each row once, and the window
    // (now at root 100,150 to 300,250) lies across a band's edge where it is.
    std::vector<int> rowsWithWindow;
    int nextTop = 0;
    const bool whole =
        screens.capture(Rect(-1920, 1080 - 900, 1920, 900), [&](const platform::ScreenPictureView& band) {
            EXPECT_EQ(band.top, nextTop);
            EXPECT_EQ(band.areaHeight, 900);
            nextTop = band.top + band.height;
            for (int y = 0; y < band.height; ++y)
                if ((band.pixels[y * band.width + 150] & 0xFFFFFFu) == colour)
                    rowsWithWindow.push_back(band.top + y);
        });
    EXPECT_TRUE(whole);
    EXPECT_EQ(nextTop, 900);
    ASSERT_EQ(rowsWithWindow.size(), 100u);
    EXPECT_EQ(rowsWithWindow.front(), 150);
    EXPECT_EQ(rowsWithWindow.back(), 249);

    // Past the left edge of the desktop there is nothing to take.
    EXPECT_FALSE(take(Rect(-1920 - 10, 1080 - 210, 220, 120)));
    xcb_destroy_window(c, window);
    xcb_disconnect(c);
}

TEST_F(X11ScreensTest, picturesTakenTogetherLeaveOutAWindowMappedOnceTheyAreTakenAndBeforeTheyAreRead) {
    xcb_connection_t* c = xcb_connect(session().display().c_str(), nullptr);
    ASSERT_EQ(xcb_connection_has_error(c), 0);
    // One window of a known colour over both areas (root 100,100 on the side monitor and 2020,100 on the
    // primary), mapped when the pictures are taken and not yet read.
    const xcb_window_t window = knownColourWindow(c, 0, 0, 3840, 400);
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));

    auto& screens = desktop->screens();
    std::vector<std::string> order;
    std::vector<std::size_t> covered(2, 0);
    const bool all = screens.captureEachThen(
        {Rect(100 - 1920, 1080 - 200, 100, 100), Rect(100, 1080 - 200, 100, 100)},
        [&] {
            order.push_back("taken");
            xcb_map_window(c, window);
            std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
            // Back into the desktop, as the editor's panels are placed there.
            screens.showOnAllWorkspaces(window);
        },
        [&](std::size_t i, const platform::ScreenPictureView& picture) {
            order.push_back("read " + std::to_string(i));
            ASSERT_EQ(picture.width * picture.height, 100 * 100);
            for (int p = 0; p < picture.width * picture.height; ++p)
                if ((picture.pixels[p] & 0xFFFFFFu) == kKnownColour) ++covered[i];
        });
    ASSERT_TRUE(all) << "no pictures through shared memory";
    EXPECT_EQ(order, (std::vector<std::string>{"taken", "read 0", "read 1"}));
    EXPECT_EQ(covered, (std::vector<std::size_t>{0, 0})) << "the window mapped meanwhile is in a picture";

    // Taken again now, the window is in both.
    covered.assign(2, 0);
    EXPECT_TRUE(
        screens.captureEachThen({Rect(100 - 1920, 1080 - 200, 100, 100), Rect(100, 1080 - 200, 100, 100)},
                                nullptr, [&](std::size_t i, const platform::ScreenPictureView& picture) {
                                    for (int p = 0; p < picture.width * picture.height; ++p)
                                        if ((picture.pixels[p] & 0xFFFFFFu) == kKnownColour) ++covered[i];
                                }));
    EXPECT_EQ(covered, (std::vector<std::size_t>{100u * 100u, 100u * 100u}));
    xcb_destroy_window(c, window);
    xcb_disconnect(c);
}

TEST_F(X11ScreensTest, theKeyWindowIsOurOwnFocusedWindowInTheBottomLeftSpace) {
    auto& screens = desktop->screens();
    // A window of the test's own process, focused by the window manager as it shows, then put on the side
    // monitor (root 0,0 to 1920,900; y up from the primary's bottom, 1080 points below the root's top).
    const xcb_window_t own = session().createWindow(Rect{200, 100, 320, 200}, "Own window");
    ASSERT_TRUE(X11TestSession::waitFor([&] { return session().activeWindow() == own; }));
    const auto keyFrameIs = [&](const Rect& expected) {
        return X11TestSession::waitFor([&] { return screens.keyWindowFrame() == expected; });
    };
    session().requestFrame(own, Rect{200, 100, 320, 200});
    EXPECT_TRUE(keyFrameIs(Rect(200 - 1920, 1080 - 300, 320, 200))) << "not found on the side monitor";
    EXPECT_TRUE(screens.screens().at(1).frame.contains(screens.keyWindowFrame().value_or(Rect{}).center()));

    // Moved onto the primary monitor, it is found there.
    session().requestFrame(own, Rect{kPrimaryRoot.minX() + 300, 400, 400, 300});
    EXPECT_TRUE(keyFrameIs(Rect(300, 1080 - 700, 400, 300))) << "the key window did not follow its move";

    // Another program's window takes the focus: this program has no key window.
    const auto other = xterm("Someone else's", "60x20+100+100");
    EXPECT_TRUE(X11TestSession::waitFor([&] { return session().activeWindow() == other.window; }));
    EXPECT_FALSE(screens.keyWindowFrame());
    session().destroyWindow(own);
}

TEST(DisplayIdentity, edidFieldsAreParsedInvalidBlocksRefusedAndUUIDsNameBased) {
    auto id = parseEdid(sampleEdid(0x01020304, "Panel"));
    ASSERT_TRUE(id.has_value());
    EXPECT_EQ(id->vendor, "KVN");
    EXPECT_EQ(id->product, 0x1234);
    EXPECT_EQ(id->serial, 0x01020304u);
    EXPECT_EQ(id->serialText, "SN-16909060");
    EXPECT_EQ(id->monitorName, "Panel");

    auto spoilt = sampleEdid(1, "x");
    spoilt[0] = 0x01; // the header
    EXPECT_FALSE(parseEdid(spoilt).has_value());
    spoilt = sampleEdid(1, "x");
    spoilt[8] = spoilt[9] = 0; // a vendor without letters
    EXPECT_FALSE(parseEdid(spoilt).has_value());
    spoilt = sampleEdid(1, "x");
    spoilt.resize(127);
    EXPECT_FALSE(parseEdid(spoilt).has_value());

    // UUIDs depend on the identity (the same model's serial tells it apart), else on the connector's name;
    // version 5 (name-based, SHA-1), RFC 4122 variant.
    EXPECT_NE(displayUUID(parseEdid(sampleEdid(1, "Same")), "DP-1"),
              displayUUID(parseEdid(sampleEdid(2, "Same")), "DP-1"));
    const std::string uuid = displayUUID(std::nullopt, "DP-1");
    EXPECT_NE(uuid, displayUUID(std::nullopt, "DP-2"));
    EXPECT_EQ(uuid[14], '5');
    EXPECT_NE(std::string("89AB").find(uuid[19]), std::string::npos);
}

// A 2560-wide main monitor on the left of a 1920 × 1080 one, both from the root's top. A strut or strip
// counts on a monitor only where it lies on it by more than a pixel, or wholly: the one a scaled toolkit
// rounds a pixel past the main monitor's edge leaves the monitor beside it its whole area.
TEST(X11WorkArea, aStrutCountsOnlyOnTheMonitorItLiesOn) {
    const Rect main{0, 0, 2560, 1440};
    const Rect side{2560, 0, 1920, 1080};
    const auto top = [](std::uint32_t rows, std::uint32_t first, std::uint32_t last) {
        return Strut{0, 0, rows, 0, 0, 0, 0, 0, first, last, 0, 0};
    };
    struct Row {
        const char* what;
        std::vector<Strut> struts;
        std::vector<Rect> strips;
        Rect mainArea;
        Rect sideArea;
    };
    const Row rows[] = {
        {"a strut over the main monitor's columns", {top(45, 0, 2559)}, {}, Rect{0, 45, 2560, 1395}, side},
        {"one ending a column past them", {top(45, 0, 2560)}, {}, Rect{0, 45, 2560, 1395}, side},
        {"one reaching well onto the side",
         {top(45, 0, 2600)},
         {},
         Rect{0, 45, 2560, 1395},
         Rect{2560, 45, 1920, 1035}},
        {"one a single column wide on the side", {top(45, 3000, 3000)}, {}, main, Rect{2560, 45, 1920, 1035}},
        {"the program's own strip a quarter pixel past",
         {},
         {Rect{0, 0, 2560.25, 52.5}},
         Rect{0, 52.5, 2560, 1387.5},
         side},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(visibleArea(main, row.struts, row.strips, 4480, 1440), row.mainArea) << row.what;
        EXPECT_EQ(visibleArea(side, row.struts, row.strips, 4480, 1440), row.sideArea) << row.what;
    }
}

// Rounded to the server's pixels, a rectangle that lay on a monitor stays on it: the strip a scaled toolkit
// makes 2560.5 wide on the 2560-wide main monitor is reserved over its 2560 columns alone.
TEST(X11WorkArea, roundingKeepsARectangleOnItsMonitor) {
    const std::vector<Rect> monitors{Rect{0, 0, 2560, 1440}, Rect{2560, 0, 1920, 1080}};
    EXPECT_EQ(wholePixelsInside(Rect{0, 0, 2560.5, 45}, monitors), Rect(0, 0, 2560, 45));
    EXPECT_EQ(topStrut(wholePixelsInside(Rect{0, 0, 2560.5, 45}, monitors))[9], 2559u);
    EXPECT_EQ(wholePixelsInside(Rect{2559.6, 0.4, 1920.2, 1080}, monitors), Rect(2560, 0, 1920, 1080));
    EXPECT_EQ(wholePixelsInside(Rect{100.4, 200.6, 300, 400}, monitors), Rect(100, 201, 300, 400));
    // One reaching past its monitor on purpose keeps its reach.
    EXPECT_EQ(wholePixelsInside(Rect{2000, 100, 1000, 400}, monitors), Rect(2000, 100, 1000, 400));
    EXPECT_EQ(wholePixelsInside(Rect{10.4, 20.6, 30, 40}, {}), Rect(10, 21, 30, 40));
}

} // namespace
} // namespace korvane::x11::test
