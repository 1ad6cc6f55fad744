// Scenario tests of pruning a zone's stack: which windows leave (gone, or on another display), which
// stay (doubtful cases), the report lines and the suppression after a wake.
#include "core/ISODate.h"
#include "core/WMControllerFixture.h"

#include "platform/Format.h"

#include <gtest/gtest.h>

namespace korvane::testing {
namespace {

class PruneTest : public WMControllerTest {
  protected:
    void SetUp() override {
        WMControllerTest::SetUp();
        viewer = desktop->workspace().launch({.bundleID = "com.example.viewer", .name = "Viewer"});
        loop().runUntilIdle();
    }
    // A stack entry and mapping without a record, as a rebuilt stack can have.
    void placeUnrecorded(std::uint32_t n, int zone) {
        stateA().layout.zones.at(zone).stack.push_back(n);
        stateA().zoneOf[n] = zone;
    }
    void prune() { controller->prune(1, stateA()); }
    void addDisplayB(const Rect& frame) {
        desktop->screens().addDisplay({.frame = frame, .uuid = std::string(kDisplayB)});
    }

    pid_t viewer = 0;
};

TEST_F(PruneTest, windowsOfAnExitedProcessThatTheServerNoLongerListsAreRemoved) {
    const auto a = openWindow(viewer, Rect{100, 100, 300, 300});
    const auto c = openWindow(editor, Rect{200, 100, 300, 300});
    const auto b = openWindow(viewer, Rect{300, 100, 300, 300});
    for (auto [n, pid] : {std::pair{a, viewer}, {c, editor}, {b, viewer}})
        place(stateA(), n, pid, 1);
    desktop->workspace().quit(viewer);
    loop().runUntilIdle();

    prune();
    EXPECT_EQ(loggedCount("Prune: Removing dead windows from region 1: [%u, %u]", a, b), 1u);
    EXPECT_EQ(stack(stateA(), 1), (std::vector<WindowID>{c}));
    EXPECT_EQ(stateA().zone(1)->active, 0);
    EXPECT_FALSE(stateA().zoneOf.contains(a) || stateA().zoneOf.contains(b));
    EXPECT_TRUE(stateA().wins.contains(a) && stateA().wins.contains(b)) << "their records stay";
}

TEST_F(PruneTest, nothingIsPrunedBeforeTheSuppressionEnds) {
    const auto a = openWindow(viewer, Rect{100, 100, 300, 300});
    place(stateA(), a, viewer, 1);
    desktop->workspace().quit(viewer);
    loop().runUntilIdle();
    const Nanos until = loop().wallClock() + seconds(8.0);
    controller->suppressPruneUntil = until;

    prune();
    EXPECT_TRUE(logged("Prune: suppressed rid=1 until=" + isoDateString(until)));
    EXPECT_EQ(stack(stateA(), 1), (std::vector<WindowID>{a}));
    loop().advance(seconds(8.0) - 1);
    prune();
    EXPECT_EQ(stack(stateA(), 1), (std::vector<WindowID>{a}));
    loop().advance(1); // the instant itself is no longer before it
    prune();
    EXPECT_TRUE(stack(stateA(), 1).empty());
}

TEST_F(PruneTest, staleElementOfAListedWindowStaysAndIsReported) {
    std::vector<WindowID> numbers;
    for (int i = 0; i < 2; ++i) {
        numbers.push_back(openWindow(editor, Rect{100.0 + i, 100, 300, 300}));
        place(stateA(), numbers.back(), editor, 1);
        desktop->accessibility().scriptAXFailure(numbers.back(), sim::kPidOfCall,
                                                 {platform::AXError::invalidUIElement});
    }
    prune();
    EXPECT_TRUE(logged("Prune: Keeping 2 windows in R1 due to CG existence (stale mapping). sample=" +
                       platform::describeList(numbers)));
    EXPECT_EQ(stack(stateA(), 1), numbers);
}

TEST_F(PruneTest, recordedWindowOnAnotherDisplayIsRemovedAndDoubtfulOnesStay) {
    addDisplayB(Rect{-1440, 0, 1440, 900});
    const auto moved = openWindow(editor, Rect{100, 100, 300, 300});
    // Parked with its right edge one point past the display's left edge: its centre is on display B.
    const auto edgeParked = openWindow(editor, Rect{-799, 100, 800, 600});
    const auto farParked = openWindow(editor, Rect{-50000, -50000, 300, 300});
    const auto nowhere = openWindow(editor, Rect{5000, 100, 300, 300});
    const auto home = openWindow(editor, Rect{200, 100, 300, 300});
    for (auto n : {moved, edgeParked, farParked, nowhere, home})
        place(stateA(), n, editor, 1);
    desktop->windows().setFrame(moved, Rect{-1000, 100, 300, 300});

    prune();
    EXPECT_TRUE(logged(
        "Prune: Removing 1 window(s) from R1 moved across displays. sample=[(%u, \"DISPLAY-B\")]", moved));
    EXPECT_TRUE(logged("Prune: Removing dead windows from region 1: [%u]", moved));
    EXPECT_EQ(stack(stateA(), 1), (std::vector<WindowID>{edgeParked, farParked, nowhere, home}));
}

TEST_F(PruneTest, unrecordedWindowsAreJudgedByTheWindowList) {
    addDisplayB(Rect{1440, 0, 1440, 900});
    const auto sameDisplay = openWindow(editor, Rect{100, 100, 300, 300});
    const auto otherDisplay = openWindow(editor, Rect{1600, 100, 300, 300});
    const auto parked = openWindow(editor, Rect{-50000, -50000, 300, 300});
    const auto gone = openWindow(editor, Rect{300, 100, 300, 300});
    const WindowID noBounds = 4242;
    desktop->windowServer().addRawEntry({{"Number", noBounds}, {"Layer", 0}, {"OwnerPID", editor}});
    for (auto n : {sameDisplay, otherDisplay, parked, gone, noBounds})
        placeUnrecorded(n, 1);
    desktop->windows().close(gone);

    prune();
    EXPECT_TRUE(
        logged("Prune: Removing 1 window(s) from R1 moved across displays. sample=[(%u, \"DISPLAY-B\")]",
               otherDisplay));
    EXPECT_EQ(stack(stateA(), 1), (std::vector<WindowID>{sameDisplay, parked, noBounds}));
}

// Window-list bounds count from the primary display's top edge. A display above the primary must not
// shift that edge, or windows on the primary would seem to be on the display above and be dropped.
TEST_F(PruneTest, displayAboveThePrimaryDoesNotPullWindowsOverToIt) {
    addDisplayB(Rect{0, 900, 1440, 900});
    const auto low = openWindow(editor, Rect{100, 100, 300, 300});
    const auto high = openWindow(editor, Rect{100, 1200, 300, 300});
    placeUnrecorded(low, 1);
    placeUnrecorded(high, 1);
    prune();
    EXPECT_EQ(stack(stateA(), 1), (std::vector<WindowID>{low}));
    EXPECT_TRUE(logged(
        "Prune: Removing 1 window(s) from R1 moved across displays. sample=[(%u, \"DISPLAY-B\")]", high));
}

// A window the state has no record of stays while the window server lists it on layer 0, or on a layer
// that does not read as an integer; listed without bounds, it cannot be placed on another display.
TEST_F(PruneTest, unrecordedWindowCountsAsListedOnlyOnLayerZeroOrAnUnknownLayer) {
    struct Row {
        nlohmann::json layer; // null: no layer key
        bool present;
    } rows[] = {
        {0, true},   {nullptr, true}, {"high", true}, {0.0, true},
        {0.5, true}, {3, false},      {3.0, false},   {-1, false},
    };
    WindowID number = 5000;
    std::vector<WindowID> listed;
    for (const auto& row : rows) {
        nlohmann::json entry = {{"Number", ++number}, {"OwnerPID", editor}};
        if (!row.layer.is_null()) entry["Layer"] = row.layer;
        desktop->windowServer().addRawEntry(entry);
        placeUnrecorded(number, 1);
        if (row.present) listed.push_back(number);
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
    struct Row {
        Rect rect;
        std::optional<std::string> uuid;
    } rows[] = {
        {Rect{100, 100, 200, 200}, kDisplayA},
        {Rect{1340, 100, 200, 200}, kDisplayB}, // centre on the shared edge belongs to the right display
        {Rect{1339, 100, 200, 200}, kDisplayA},
        {Rect{3000, 100, 200, 200}, std::nullopt},
    };
    for (const auto& row : rows)
        EXPECT_EQ(controller->displayUUID(row.rect), row.uuid) << platform::describe(row.rect);
}

} // namespace
} // namespace korvane::testing
