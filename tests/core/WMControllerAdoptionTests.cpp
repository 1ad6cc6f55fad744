// Tests of matching window frames to zones and of adopting the focused window: re-topping, taking a
// window over from another display, and carrying a zone over to a window re-created under a new number.
#include "core/WMControllerFixture.h"

namespace korvane::testing {

using ZoneMatchTest = WMControllerTest;
using AdoptTest = WMControllerTest;

TEST_F(ZoneMatchTest, frameGoesToTheZoneHoldingItsCentreElseTheLargestOverlapElseTheNearestCentre) {
    using M = ZoneMatchMethod;
    addState("GRID", Rect{0, 0, 200, 100}, 2);
    const std::pair<Rect, ZoneMatch> rows[] = {
        {Rect{10, 10, 50, 50}, {1, 1.0f, M::centerInside, std::nullopt, 0, true}},
        {Rect{80, 10, 50, 50}, {2, 1.0f, M::centerInside, std::nullopt, 0, true}},
        // A centre on the shared edge belongs to the zone on its far side.
        {Rect{75, 10, 50, 50}, {2, 1.0f, M::centerInside, std::nullopt, 0, true}},
        // 70 x 10 on zone 1, 30 x 10 on zone 2, of a 100 x 40 frame.
        {Rect{30, 90, 100, 40}, {1, 0.175f, M::overlap, 0.175f, 0, true}},
        // Equal overlaps: the first zone visited keeps it.
        {Rect{50, 90, 100, 40}, {1, 0.125f, M::overlap, 0.125f, 0, true}},
        // Centres 100 points apart (1 / 2, capped) and 300 points apart (1 / 4).
        {Rect{240, 40, 20, 20}, {2, 0.49f, M::nearestCenter, std::nullopt, 100, false}},
        {Rect{440, 40, 20, 20}, {2, 0.25f, M::nearestCenter, std::nullopt, 300, false}},
        // Touching a zone's edge is no overlap.
        {Rect{200, 0, 100, 100}, {2, 0.49f, M::nearestCenter, std::nullopt, 100, false}},
    };
    for (const auto& [frame, expected] : rows)
        EXPECT_EQ(controller->zoneForFrame(frame, "GRID"), expected) << platform::describe(frame);
    // A display without a state or without zones falls back to zone 1.
    addState("EMPTY", Rect{}, 0);
    for (const char* uuid : {"NO-STATE", "EMPTY"})
        EXPECT_EQ(controller->zoneForFrame(Rect{10, 10, 50, 50}, uuid),
                  (ZoneMatch{1, 1.0f, M::fallback, std::nullopt, 0, true}));
}

// Zone frames and accessibility frames are both bottom-left: a window in the top half of a top/bottom
// layout matches the top zone.
TEST_F(ZoneMatchTest, windowInTheTopZoneOfATopBottomLayoutMatchesTheTopZone) {
    topBottomZones();
    const auto top = openWindow(editor, Rect{100, 500, 400, 300});
    const auto frame = controller->ax->frame(element(top));
    ASSERT_TRUE(frame);
    EXPECT_EQ(controller->zoneForFrame(*frame, kDisplayA).zoneID, 1);

    // The same through adoption of a window that comes over from another display.
    place(addState(kDisplayB, Rect{1440, 0, 1440, 900}, 2), top, editor, 2);
    controller->adopt(element(top), top, kDisplayA);
    EXPECT_EQ(stack(stateA(), 1), (Wids{top}));
}

TEST_F(AdoptTest, mappedWindowBecomesTheTopOfItsZone) {
    const auto a = openWindow(editor, Rect{100, 100, 300, 300});
    const auto b = openWindow(editor, Rect{200, 100, 300, 300});
    place(stateA(), a, editor, 1);
    place(stateA(), b, editor, 1);
    controller->adopt(element(a), a, kDisplayA);
    EXPECT_EQ(stack(stateA(), 1), (Wids{b, a}));
    EXPECT_TRUE(focused.empty());
}

TEST_F(AdoptTest, windowMappedOnOtherDisplaysMovesOverToTheZoneOfItsFrame) {
    const auto w = openWindow(editor, Rect{900, 100, 300, 300});
    for (const char* uuid : {"DISPLAY-C", "DISPLAY-B"})
        place(addState(uuid, Rect{0, 0, 1440, 900}, 2), w, editor, 1);
    controller->adopt(element(w), w, kDisplayA);
    EXPECT_TRUE(logged(
        "Adopt: cross-display migrate wid=%u from=[\"DISPLAY-B\", \"DISPLAY-C\"] to=DISPLAY-A rid=2", w));
    EXPECT_EQ(stack(stateA(), 2), (Wids{w}));
    EXPECT_EQ(stateA().wins.at(w).lastFrame, (Rect{900, 100, 300, 300}));
    for (const char* uuid : {"DISPLAY-C", "DISPLAY-B"}) {
        EXPECT_FALSE(multi->states[uuid]->zoneOf.contains(w)) << uuid;
        EXPECT_TRUE(multi->states[uuid]->zone(1)->stack.empty()) << uuid;
    }
    EXPECT_EQ(focused, (Wids{w}));
}

TEST_F(AdoptTest, windowRecreatedUnderANewNumberTakesOverTheOldOnesZone) {
    const auto old = openWindow(editor, Rect{900, 100, 300, 300});
    place(stateA(), old, editor, 2);
    const auto renewed = windows().recreate(old);
    ASSERT_NE(renewed, old);

    controller->adopt(element(renewed), renewed, kDisplayA);
    EXPECT_EQ(stack(stateA(), 2), (Wids{renewed}));
    EXPECT_FALSE(stateA().zoneOf.contains(old));
    EXPECT_TRUE(stateA().wins.contains(old));
    EXPECT_EQ(focused, (Wids{renewed}));
}

TEST_F(AdoptTest, migrationIsSkippedWhenItCannotBeTold) {
    const auto a = openWindow(editor, Rect{100, 100, 300, 300});
    const auto fresh = openWindow(editor, Rect{200, 100, 300, 300});
    auto adoptFresh = [&](const char* why) {
        controller->adopt(element(fresh), fresh, kDisplayA);
        EXPECT_FALSE(stateA().zoneOf.contains(fresh)) << why;
    };
    adoptFresh("no mapped window of the process");
    place(stateA(), a, editor, 1);
    adoptFresh("the one mapped window still exists");
    place(stateA(), openWindow(editor, Rect{300, 100, 300, 300}), editor, 2);
    windows().close(a);
    adoptFresh("two mapped windows could have been replaced");
    EXPECT_TRUE(logged("Adopt: skip ambiguous focused window wid=%u pid=%d candidates=2", fresh, editor));
    EXPECT_EQ(stack(stateA(), 1), (Wids{a}));
    EXPECT_TRUE(focused.empty());
    controller->adopt(element(fresh), fresh, "NO-STATE");
    EXPECT_FALSE(stateA().zoneOf.contains(fresh));
}

TEST_F(AdoptTest, auxiliaryReplacementDoesNotTakeTheZone) {
    const auto doc = openWindow(editor, Rect{100, 100, 800, 600});
    place(stateA(), doc, editor, 1);
    windows().close(doc);
    const auto palette = openPalette(editor);
    controller->adopt(element(palette), palette, kDisplayA);
    EXPECT_EQ(stack(stateA(), 1), (Wids{doc}));
    EXPECT_TRUE(focused.empty());
}

TEST_F(AdoptTest, windowsWhoseProcessCannotBeReadNeverTakeEachOthersZone) {
    const pid_t terminal = desktop->workspace().launch({.bundleID = "com.example.terminal", .name = "Term"});
    loop().runUntilIdle();
    const auto other = openWindow(terminal, Rect{100, 100, 300, 300});
    place(stateA(), other, 0, 1); // placed while its process could not be read
    const auto fresh = openWindow(editor, Rect{200, 100, 300, 300});
    auto& ax = desktop->accessibility();
    ax.scriptAXFailure(fresh, sim::kPidOfCall, {platform::AXError::cannotComplete});
    ax.scriptAXFailure(other, sim::kPidOfCall, {platform::AXError::cannotComplete});

    controller->adopt(element(fresh), fresh, kDisplayA);
    EXPECT_EQ(stack(stateA(), 1), (std::vector<WindowID>{other}));
    EXPECT_FALSE(stateA().zoneOf.contains(fresh));
}

} // namespace korvane::testing
