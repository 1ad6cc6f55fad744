// Scenario tests of pruning a zone's stack: which windows leave (gone, or on another display), which
// stay (doubtful cases), the report lines and the suppression after a wake. The windows of an application
// that quit are pruned in the cycle tests.
#include "core/ISODate.h"
#include "core/WMControllerFixture.h"

namespace korvane::testing {

class PruneTest : public WMControllerTest {
  protected:
    // A stack entry and mapping without a record, as a rebuilt stack can have.
    void placeUnrecorded(std::uint32_t n, int zone) {
        stateA().layout.zones.at(zone).stack.push_back(n);
        stateA().zoneOf[n] = zone;
    }
    void prune() { controller->prune(1, stateA()); }
    void addDisplayB(const Rect& frame) {
        desktop->screens().addDisplay({.frame = frame, .uuid = std::string(kDisplayB)});
    }
};

TEST_F(PruneTest, nothingIsPrunedBeforeTheSuppressionEnds) {
    const pid_t viewer = ws().launch({.bundleID = "com.example.viewer", .name = "Viewer"});
    const auto a = openWindow(viewer, Rect{100, 100, 300, 300});
    place(stateA(), a, viewer, 1);
    ws().quit(viewer);
    loop().runUntilIdle();
    const Nanos until = loop().wallClock() + seconds(8.0);
    controller->suppressPruneUntil = until;

    prune();
    EXPECT_TRUE(logged("Prune: suppressed rid=1 until=" + isoDateString(until)));
    EXPECT_EQ(stack(stateA(), 1), (Wids{a}));
    loop().advance(seconds(8.0) - 1);
    prune();
    EXPECT_EQ(stack(stateA(), 1), (Wids{a}));
    loop().advance(1); // the instant itself is no longer before it
    prune();
    EXPECT_TRUE(stack(stateA(), 1).empty());
}

TEST_F(PruneTest, staleElementOfAListedWindowStaysAndIsReported) {
    Wids numbers;
    for (int i = 0; i < 2; ++i) {
        numbers.push_back(openWindow(editor, Rect{100.0 + i, 100, 300, 300}));
        place(stateA(), numbers.back(), editor, 1);
        desktop->accessibility().scriptAXFailure(numbers.back(), sim::kPidOfCall,
                                                 {platform::AXError::invalidUIElement});
    }
    prune();
    EXPECT_TRUE(
        logged("Prune: Keeping 2 windows in R1 due to _NET_CLIENT_LIST_STACKING existence (stale mapping). "
               "sample=" +
               platform::describeList(numbers)));
    EXPECT_EQ(stack(stateA(), 1), numbers);
}

// The viewer quit with its window in the zone, and the window list now gives that window's number to a
// window of the editor: the number is all the two share, and the zone lets go of the viewer's.
TEST_F(PruneTest, aRecordedWindowWhoseNumberTheWindowListGivesAnotherProcessIsRemoved) {
    const pid_t viewer = ws().launch({.bundleID = "com.example.viewer", .name = "Viewer"});
    const auto stays = openWindow(editor, Rect{150, 100, 300, 300});
    const auto closed = openWindow(viewer, Rect{100, 100, 300, 300});
    place(stateA(), stays, editor, 1);
    place(stateA(), closed, viewer, 1);
    ws().quit(viewer);
    loop().runUntilIdle();
    openWindow(editor, Rect{400, 100, 300, 300}, {.number = closed});

    prune();
    EXPECT_EQ(stack(stateA(), 1), (Wids{stays}));
    EXPECT_FALSE(stateA().zoneOf.contains(closed));
    EXPECT_FALSE(logged("stale mapping"));
}

TEST_F(PruneTest, recordedWindowOnAnotherDisplayIsRemovedAndDoubtfulOnesStay) {
    addDisplayB(Rect{-1440, 0, 1440, 900});
    const auto moved = openWindow(editor, Rect{100, 100, 300, 300});
    const auto movedToo = openWindow(editor, Rect{100, 100, 300, 300});
    // Parked with its right edge one point past the display's left edge, which lays it on display B: its
    // mark keeps it a parked window.
    const auto edgeParked = openWindow(editor, Rect{-799, 100, 800, 600});
    desktop->accessibility().setAttribute(windows().element(edgeParked), platform::kParkedAttribute, true);
    const auto farParked = openWindow(editor, Rect{-50000, -50000, 300, 300});
    const auto nowhere = openWindow(editor, Rect{5000, 100, 300, 300});
    const auto home = openWindow(editor, Rect{200, 100, 300, 300});
    for (auto n : {moved, edgeParked, farParked, nowhere, home, movedToo})
        place(stateA(), n, editor, 1);
    windows().setFrame(moved, Rect{-1000, 100, 300, 300});
    windows().setFrame(movedToo, Rect{-900, 100, 300, 300});

    prune();
    // Read by whoever wonders where the windows went: each window with the display it is on now.
    EXPECT_TRUE(logged("Prune: Removing 2 window(s) from R1 moved across displays. "
                       "sample=[(%u, \"DISPLAY-B\"), (%u, \"DISPLAY-B\")]",
                       moved, movedToo));
    EXPECT_EQ(stack(stateA(), 1), (Wids{edgeParked, farParked, nowhere, home}));
}

// Window-list bounds count from the primary display's top edge. A display above the primary must not
// shift that edge, or windows on the primary would seem to be on the display above and be dropped.
TEST_F(PruneTest, unrecordedWindowsAreJudgedByTheWindowListWithBoundsFromThePrimaryTopEdge) {
    addDisplayB(Rect{0, 900, 1440, 900});
    const auto low = openWindow(editor, Rect{100, 100, 300, 300});
    const auto high = openWindow(editor, Rect{100, 1200, 300, 300});
    const auto parked = openWindow(editor, Rect{-50000, -50000, 300, 300});
    const auto gone = openWindow(editor, Rect{300, 100, 300, 300});
    const WindowID noBounds = 4242;
    desktop->windowServer().addRawEntry({{"Number", noBounds}, {"Layer", 0}, {"OwnerPID", editor}});
    for (auto n : {low, high, parked, gone, noBounds})
        placeUnrecorded(n, 1);
    windows().close(gone);

    prune();
    EXPECT_TRUE(logged(
        "Prune: Removing 1 window(s) from R1 moved across displays. sample=[(%u, \"DISPLAY-B\")]", high));
    EXPECT_EQ(stack(stateA(), 1), (Wids{low, parked, noBounds}));
}

// With no main screen named, bounds count from the tallest screen's top edge, here the primary's: the
// window stays, not taken for one on the shorter display below.
TEST_F(PruneTest, withoutAMainScreenBoundsCountFromTheTallestTopEdge) {
    addDisplayB(Rect{0, -720, 1280, 720});
    const auto low = openWindow(editor, Rect{100, 100, 300, 300});
    placeUnrecorded(low, 1);
    desktop->screens().setNamesMainScreen(false);
    prune();
    EXPECT_EQ(stack(stateA(), 1), (Wids{low}));
}

// A window the state has no record of stays while the window server lists it on layer 0, or on a layer
// that does not read as an integer; listed without bounds, it cannot be placed on another display.
TEST_F(PruneTest, unrecordedWindowCountsAsListedOnlyOnLayerZeroOrAnUnknownLayer) {
    // The entry's layer (null: no layer key) and whether the window counts as listed.
    const std::pair<nlohmann::json, bool> rows[] = {{0, true},    {nullptr, true}, {"high", true},
                                                    {0.0, true},  {0.5, true},     {3, false},
                                                    {3.0, false}, {-1, false}};
    WindowID number = 5000;
    Wids listed;
    for (const auto& [layer, present] : rows) {
        nlohmann::json entry = {{"Number", ++number}, {"OwnerPID", editor}};
        if (!layer.is_null()) entry["Layer"] = layer;
        desktop->windowServer().addRawEntry(entry);
        placeUnrecorded(number, 1);
        if (present) listed.push_back(number);
    }
    placeUnrecorded(99999, 1);
    prune();
    EXPECT_EQ(stack(stateA(), 1), listed);

    // Without a window list nothing proves them alive.
    desktop->windowServer().setAvailable(false);
    prune();
    EXPECT_TRUE(stack(stateA(), 1).empty());
}

TEST_F(PruneTest, displayOfARectangleIsTheFirstScreenHoldingItsCentre) {
    addDisplayB(Rect{1440, 0, 1440, 900});
    const std::pair<Rect, std::optional<std::string>> rows[] = {
        {Rect{100, 100, 200, 200}, kDisplayA},
        {Rect{1340, 100, 200, 200}, kDisplayB}, // centre on the shared edge belongs to the right display
        {Rect{1339, 100, 200, 200}, kDisplayA},
        {Rect{3000, 100, 200, 200}, std::nullopt},
    };
    for (const auto& [rect, uuid] : rows)
        EXPECT_EQ(controller->displayUUID(rect), uuid) << platform::describe(rect);
}

} // namespace korvane::testing
