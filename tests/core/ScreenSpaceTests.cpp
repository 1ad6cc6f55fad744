// Rectangles between the window server's pixels and those of a toolkit that scales its windows per screen.
#include "core/ScreenSpace.h"

#include "platform/Format.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace korvane;

namespace {

// Two monitors side by side as the server has them, a shorter one on the left, each screen's corner kept
// where the server has it as the toolkit keeps it.
std::vector<ScaledScreen> sideBySide(double leftRatio, double rightRatio) {
    return {ScaledScreen{Rect{0, 0, 1920, 900}, Point{0, 0}, leftRatio},
            ScaledScreen{Rect{1920, 0, 1920, 1080}, Point{1920, 0}, rightRatio}};
}

} // namespace

TEST(ScaledScreens, aRectangleIsMeasuredFromItsScreensCornerInThatScreensPixels) {
    struct Row {
        const char* what;
        std::vector<ScaledScreen> screens;
        Rect native;
        Rect logical;
    };
    const Row rows[] = {
        {"both at 2: the right screen's right half", sideBySide(2, 2), Rect{2880, 30, 960, 1050},
         Rect{2400, 15, 480, 525}},
        {"both at 2: the whole left screen", sideBySide(2, 2), Rect{0, 0, 1920, 900}, Rect{0, 0, 960, 450}},
        {"left at 1.5: a window on it", sideBySide(1.5, 1), Rect{960, 450, 300, 150},
         Rect{640, 300, 200, 100}},
        {"left at 1.5: the right screen is left as it is", sideBySide(1.5, 1), Rect{2000, 100, 600, 400},
         Rect{2000, 100, 600, 400}},
        {"right at 1.5: the main screen's top strip", sideBySide(1, 1.5), Rect{1920, 0, 1920, 45},
         Rect{1920, 0, 1280, 30}},
        // Below the shorter left screen: the screen nearest to it decides.
        {"both at 2: off every screen", sideBySide(2, 2), Rect{100, 1000, 200, 40}, Rect{50, 500, 100, 20}},
        {"no screens: unchanged", {}, Rect{10, 20, 30, 40}, Rect{10, 20, 30, 40}},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(logicalFromNative(row.native, row.screens), row.logical)
            << row.what << ": " << platform::describe(logicalFromNative(row.native, row.screens));
        EXPECT_EQ(nativeFromLogical(row.logical, row.screens), row.native)
            << row.what << ": " << platform::describe(nativeFromLogical(row.logical, row.screens));
    }
}

// A main monitor of 2560 × 1440 at 1.5 is 1706⅔ × 960 of the toolkit's pixels: rounded to the nearest, a
// rectangle to its right edge would be 1707 wide, which the toolkit makes 2561 of the server's pixels, one
// onto the monitor beside it. Rounded inside, what the toolkit makes of it stays on its monitor.
TEST(ScaledScreens, aRectangleInWholePixelsOfTheToolkitStaysOnItsScreen) {
    const std::vector<ScaledScreen> screens{ScaledScreen{Rect{0, 0, 2560, 1440}, Point{0, 0}, 1.5},
                                            ScaledScreen{Rect{2560, 0, 1920, 1080}, Point{2560, 0}, 1.5}};
    const std::vector<ScaledScreen> at125{ScaledScreen{Rect{0, 0, 1366, 768}, Point{0, 0}, 1.25}};
    struct Row {
        const char* what;
        const std::vector<ScaledScreen>& screens;
        Rect native;
        Rect logical;
    };
    const Row rows[] = {
        {"the whole main monitor", screens, Rect{0, 0, 2560, 1440}, Rect{0, 0, 1706, 960}},
        {"its right half", screens, Rect{1280, 45, 1280, 1395}, Rect{853, 30, 853, 930}},
        {"a zone inside it, rounded to the nearest", screens, Rect{100, 100, 301, 301},
         Rect{67, 67, 200, 200}},
        {"the monitor beside it, whole pixels already", screens, Rect{2560, 0, 1920, 1080},
         Rect{2560, 0, 1280, 720}},
        {"1366 × 768 at 1.25", at125, Rect{0, 0, 1366, 768}, Rect{0, 0, 1092, 614}},
        {"no screens: rounded alone", {}, Rect{10.4, 20.6, 30, 40}, Rect{10, 21, 30, 40}},
    };
    for (const auto& row : rows) {
        const Rect logical = wholeLogicalInside(row.native, row.screens);
        EXPECT_EQ(logical, row.logical) << row.what << ": " << platform::describe(logical);
        if (row.screens.empty()) continue;
        // As the toolkit makes it: the place and the size each multiplied and rounded.
        const double ratio = row.screens.front().ratio;
        const Rect& screen = row.native.minX() >= 2560 ? row.screens[1].native : row.screens[0].native;
        const double far = std::round((logical.minX() - screen.minX()) * ratio) +
                           std::round(logical.width() * ratio) + screen.minX();
        EXPECT_LE(far, screen.maxX()) << row.what;
    }
}
