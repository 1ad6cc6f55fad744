// Pushes as placement transactions on a real X server through the application object: an xterm pushed into
// the right zone of the second monitor fills it and tops its stack, and a push aimed at an epoch that no
// longer holds leaves the xterm where it stands.
#include "CoreOnX11.h"

#include "app/DisplayLayouts.h"
#include "core/MultiDisplayState.h"
#include "shell/AppDelegate.h"
#include "tracking/MappingTransaction.h"

namespace korvane::x11::test {
namespace {

using PlacementOnX11Test = CoreOnX11Test;

TEST_F(PlacementOnX11Test, aPushedXtermFillsTheRightZoneOfTheSecondMonitorAndAStaleEpochMovesNothing) {
    auto app = AppDelegate::create(*desktop);
    app->displayLayouts().initializeAllDisplays();
    const auto screen = screenNamed(kSecondaryName);
    const std::string uuid = screen.displayUUID;
    const auto state = app->multiState()->states.at(uuid);
    ASSERT_GE(state->layout.zones.size(), 2u);
    const Zone* right = nullptr;
    for (const auto& [id, zone] : state->layout.zones)
        if (!right || zone.frame.minX() > right->frame.minX()) right = &zone;
    const int rightID = right->id;
    const Rect rightFrame = right->frame;

    const auto x = xterm("Pushed");
    const auto id = app->transactionalPush(elementOf(x), rightID, uuid, MappingIntentSource::hotkeyPush,
                                           "hotkey.push.right", MoveActivation::activate, 2.5);
    ASSERT_TRUE(id.has_value());
    EXPECT_TRUE(runUntil(
        [&] { return app->mappingTransactions()->intent(*id)->stage == MappingIntentStage::committed; }));
    const auto frame = ax->frame(elementOf(x));
    ASSERT_TRUE(frame.has_value());
    EXPECT_TRUE(fillsZone(*frame, rightFrame, screen.visibleFrame));
    EXPECT_EQ(state->layout.zones.at(rightID).stack.back(), x.window);

    // The display's zones were laid out again since the push was aimed.
    const std::int64_t aimedAt = app->mappingTransactions()->currentEpoch(uuid);
    app->mappingTransactions()->bumpEpoch(uuid, "applyRegionSet:test");
    const auto other = xterm("Stays", "60x20+2400+300");
    const Rect before = session().frameOf(other.window);
    const auto stack = state->layout.zones.at(rightID).stack;
    EXPECT_FALSE(app->transactionalPush(elementOf(other), rightID, uuid, MappingIntentSource::hotkeyPush,
                                        "hotkey.push.right", MoveActivation::activate, 2.5, aimedAt));
    runUntil([] { return false; }, milliseconds(200)); // a move would have shown by now
    EXPECT_EQ(session().frameOf(other.window), before);
    EXPECT_EQ(state->layout.zones.at(rightID).stack, stack);
}

} // namespace
} // namespace korvane::x11::test
