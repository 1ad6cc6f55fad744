// Pushes as placement transactions on a real X server through the application object: an xterm pushed into
// the right zone of the second monitor fills it and tops its stack, and a push aimed at an epoch that no
// longer holds leaves the xterm where it stands; the push keys' actions take the focused xterm from the
// zone its frame stands in to the next one, to a numbered zone and to the other monitor.
#include "CoreOnX11.h"

#include "app/DisplayLayouts.h"
#include "core/MultiDisplayState.h"
#include "input/HotkeyPushActions.h"
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
    EXPECT_EQ(app->mappingTransactions()->intent(*id)->stage, MappingIntentStage::committed);
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

TEST_F(PlacementOnX11Test, thePushActionsMoveTheFocusedXtermByTheZoneItsFrameStandsInAndAcrossMonitors) {
    auto app = AppDelegate::create(*desktop);
    app->displayLayouts().initializeAllDisplays();
    const auto side = screenNamed(kSecondaryName);
    const auto primary = screenNamed(kPrimaryName);
    const auto& sideZones = app->multiState()->states.at(side.displayUUID)->layout.zones;
    ASSERT_EQ(sideZones.size(), 2u);

    // At the top of the shorter monitor: its frame's middle, flipped a second time, would lie below every
    // zone of it.
    const auto x = xterm("Pushed", "60x20+100+0");
    ASSERT_TRUE(runUntil([&] { return session().activeWindow() == x.window; }));
    app->pushActions().handlePushRightHotkey();
    EXPECT_TRUE(
        fillsZone(ax->frame(elementOf(x)).value_or(Rect{}), sideZones.at(2).frame, side.visibleFrame));
    app->pushActions().handlePushRegionHotkey(1);
    EXPECT_TRUE(
        fillsZone(ax->frame(elementOf(x)).value_or(Rect{}), sideZones.at(1).frame, side.visibleFrame));

    app->pushActions().handlePushDisplayHotkey(+1);
    const auto& primaryZones = app->multiState()->states.at(primary.displayUUID)->layout.zones;
    EXPECT_TRUE(
        fillsZone(ax->frame(elementOf(x)).value_or(Rect{}), primaryZones.at(1).frame, primary.visibleFrame));
    EXPECT_EQ(primaryZones.at(1).stack.back(), x.window);
}

} // namespace
} // namespace korvane::x11::test
