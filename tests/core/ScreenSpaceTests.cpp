// Rectangles between the window server's pixels and those of a toolkit that scales its windows per screen.
#include "core/ScreenSpace.h"

#include "platform/Format.h"

#include <gtest/gtest.h>

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
