// Tests of window parking: the parking frame, the parked-window test at its boundaries, and the launch
// rescue pass on the simulated desktop.
#include "core/ActivationFixture.h"
#include "core/Rescuer.h"

#include <limits>

namespace korvane {
namespace {

using platform::ScreenInfo;
namespace WK = platform::WindowKey;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

ScreenInfo screen(const Rect& visible) {
    ScreenInfo s;
    s.frame = s.visibleFrame = visible;
    return s;
}

TEST(ParkingFrame, keepsSizeAndHeightAndLeavesOnePointInside) {
    const Rect v{0, 60, 1440, 815}; // visible frame, y from 60 to 875
    // what, the window, its parking frame
    const std::tuple<const char*, Rect, Rect> rows[] = {
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
    for (const auto& [what, window, parked] : rows)
        EXPECT_EQ(fittedIntegralRect(window, v), parked) << what;
}

TEST(ParkingFrame, goesOffTheLeftMostScreenAcrossTheHeightItKeeps) {
    // B on the right, taller; A left of it from 60 to 875; C left of A from 0 to 300.
    const Rect a{0, 60, 1440, 815}, b{1440, 0, 1920, 1080}, c{-1280, 0, 1280, 300};
    const std::vector<ScreenInfo> screens = {screen(a), screen(b), screen(c)};
    // what, the window, its screen, its parking frame
    const std::tuple<const char*, Rect, Rect, Rect> rows[] = {
        {"on A above C: A's own edge", {300, 500, 600, 400}, a, {-599, 475, 600, 400}},
        {"on B beside A only: off A", {2000, 400, 600, 400}, b, {-599, 400, 600, 400}},
        {"on B beside A and C: off C", {2000, 100, 600, 400}, b, {-1879, 100, 600, 400}},
        {"on B above A: B's own edge", {2000, 900, 600, 150}, b, {841, 900, 600, 150}},
        {"on B, its bottom on A's top: B's own edge", {2000, 875, 600, 100}, b, {841, 875, 600, 100}},
    };
    for (const auto& [what, window, own, parked] : rows) {
        const Rect frame = parkingFrame(window, own, screens);
        EXPECT_EQ(frame, parked) << what;
        for (const auto& s : screens)
            EXPECT_LE(frame.intersection(s.visibleFrame).width(), 1) << what;
        EXPECT_TRUE(isParkedOffscreen(frame, screens)) << what;
    }
}

TEST(ParkedTest, recognisesParkedWindowsAtTheBoundaries) {
    // Side by side, the second screen taller: its left edge runs on above the first one.
    const std::vector<ScreenInfo> screens = {screen({0, 60, 1440, 815}), screen({1440, 0, 1920, 1080})};
    const std::tuple<const char*, Rect, bool> rows[] = {
        {"far off every screen", {-50000, -50000, 800, 600}, true},
        {"far left only", {-50000, 300, 800, 600}, false},
        {"far down only", {300, -50000, 800, 600}, false},
        {"one point inside the primary", {-799, 300, 800, 600}, true},
        {"two points further right", {-797, 300, 800, 600}, true},
        {"three points further right", {-796, 300, 800, 600}, false},
        {"two points further left", {-801, 300, 800, 600}, true},
        {"a normal window", {100, 100, 800, 600}, false},
        // Against the second screen's left edge a window lies on the first screen, in use there.
        {"the right half of the first screen", {720, 60, 720, 815}, false},
        {"one point inside the second screen, on the first", {641, 300, 800, 600}, false},
        {"one point inside the second screen, above the first", {641, 900, 800, 150}, true},
        // What may show on the first screen: a tenth of the window's 200 points of height.
        {"a sliver on the first screen", {641, 855, 800, 200}, true},
        {"a point more than a sliver on the first screen", {641, 854, 800, 200}, false},
    };
    for (const auto& [what, frame, parked] : rows)
        EXPECT_EQ(isParkedOffscreen(frame, screens), parked) << what;
    EXPECT_TRUE(isParkedOffscreen(Rect{-50000, -50000, 10, 10}, {}));
    EXPECT_FALSE(isParkedOffscreen(Rect{-799, 300, 800, 600}, {}));

    // The parking frame itself is recognised when wider than eleven points.
    for (auto [width, parked] : {std::pair{10.0, false}, {11.0, false}, {12.0, true}, {800.0, true}})
        EXPECT_EQ(isParkedOffscreen(fittedIntegralRect(Rect{100, 100, width, 300}, screens[0].visibleFrame),
                                    {screens[0]}),
                  parked)
            << width;
}

class RescueTest : public testing::ActivationTest {
  protected:
    void SetUp() override {
        ActivationTest::SetUp();
        desktop->screens().addDisplay(
            {.frame = Rect{0, 0, 1440, 900}, .visibleFrame = Rect{0, 60, 1440, 815}});
        editor = ws().launch({.bundleID = "com.example.editor", .name = "Editor"});
        loop().runUntilIdle();
    }

    std::uint32_t open(const Rect& frame, int layer = 0, pid_t pid = 0) {
        return windows().open(pid ? pid : editor, {.frame = frame, .title = "Doc", .layer = layer});
    }
    std::shared_ptr<AXUtil> ax = std::make_shared<AXUtil>(*desktop);
    pid_t editor = 0;
};

// The square near the top-left corner of the main display's visible frame (y from 60 to 875).
const Rect kRescued{20, 655, 200, 200};

TEST_F(RescueTest, launchPassBringsParkedWindowsBackInTheBackgroundAndLeavesOthersAlone) {
    const auto parked = open(fittedIntegralRect(Rect{300, 200, 600, 400}, Rect{0, 60, 1440, 815}));
    const auto lost = open(Rect{-50000, -50000, 500, 300});
    const auto normal = open(Rect{300, 200, 600, 400});
    // Parked on a desktop not shown: the window server lists it off screen.
    const auto elsewhere =
        windows().open(editor, {.frame = fittedIntegralRect(Rect{300, 400, 600, 300}, Rect{0, 60, 1440, 815}),
                                .title = "Elsewhere",
                                .onScreen = false});
    Rescuer::rescueInBackground(ax);
    EXPECT_TRUE(desktop->accessibility().axCallLog().empty()) << "the caller is not held up";

    loop().runUntilIdle();
    EXPECT_EQ(windows().frame(parked), kRescued);
    EXPECT_EQ(windows().frame(lost), kRescued);
    EXPECT_EQ(windows().frame(elsewhere), kRescued);
    EXPECT_EQ(windows().frame(normal), (Rect{300, 200, 600, 400}));
    EXPECT_TRUE(windowCalls(windows().element(normal)).empty());
    EXPECT_EQ(logs.log().count("[app] Rescued 3 windows from parking"), 1u);
    // The pass's own reference to the wrapper is gone once the main queue has released it.
    EXPECT_EQ(ax.use_count(), 1);
}

TEST_F(RescueTest, movesNothingWithoutParkedWindowsOrForServerOtherLayerAndMalformedEntries) {
    open(Rect{300, 200, 600, 400});
    const pid_t server = ws().launch({.name = "WindowServer"});
    const auto onLayer = open(Rect{-50000, -50000, 500, 300}, 3);
    const auto owned = open(Rect{-50000, -50000, 500, 300}, 0, server);
    const auto target = open(Rect{-50000, -50000, 500, 300}, 2);
    desktop->windowServer().addRawEntry({{WK::ownerPID, editor}, {WK::layer, 0.5}, {WK::number, target}});
    desktop->windowServer().addRawEntry({{WK::ownerPID, editor}, {WK::layer, 0}, {WK::number, "x"}});

    Rescuer(ax).rescueParkedWindows();
    EXPECT_TRUE(desktop->accessibility().axCallLog().empty());
    EXPECT_EQ(windows().frame(onLayer), (Rect{-50000, -50000, 500, 300}));
    EXPECT_EQ(windows().frame(owned), (Rect{-50000, -50000, 500, 300}));
}

TEST_F(RescueTest, convertsWithThePrimaryScreenWhenADisplaySitsAbove) {
    // A wider display above the primary, shifted right: its parking column is not the primary's.
    const Rect above{200, 900, 1920, 1055};
    desktop->screens().addDisplay({.frame = Rect{200, 900, 1920, 1080}, .visibleFrame = above});
    const auto parked = open(fittedIntegralRect(Rect{600, 1200, 800, 600}, above));
    ASSERT_EQ(windows().frame(parked), (Rect{-599, 1200, 800, 600}));
    // Not parked against the primary: only the second screen's column makes it a parked window.
    EXPECT_FALSE(isParkedOffscreen(windows().frame(parked), {screen({0, 60, 1440, 815})}));

    Rescuer(ax).rescueParkedWindows();
    EXPECT_EQ(windows().frame(parked), kRescued);
    EXPECT_EQ(windows().frameTopLeft(parked), (Rect{20, 45, 200, 200}));
}

} // namespace
} // namespace korvane
