// Tests of window parking: the parking frame, the parked-window test at its boundaries, and the launch
// rescue pass on the simulated desktop.
#include "core/AXUtil.h"
#include "core/Rescuer.h"
#include "platform/Format.h"
#include "platform/sim/LogCapture.h"
#include "platform/sim/SimDesktop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace korvane {
namespace {

using platform::ScreenInfo;
namespace WK = platform::WindowKey;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

ScreenInfo screen(const Rect& visible) {
    ScreenInfo s;
    s.frame = visible;
    s.visibleFrame = visible;
    return s;
}

TEST(ParkingFrame, keepsSizeAndHeightAndLeavesOnePointInside) {
    const Rect v{0, 60, 1440, 815}; // visible frame, y from 60 to 875
    struct Row {
        const char* what;
        Rect window;
        Rect parked;
    } rows[] = {
        {"inside", {300, 200, 600, 400}, {-599, 200, 600, 400}},
        {"above the top is pulled down", {300, 700, 600, 400}, {-599, 475, 600, 400}},
        {"below the bottom is pulled up", {300, -100, 600, 400}, {-599, 60, 600, 400}},
        {"taller than the screen keeps the bottom", {300, 100, 600, 2000}, {-599, 60, 600, 2000}},
        {"fractions round outwards", {300.4, 200.6, 600.5, 400.2}, {-600, 200, 601, 401}},
        {"an undefined width is one point", {300, 200, kNaN, 400}, {0, 200, 1, 400}},
        {"an infinite height is one point", {300, 200, 600, kInf}, {-599, 200, 600, 1}},
        {"an empty window is one point square", {300, 200, 0, 0}, {0, 200, 1, 1}},
        {"an undefined bottom goes to the middle", {kNaN, kNaN, 600, 400}, {-599, 467, 600, 401}},
        {"an undefined bottom of a tall window is pulled inside", {0, kNaN, 600, 900}, {-599, 60, 600, 900}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(fittedIntegralRect(row.window, v), row.parked)
            << row.what << ": " << platform::describe(fittedIntegralRect(row.window, v));
}

TEST(ParkedTest, recognisesParkedWindowsAtTheBoundaries) {
    const std::vector<ScreenInfo> screens = {screen({0, 60, 1440, 815}), screen({1440, 0, 1920, 1080})};
    struct Row {
        const char* what;
        Rect frame;
        bool parked;
    } rows[] = {
        {"far off every screen", {-50000, -50000, 800, 600}, true},
        {"far left only", {-50000, 300, 800, 600}, false},
        {"far down only", {300, -50000, 800, 600}, false},
        {"one point inside the primary", {-799, 300, 800, 600}, true},
        {"two points further right", {-797, 300, 800, 600}, true},
        {"three points further right", {-796, 300, 800, 600}, false},
        {"two points further left", {-801, 300, 800, 600}, true},
        {"one point inside the second screen", {641, 300, 800, 600}, true},
        {"a normal window", {100, 100, 800, 600}, false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(isParkedOffscreen(row.frame, screens), row.parked) << row.what;
    EXPECT_TRUE(isParkedOffscreen(Rect{-50000, -50000, 10, 10}, {}));
    EXPECT_FALSE(isParkedOffscreen(Rect{-799, 300, 800, 600}, {}));

    // The parking frame itself is recognised when wider than eleven points.
    for (auto [width, parked] : {std::pair{10.0, false}, {11.0, false}, {12.0, true}, {800.0, true}})
        EXPECT_EQ(isParkedOffscreen(fittedIntegralRect(Rect{100, 100, width, 300}, screens[0].visibleFrame),
                                    {screens[0]}),
                  parked)
            << width;
}

class RescueTest : public ::testing::Test {
  protected:
    RescueTest() {
        desk->screens().addDisplay({.frame = Rect{0, 0, 1440, 900}, .visibleFrame = Rect{0, 60, 1440, 815}});
        editor = desk->workspace().launch({.bundleID = "com.example.editor", .name = "Editor"});
        desk->loop().runUntilIdle();
    }

    std::uint32_t open(const Rect& frame, int layer = 0, pid_t pid = 0) {
        return desk->windows().open(pid ? pid : editor, {.frame = frame, .title = "Doc", .layer = layer});
    }
    // The windows that received writes.
    std::vector<std::uint32_t> written() {
        std::vector<std::uint32_t> out;
        for (const auto& call : desk->accessibility().axCallLog())
            for (auto n : desk->windows().frontToBack())
                if (call.element == desk->windows().element(n) &&
                    std::find(out.begin(), out.end(), n) == out.end())
                    out.push_back(n);
        return out;
    }

    sim::ScopedSimDesktop desk;
    sim::ScopedLogCapture logs;
    std::shared_ptr<AXUtil> ax = std::make_shared<AXUtil>(*desk);
    pid_t editor = 0;
};

// The square near the top-left corner of the main display's visible frame (y from 60 to 875).
const Rect kRescued{20, 655, 200, 200};

TEST_F(RescueTest, bringsParkedWindowsBackAndLeavesOthersAlone) {
    const auto parked = open(fittedIntegralRect(Rect{300, 200, 600, 400}, Rect{0, 60, 1440, 815}));
    const auto lost = open(Rect{-50000, -50000, 500, 300});
    const auto normal = open(Rect{300, 200, 600, 400});

    Rescuer(ax).rescueParkedWindows();

    EXPECT_EQ(desk->windows().frame(parked), kRescued);
    EXPECT_EQ(desk->windows().frame(lost), kRescued);
    EXPECT_EQ(desk->windows().frame(normal), (Rect{300, 200, 600, 400}));
    auto touched = written();
    std::sort(touched.begin(), touched.end());
    EXPECT_EQ(touched, (std::vector<std::uint32_t>{parked, lost}));
    EXPECT_EQ(logs.log().count("[app] Rescued 2 windows from parking"), 1u);
}

TEST_F(RescueTest, movesNothingWithoutParkedWindowsOrForServerOtherLayerAndMalformedEntries) {
    open(Rect{300, 200, 600, 400});
    const pid_t server = desk->workspace().launch({.name = "WindowServer"});
    const auto onLayer = open(Rect{-50000, -50000, 500, 300}, 3);
    const auto owned = open(Rect{-50000, -50000, 500, 300}, 0, server);
    const auto target = open(Rect{-50000, -50000, 500, 300}, 2);
    desk->windowServer().addRawEntry({{WK::ownerPID, editor}, {WK::layer, 0.5}, {WK::number, target}});
    desk->windowServer().addRawEntry({{WK::ownerPID, editor}, {WK::layer, 0}, {WK::number, "x"}});

    Rescuer(ax).rescueParkedWindows();
    EXPECT_TRUE(written().empty());
    EXPECT_EQ(desk->windows().frame(onLayer), (Rect{-50000, -50000, 500, 300}));
    EXPECT_EQ(desk->windows().frame(owned), (Rect{-50000, -50000, 500, 300}));
    // A missing list ends the pass at once.
    desk->windowServer().setAvailable(false);
    Rescuer(ax).rescueParkedWindows();
    EXPECT_FALSE(logs.log().contains("Rescued"));
}

TEST_F(RescueTest, convertsWithThePrimaryScreenWhenADisplaySitsAbove) {
    // A wider display above the primary, shifted right: its parking column is not the primary's.
    const Rect above{200, 900, 1920, 1055};
    desk->screens().addDisplay({.frame = Rect{200, 900, 1920, 1080}, .visibleFrame = above});
    const auto parked = open(fittedIntegralRect(Rect{600, 1200, 800, 600}, above));
    ASSERT_EQ(desk->windows().frame(parked), (Rect{-599, 1200, 800, 600}));
    // Not parked against the primary: only the second screen's column makes it a parked window.
    EXPECT_FALSE(isParkedOffscreen(desk->windows().frame(parked), {screen({0, 60, 1440, 815})}));

    Rescuer(ax).rescueParkedWindows();
    EXPECT_EQ(desk->windows().frame(parked), kRescued);
    EXPECT_EQ(desk->windows().frameTopLeft(parked), (Rect{20, 45, 200, 200}));
}

TEST_F(RescueTest, launchPassRunsInTheBackgroundAndDoesNotHoldUpTheCaller) {
    const auto parked = open(Rect{-50000, -50000, 500, 300});
    Rescuer::rescueInBackground(ax);
    EXPECT_EQ(desk->windows().frame(parked), (Rect{-50000, -50000, 500, 300}));

    desk->loop().runUntilIdle();
    EXPECT_EQ(desk->windows().frame(parked), kRescued);
    EXPECT_EQ(logs.log().count("Rescued 1 windows from parking"), 1u);
    // The pass's own reference to the wrapper is gone once the main queue has released it.
    EXPECT_EQ(ax.use_count(), 1);
}

} // namespace
} // namespace korvane
