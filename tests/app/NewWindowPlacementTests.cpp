// New windows on the simulated desktop as the tracker reports them: the window of an application that a
// scene restore launched goes into the zone its intent names, once per intent; every other window stays.
#include "PlacementFixture.h"

#include "app/NewWindowPlacement.h"
#include "platform/TextCase.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace korvane;

namespace {

constexpr const char* kMail = "com.example.mail";
const Rect kOpenedAt{50, 50, 400, 300};

class NewWindowPlacementTest : public korvane::testing::PlacementTest {
  protected:
    // An automatic-launch intent as the scene restore stores it for an application without a window.
    std::string storeAutoLaunchIntent(const std::string& bundleID, std::int64_t zone) {
        mapping->expireStale();
        MappingIntent intent;
        intent.id = desktop->process().makeUUID();
        intent.source = MappingIntentSource::autoLaunch;
        intent.targetDisplayUUID = kD;
        intent.targetZoneID = zone;
        intent.displayEpoch = mapping->currentEpoch(kD);
        intent.bundleID = bundleID;
        intent.createdAt = mapping->nowProvider();
        intent.expiresAt = intent.createdAt + seconds(8.0);
        intent.note = "scene-restore-autolaunch";
        mapping->intents[intent.id] = intent;
        return intent.id;
    }
    WindowID openWindow(pid_t pid, const sim::SimWindowSpec& spec = {.frame = kOpenedAt, .title = "Inbox"}) {
        return open(pid, spec);
    }
    // What the tracker does when the window joins its managed set.
    void report(WindowID wid, pid_t pid) {
        placement->windowTrackerDidCreateWindow(desktop->windows().element(wid), pid);
    }
    // The moves the reports started run to their end: 50 ms after a window moves, or, for a window that
    // nobody moves, once its window manager's answers have been waited for.
    void settle() { desktop->loop().advance(seconds(2)); }
    int zoneOf(WindowID wid) {
        auto found = stateD().zoneOf.find(wid);
        return found == stateD().zoneOf.end() ? 0 : found->second;
    }

