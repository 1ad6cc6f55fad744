// A window frame as fractions of its screen's visible frame.
#include "scenes/model/NormalizedFrame.h"

#include <gtest/gtest.h>

using namespace korvane;

namespace {

platform::ScreenInfo screen(Rect visible) {
    platform::ScreenInfo s;
    s.frame = s.visibleFrame = visible;
    return s;
}

} // namespace

TEST(NormalizedFrame, fractionsOfTheVisibleFrameClampedToTheUnitRange) {
    platform::ScreenInfo s = screen(Rect(100, 50, 1000, 800));
    EXPECT_EQ(NormalizedFrame(Rect(350, 450, 500, 400), s), NormalizedFrame(0.25, 0.5, 0.5, 0.5));
    EXPECT_EQ(NormalizedFrame(Rect(-200, 50, 2000, 800), s),
              NormalizedFrame(0, 0, 1, 1)); // off the left edge
    EXPECT_EQ(NormalizedFrame(Rect(10, 10, 10, 10), screen(Rect(0, 0, 0, 800))), NormalizedFrame(0, 0, 1, 1));
    EXPECT_EQ(std::hash<NormalizedFrame>{}(NormalizedFrame(-0.0, 0, 1, 1)),
              std::hash<NormalizedFrame>{}(NormalizedFrame(0.0, 0, 1, 1)));
}
