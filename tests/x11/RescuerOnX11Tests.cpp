// The launch rescue on a real X server: windows parked just off the primary monitor's visible frame are
// found in the live window list and brought back by the pass on the backend's background queue; others
// are left where they are (where exactly parking begins is the simulated tests' concern).
#include "CoreOnX11.h"

#include "core/Rescuer.h"
#include "platform/sim/LogCapture.h"

namespace korvane::x11::test {
namespace {

using RescuerOnX11Test = CoreOnX11Test;

TEST_F(RescuerOnX11Test, parkedWindowsAreBroughtBackByTheBackgroundPass) {
    sim::ScopedLogCapture logs;
    const auto tall = xterm("Parked tall", "60x30+2000+100");
    const auto wide = xterm("Parked wide", "90x10+2200+300");
    const auto normal = xterm("Left alone", "60x20+2400+500");
    const Rect primary = screenNamed(kPrimaryName).visibleFrame;

    // Parked against the primary monitor, whose left edge borders the side monitor: the window manager
    // keeps some of every window on a monitor, so a window parked off the root's own edge, or sent
    // thousands of points away, would be pulled back and never count as parked.
    for (const auto& x : {tall, wide}) {
        const Rect parking = fittedIntegralRect(*ax->frame(elementOf(x)), primary);
        ax->moveResize(elementOf(x), parking);
        auto frame = ax->frame(elementOf(x));
        ASSERT_TRUE(frame.has_value());
        EXPECT_EQ(*frame, parking) << platform::describe(*frame);
        EXPECT_TRUE(isParkedOffscreen(*frame));
    }
    const Rect normalBefore = *ax->frame(elementOf(normal));
    ASSERT_FALSE(isParkedOffscreen(normalBefore));

    Rescuer::rescueInBackground(ax);
    ASSERT_TRUE(runUntil([&] { return logs.log().contains("Rescued"); }));
    EXPECT_EQ(logs.log().count("[app] Rescued 2 windows from parking"), 1u);
    // The pass lets go of the shared wrapper on the main thread once it is done.
    EXPECT_TRUE(runUntil([&] { return ax.use_count() == 1; }));

    // Both on the 200 by 200 square near the top-left corner of the main display's visible frame.
    const Rect square{primary.minX() + 20, primary.maxY() - 220, 200, 200};
    for (const auto& x : {tall, wide}) {
        auto frame = ax->frame(elementOf(x));
        ASSERT_TRUE(frame.has_value());
        EXPECT_TRUE(fillsZone(*frame, square, primary));
        EXPECT_FALSE(isParkedOffscreen(*frame));
    }
    EXPECT_EQ(ax->frame(elementOf(normal)), normalBefore);
}

} // namespace
} // namespace korvane::x11::test