    std::shared_ptr<NewWindowPlacement> placement = NewWindowPlacement::create(
        *desktop, NewWindowPlacement::Dependencies{mapping, controller, ax, classifier});
};

TEST_F(NewWindowPlacementTest, theFirstWindowOfALaunchedApplicationIsPlacedOnTheNextTurnWithoutActivation) {
    const WindowID earlier = placed(3, "Earlier");
    const std::string id = storeAutoLaunchIntent(kMail, 3);
    const pid_t front = launch("com.example.editor");
    desktop->workspace().bringToFront(front);
    const pid_t mail = launch(kMail);
    const WindowID first = openWindow(mail);

    report(first, mail);
    // Claimed at once, moved only once the tracker's batch is done.
    EXPECT_EQ(mapping->intent(id)->stage, MappingIntentStage::resolved);
    EXPECT_EQ(desktop->windows().frame(first), kOpenedAt);
    settle();

    EXPECT_TRUE(logged("[Tracker] AutoLaunch intent matched wid=" + std::to_string(first) +
                       " bundle=com.example.mail zone=3 display=D"));
    EXPECT_EQ(desktop->windows().frame(first), zoneFrame(3));
    EXPECT_EQ(stackOf(3), (std::vector<WindowID>{earlier, first}));
    EXPECT_TRUE(logged("AutoPush rid=3: moved wid=" + std::to_string(first)));
    EXPECT_EQ(desktop->workspace().frontmostApplication()->pid, front);
    EXPECT_EQ(mapping->intent(id)->stage, MappingIntentStage::committed);
    EXPECT_EQ(mapping->intent(id)->resolvedWindowID, first);

    // The application's next window finds the intent used up.
    const WindowID second = openWindow(mail);
    report(second, mail);
    settle();
    EXPECT_EQ(desktop->windows().frame(second), kOpenedAt);
    EXPECT_EQ(zoneOf(second), 0);

    // The next start's intent waits for the window that start makes: the first, reported again (the
    // tracker looks at the application's windows once more as another copy of it starts), stays.
    const std::string next = storeAutoLaunchIntent(kMail, 1);
    report(first, mail);
    settle();
    EXPECT_EQ(zoneOf(first), 3);
    EXPECT_EQ(mapping->intent(next)->stage, MappingIntentStage::intent);
}

TEST_F(NewWindowPlacementTest, windowsReportedTogetherTakeOneIntentEach) {
    struct Row {
        std::string name;
        std::vector<int> intentZones;
        std::set<int> placedIn; // the zones the two windows end in; 0 for none
    };
    const std::vector<Row> rows = {
        {"one intent", {3}, {3, 0}},
        {"two intents of the application", {1, 3}, {1, 3}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string bundleID = kMail + std::to_string(row.intentZones.size());
        for (int zone : row.intentZones)
            storeAutoLaunchIntent(bundleID, zone);
        const pid_t mail = launch(bundleID);
        const WindowID a = openWindow(mail);
        const WindowID b = openWindow(mail);

        // Both reports come before the main queue runs again.
        report(a, mail);
        report(b, mail);
        settle();

        EXPECT_EQ((std::set<int>{zoneOf(a), zoneOf(b)}), row.placedIn);
    }
}

// The intent promised the zone a window; one that the move could not get there is not recorded in it.
TEST_F(NewWindowPlacementTest, aWindowItsApplicationKeepsOutOfTheZoneIsNotCommittedToIt) {
    const WindowID earlier = placed(3, "Earlier");
    const std::string id = storeAutoLaunchIntent(kMail, 3);
    const pid_t mail = launch(kMail);
    const Rect fullScreen{0, 0, 1800, 1000};
    const WindowID wid =
        openWindow(mail, {.frame = fullScreen, .title = "Inbox", .ignoresResize = true, .ignoresMove = true});

    report(wid, mail);
    settle();

    EXPECT_EQ(desktop->windows().frame(wid), fullScreen);
    EXPECT_EQ(zoneOf(wid), 0);
    EXPECT_EQ(stackOf(3), std::vector<WindowID>{earlier});
    EXPECT_EQ(mapping->intent(id)->stage, MappingIntentStage::cancelled);
    EXPECT_EQ(mapping->intent(id)->note, "move failed");
    EXPECT_TRUE(logged("[MappingTX] move failed id=" + asciiUppercased(id) +
                       " source=autolaunch display=D zid=3 wid=" + std::to_string(wid) +
                       " context=scene-restore-autolaunch"));
}

TEST_F(NewWindowPlacementTest, anIntentWithdrawnBeforeTheMoveRunsOrNamingNoZoneLeavesTheWindowWhereItIs) {
    const std::string id = storeAutoLaunchIntent(kMail, 3);
    const pid_t mail = launch(kMail);
    const WindowID wid = openWindow(mail);

    report(wid, mail);
    mapping->cancel(id, "restore cancelled");
    settle();

    EXPECT_EQ(desktop->windows().frame(wid), kOpenedAt);
    EXPECT_EQ(zoneOf(wid), 0);
    EXPECT_EQ(mapping->intent(id)->stage, MappingIntentStage::cancelled);

    // A zone id from a scene file beyond any zone's range is no zone, not zone 3 in disguise.
    storeAutoLaunchIntent(kMail, (std::int64_t{1} << 32) + 3);
    report(wid, mail);
    settle();
    EXPECT_EQ(zoneOf(wid), 0);
    EXPECT_TRUE(logged("Zone not found id=4294967299 on display D"));
}

// A later restore withdraws the start, or aims it at a zone of its own, while its window is on its way to
// the zone first asked for: withdrawn, nothing is committed for it; re-aimed, the window goes on to the
// zone it is aimed at now and is committed there. A window its user closes on the way leaves its start
// withdrawn, so that the next restore starts the application for that zone again, and no zone holds it.
TEST_F(NewWindowPlacementTest, anIntentWithdrawnOrReAimedWhileItsWindowMovesIsNotCommittedToTheOldZone) {
    enum class Change { withdrawn, reAimed, closed };
    struct Row {
        std::string name;
        Change change;
        MappingIntentStage stage;
        int zone; // the one the window ends in; 0 for none
    };
    const std::vector<Row> rows = {
        {"withdrawn", Change::withdrawn, MappingIntentStage::cancelled, 3},
        {"re-aimed", Change::reAimed, MappingIntentStage::committed, 1},
        {"closed", Change::closed, MappingIntentStage::cancelled, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string id = storeAutoLaunchIntent(kMail, 3);
        const pid_t mail = launch(kMail);
        const WindowID wid =
            openWindow(mail, {.frame = kOpenedAt, .title = "Inbox", .movesAfter = milliseconds(300)});

        report(wid, mail);
        desktop->loop().advance(milliseconds(100));
        ASSERT_EQ(zoneOf(wid), 3) << "on its way";
        if (row.change == Change::reAimed) {
            // As the launch queue turns a start to the zone a later restore asks for, under its layouts.
            MappingIntent& intent = mapping->intents.at(id);
            mapping->bumpEpoch(kD, "scene-restore");
            intent.targetZoneID = 1;
            intent.displayEpoch = mapping->currentEpoch(kD);
        } else if (row.change == Change::withdrawn) {
            mapping->cancel(id, "restore replaced");
        } else {
            desktop->windows().close(wid);
            placement->windowTrackerDidDestroyWindow(*tracker, wid, mail);
        }
        settle();

        EXPECT_EQ(mapping->intent(id)->stage, row.stage);
        EXPECT_EQ(zoneOf(wid), row.zone);
        const std::vector<WindowID> stack = stackOf(3);
        EXPECT_EQ(std::count(stack.begin(), stack.end(), wid), row.zone == 3 ? 1 : 0);
        if (row.zone != 0) {
            EXPECT_EQ(desktop->windows().frame(wid), zoneFrame(row.zone));
        }
        EXPECT_EQ(mapping->intent(id)->targetZoneID, row.change == Change::reAimed ? 1 : 3);
    }
}

TEST_F(NewWindowPlacementTest, aWindowNoIntentWaitsForStaysWhereItIs) {
    const std::string otherIntent = storeAutoLaunchIntent("com.example.calendar", 2);
    const sim::SimWindowSpec strip{.frame = Rect{1300, 100, 200, 700},
                                   .title = "",
                                   .subrole = std::nullopt,
                                   .focused = false,
                                   .main = false};
    struct Row {
        std::string name;
        std::optional<std::string> bundleID;
        sim::SimWindowSpec window;
        std::string said; // the start of what the log says of it; "" for nothing
    };
    const std::vector<Row> rows = {
        {"an ordinary window", kMail, {.frame = kOpenedAt, .title = "Inbox"}, ""},
        {"a browser's ghost strip beside its main window", "com.google.chrome", strip,
         "[Tracker] Skip auxiliary created window wid="},
        {"a window of an application without a bundle identifier",
         std::nullopt,
         {.frame = kOpenedAt, .title = "Inbox"},
         "[Tracker] Window created with missing bundleID pid="},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const pid_t pid = desktop->workspace().launch({.bundleID = row.bundleID});
        open(pid, {.frame = Rect{0, 0, 1200, 900}, .title = "Main"});
        const WindowID wid = openWindow(pid, row.window);
        capture.log().clear();

        report(wid, pid);
        settle();

        EXPECT_EQ(desktop->windows().frame(wid), row.window.frame);
        EXPECT_EQ(zoneOf(wid), 0);
        if (row.said.empty()) {
            EXPECT_FALSE(logged("[app]"));
        } else {
            const auto subject =
                row.bundleID ? std::to_string(wid) + " bundle=" + *row.bundleID : std::to_string(pid);
            EXPECT_TRUE(logged(row.said + subject));
        }
    }
    EXPECT_EQ(mapping->intent(otherIntent)->stage, MappingIntentStage::intent);
}

} // namespace
