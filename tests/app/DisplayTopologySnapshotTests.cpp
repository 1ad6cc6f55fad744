// The display topology snapshot: its order, its digest text and what changes the digest.
#include "app/DisplayTopologySnapshot.h"

#include "platform/sim/SimDesktop.h"

#include <gtest/gtest.h>

#include <utility>

using namespace korvane;

TEST(DisplayTopologySnapshot, entriesAreOrderedByUUIDThenLeftEdgeAndTheDigestRoundsHalvesAwayFromZero) {
    sim::ScopedSimDesktop desktop;
    auto& screens = desktop->screens();
    screens.addDisplay({.frame = Rect{0.5, -0.5, 2.4999, 1080}, .backingScale = 2, .uuid = "B"});
    screens.addDisplay({.frame = Rect{300, 0, 100, 100}, .visibleFrame = Rect{300, 0, 100, 75}, .uuid = "A"});
    screens.addDisplay({.frame = Rect{-100, 0, 100, 100}, .uuid = "A"});
    EXPECT_EQ(DisplayTopologySnapshot::capture(screens).digest,
              "A|x:-100,y:0,w:100,h:100|x:-100,y:0,w:100,h:100|main:0|scale:1.00;"
              "A|x:300,y:0,w:100,h:100|x:300,y:0,w:100,h:75|main:0|scale:1.00;"
              "B|x:1,y:-1,w:2,h:1080|x:1,y:-1,w:2,h:1080|main:1|scale:2.00");
}

TEST(DisplayTopologySnapshot, scaleVisibleAreaAndTheMainScreenChangeTheDigestAndReconnectingDoesNot) {
    sim::ScopedSimDesktop desktop;
    auto& screens = desktop->screens();
    const int main = screens.addDisplay({.frame = Rect{0, 0, 1512, 982}, .uuid = "M"});
    const int side = screens.addDisplay({.frame = Rect{1512, 0, 1920, 1080}, .uuid = "S"});
    std::string digest = DisplayTopologySnapshot::capture(screens).digest;
    // Geometry changes are the display observer's cases; these change nothing else the digest shows.
    auto changes = [&] {
        const std::string now = DisplayTopologySnapshot::capture(screens).digest;
        return std::exchange(digest, now) != now;
    };
    screens.setBackingScale(main, 2);
    EXPECT_TRUE(changes());
    screens.setVisibleFrame(side, Rect{1512, 0, 1920, 1050});
    EXPECT_TRUE(changes());
    screens.setMainDisplay(side);
    EXPECT_TRUE(changes());
    screens.removeDisplay(side);
    screens.setMainDisplay(screens.addDisplay(
        {.frame = Rect{1512, 0, 1920, 1080}, .visibleFrame = Rect{1512, 0, 1920, 1050}, .uuid = "S"}));
    EXPECT_FALSE(changes());
}
