// The simulated windows' test hooks: frames given bottom-left come out top-left against the primary
// display's height, closing hands the focus on, and windows can be renumbered or recreated.
#include "SimDesktopFixture.h"

namespace korvane::sim {
namespace {

struct SimWindowsTest : SimDesktopTest {};

TEST_F(SimWindowsTest, topLeftPositionsAndListBoundsFlipAgainstThePrimaryHeight) {
    struct Row {
        const char* arrangement;
        Rect second; // the second display, bottom-left global
        Rect window; // a window on it, bottom-left global
        double expectedTopLeftY;
    };
    // H = 900, the primary's height: y_tl = 900 - y_bl - h.
    const Row rows[] = {
        {"to the right", Rect{1440, -180, 1920, 1080}, Rect{1500, 100, 800, 600}, 200},
        {"to the right, below the primary's bottom", Rect{1440, -180, 1920, 1080}, Rect{1600, -150, 800, 600},
         450},
        {"above", Rect{0, 900, 1920, 1080}, Rect{100, 1200, 800, 600}, -900},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.arrangement);
        int second = desk->screens().addDisplay({.frame = r.second});
        auto w = open({.frame = r.window});
        const double x = r.window.origin.x, y = r.expectedTopLeftY;
        EXPECT_EQ(value<Point>(el(w), "AXPosition"), (Point{x, y}));
        auto list = desk->windowServer().copyWindowInfo(platform::kIncludingWindow, w);
        ASSERT_TRUE(list && list->size() == 1);
        EXPECT_EQ((*list)[0][platform::WindowKey::bounds],
                  (nlohmann::json{{"X", x}, {"Y", y}, {"Width", 800}, {"Height", 600}}));

        ax().setAttribute(el(w), "AXPosition", Point{x + 10, y - 20});
        EXPECT_EQ(windows().frame(w), (Rect{x + 10, r.window.origin.y + 20, 800, 600}));
        windows().close(w);
        desk->screens().removeDisplay(second);
    }
}

TEST_F(SimWindowsTest, aClosedWindowAnswersInvalidAndHandsTheFocusOn) {
    auto back = open(), front = open();
    const AXElement app = ax().applicationElement(editor);
    const AXElement gone = el(front);
    EXPECT_EQ(value<AXElement>(app, "AXFocusedWindow"), gone);
    windows().close(front);
    EXPECT_EQ(status(gone, "AXPosition"), AXError::invalidUIElement);
    EXPECT_EQ(ax().setAttribute(gone, "AXSize", Size{1, 1}), AXError::invalidUIElement);
    EXPECT_EQ(value<AXElement>(app, "AXFocusedWindow"), el(back));
    EXPECT_EQ(value<std::vector<AXElement>>(app, "AXWindows"), (std::vector<AXElement>{el(back)}));
    windows().close(back);
    EXPECT_EQ(status(app, "AXFocusedWindow"), AXError::noValue);
}

TEST_F(SimWindowsTest, aRenumberedWindowKeepsItsElementAndARecreatedOneGetsANewOne) {
    auto w = open({.frame = Rect{0, 0, 300, 300}, .title = "Doc"});
    const AXElement before = el(w);
    windows().renumber(w, 4242);
    EXPECT_EQ(value<double>(before, "AXWindowNumber"), 4242);
    EXPECT_EQ(windows().recreate(4242, 5000), 5000u);
    EXPECT_EQ(status(before, "AXTitle"), AXError::invalidUIElement);
    EXPECT_EQ(value<std::string>(el(5000), "AXTitle"), "Doc");
    EXPECT_EQ(windows().frame(5000), (Rect{0, 0, 300, 300}));
}

// Tests pick the front window by this order: the newest at the front unless opened behind, a raised or
// focused window at the front, a closed one gone.
TEST_F(SimWindowsTest, frontToBackFollowsOpeningRaisingFocusingAndClosing) {
    using Numbers = std::vector<std::uint32_t>;
    const auto a = open(), b = open();
    const auto behind = open({.frame = Rect{100, 100, 400, 300}, .front = false});
    EXPECT_EQ(windows().frontToBack(), (Numbers{b, a, behind}));
    windows().raise(behind);
    EXPECT_EQ(windows().frontToBack(), (Numbers{behind, b, a}));
    windows().focus(a);
    EXPECT_EQ(windows().frontToBack(), (Numbers{a, behind, b}));
    windows().close(behind);
    EXPECT_EQ(windows().frontToBack(), (Numbers{a, b}));
}

} // namespace
} // namespace korvane::sim
