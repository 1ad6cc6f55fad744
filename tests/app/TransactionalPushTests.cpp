// Pushes as placement transactions on the simulated desktop: where the window ends, what the zone's stack
// and the coordinator hold afterwards, and when the commit step looks again, gives up or is turned away.
#include "PlacementFixture.h"

#include "app/TransactionalPush.h"
#include "platform/TextCase.h"

#include <gtest/gtest.h>

using namespace korvane;

namespace {

class TransactionalPushTest : public korvane::testing::PlacementTest {
  protected:
    // A push up to its first commit attempt, which comes once the move has checked the window's frame,
    // 50 ms after the window manager (here at once) moved it, and brought the window forward, which
    // pauses 30 ms.
    std::optional<std::string> pushTo(WindowID wid, int zone, const std::string& display = kD,
                                      std::optional<std::int64_t> requiredEpoch = std::nullopt) {
        auto id = push->transactionalPush(
            desktop->windows().element(wid), zone, display, MappingIntentSource::hotkeyPush,
            "hotkey.push.R" + std::to_string(zone), MoveActivation::activate, 2.5, requiredEpoch);
        desktop->loop().advance(milliseconds(50 + 30));
        return id;
    }
    // A window whose number nobody can read for an hour: the move cannot record it, so only another
    // window of its application recorded in the zone can stand for it.
    WindowID unnumbered(pid_t pid) {
        return open(pid, {.frame = Rect{100, 100, 400, 300},
                          .title = "Draft",
                          .numberAppearsAt = desktop->loop().now() + seconds(3600)});
    }
    // The application's other window, recorded on top of the zone as a replacement would be.
    WindowID recordSibling(pid_t pid, int zone) {
        const WindowID wid =
            open(pid, {.frame = Rect{900, 500, 300, 200}, .title = "Draft (2)", .focused = false});
        stateD().attach(WinRef{wid, pid, desktop->windows().element(wid), std::nullopt, std::nullopt}, zone);
        return wid;
    }
    void advance(double s) { desktop->loop().advance(seconds(s)); }
    std::string commitLine() {
        for (const auto& line : capture.log().lines())
            if (line.find("[MappingTX] commit id=") != std::string::npos) return line;
        return "";
    }

    std::shared_ptr<TransactionalPush> push = TransactionalPush::create(
        *desktop,
        TransactionalPush::Dependencies{mapping, probeBus, controller, multiState, tracker, ax, classifier});
};

TEST_F(TransactionalPushTest, aPushCommitsAtOnceWithOnePrePushProbeAndLeavesTheWindowOnTopOfTheZone) {
    const WindowID earlier = placed(2, "Earlier");
    const pid_t editor = launch("com.example.editor", 501);
    const WindowID wid = open(editor, {.frame = Rect{100, 100, 500, 400}, .title = "Report", .number = 4711});
    track();
    raiseEpochTo(kD, 3);
    capture.log().clear();

    const auto id = pushTo(wid, 2);

    const MappingIntent intent = intentOf(id);
    EXPECT_EQ(intent.stage, MappingIntentStage::committed);
    EXPECT_EQ(intent.displayEpoch, 3);
    EXPECT_EQ(intent.pid, 501);
    EXPECT_EQ(intent.bundleID, "com.example.editor");
    EXPECT_EQ(intent.resolvedWindowID, 4711u);
    EXPECT_TRUE(logged("wid=4711 display=D zid=2 source=hotkey.push attempt=1"));
    EXPECT_EQ(claimEvents(), (std::vector<std::string>{"slot.claim.created", "slot.claim.resolved",
                                                       "slot.claim.committed"}));
    ASSERT_EQ(probes.size(), 1u);
    EXPECT_EQ(probes[0],
              (DisplayLayoutProbeEvent{DisplayLayoutProbeReason::prePush,
                                       "AppDelegate+MappingTransaction.transactionalPush.hotkey.push", false,
                                       std::string(kD)}));
    EXPECT_EQ(stackOf(2), (std::vector<WindowID>{earlier, 4711}));
    EXPECT_EQ(desktop->windows().frame(4711), zoneFrame(2));

    // Nothing is left to try again.
    advance(3);
    EXPECT_EQ(claimEvents().size(), 3u);
    EXPECT_EQ(mapping->intent(*id)->stage, MappingIntentStage::committed);
}

TEST_F(TransactionalPushTest, theCommitStepLooksAgainEvery012sForTenAttemptsAndJudgesTheEpochWhenItFinds) {
    raiseEpochTo(kD, 3);
    placed(2, "Earlier");
    struct Row {
        double foundAfter; // seconds after the first attempt
        bool epochRaisedFirst;
        MappingIntentStage stage;
        int attempt = 0; // of the commit
    };
    const std::vector<Row> rows = {
        {0.06, false, MappingIntentStage::committed, 2},  {0.50, false, MappingIntentStage::committed, 6},
        {1.02, false, MappingIntentStage::committed, 10}, {1.10, false, MappingIntentStage::cancelled},
        {0.06, true, MappingIntentStage::expired},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::Message()
                     << row.foundAfter << (row.epochRaisedFirst ? " after an epoch raise" : ""));
        const pid_t app = launch("com.example.writer" + std::to_string(mapping->intents.size()));
        const WindowID wid = unnumbered(app);
        const auto stackBefore = stackOf(2);
        capture.log().clear();

        const auto id = pushTo(wid, 2);
        advance(row.foundAfter);
        EXPECT_EQ(stackOf(2), stackBefore);
        if (row.epochRaisedFirst) mapping->bumpEpoch(kD, "display-change:test");
        const WindowID sibling = recordSibling(app, 2);
        advance(3);

        const MappingIntent intent = intentOf(id);
        EXPECT_EQ(intent.stage, row.stage);
        EXPECT_EQ(logged("[MappingTX] resolve timeout id="), row.stage == MappingIntentStage::cancelled);
        if (row.stage == MappingIntentStage::committed) {
            EXPECT_EQ(intent.resolvedWindowID, sibling);
            EXPECT_TRUE(commitLine().ends_with(" attempt=" + std::to_string(row.attempt))) << commitLine();
        } else if (row.stage == MappingIntentStage::cancelled) {
            EXPECT_EQ(intent.note, "resolve timeout");
            EXPECT_TRUE(logged("source=hotkey.push display=D zid=2 pid=" + std::to_string(app) +
                               " context=hotkey.push.R2"));
        } else {
            EXPECT_TRUE(logged("expectedEpoch=" + std::to_string(intent.displayEpoch) + " actualEpoch=" +
                               std::to_string(intent.displayEpoch + 1) + " context=hotkey.push.R2"));
            EXPECT_EQ(claimEvents().back(), "slot.claim.rejected.epoch");
        }
    }
}

TEST_F(TransactionalPushTest, anEpochRaisedByThePushsOwnProbeIsTheOneTheIntentCarries) {
    // A pass that the probe runs at once raises the epoch before the intent reads it.
    auto passes =
        probeBus->subscribe([this](const DisplayLayoutProbeEvent&) { mapping->bumpEpoch(kD, "probe"); });
    const pid_t editor = launch("com.example.editor");
    const WindowID wid = open(editor, {.frame = Rect{100, 100, 500, 400}, .title = "Report"});

    const MappingIntent intent = intentOf(pushTo(wid, 1));

    EXPECT_EQ(intent.stage, MappingIntentStage::committed);
    EXPECT_EQ(intent.displayEpoch, 1);
}

TEST_F(TransactionalPushTest, aPushThatExpiresBeforeItsWindowIsFoundStopsLookingAndStaysExpired) {
    const pid_t app = launch("com.example.writer");
    const WindowID wid = unnumbered(app);
    capture.log().clear();

    const auto id =
        push->transactionalPush(desktop->windows().element(wid), 2, kD, MappingIntentSource::hotkeyPush,
                                "hotkey.push.R2", MoveActivation::activate, 0.2);
    advance(0.3);
    // The window only turns up in the zone after the intent has lapsed: nothing may claim it for it.
    recordSibling(app, 2);
    advance(3);

    EXPECT_EQ(intentOf(id).stage, MappingIntentStage::expired);
    EXPECT_FALSE(intentOf(id).resolvedWindowID.has_value());
    EXPECT_FALSE(logged("[MappingTX] resolve timeout"));
    EXPECT_FALSE(logged("[MappingTX] expired before commit"));
}

// An application without an identifier is one nobody can call auxiliary: its windows are pushed as any.
TEST_F(TransactionalPushTest, aWindowOfAnApplicationWithoutAnIdentifierIsMovedAndCommitted) {
    const pid_t app = desktop->workspace().launch({.name = "Tool"});
    const WindowID wid = open(app, {.frame = Rect{100, 100, 500, 400}, .title = "Tool"});
    track();

    const auto id = pushTo(wid, 1);

    const MappingIntent intent = intentOf(id);
    EXPECT_EQ(intent.stage, MappingIntentStage::committed);
    EXPECT_EQ(intent.resolvedWindowID, wid);
    EXPECT_EQ(intent.bundleID, std::nullopt);
    EXPECT_EQ(stackOf(1).back(), wid);
    EXPECT_EQ(desktop->windows().frame(wid), zoneFrame(1));
}

// With neither a pid nor a number to go by, the window the move put on top of the zone is the one.
TEST_F(TransactionalPushTest, aWindowWithoutAPidOrANumberIsCommittedAsTheWindowOnTopOfItsZone) {
    const pid_t app = launch("com.example.tool");
    const WindowID wid = unnumbered(app);
    const platform::AXElement element = desktop->windows().element(wid);
    desktop->accessibility().scriptAXFailure(
        element, sim::kPidOfCall, std::vector<platform::AXError>(50, platform::AXError::cannotComplete));

    const auto id = push->transactionalPush(element, 2, kD, MappingIntentSource::hotkeyPush, "hotkey.push.R2",
                                            MoveActivation::activate, 2.5);
    advance(0.3);
    const WindowID sibling = recordSibling(app, 2);
    advance(3);

    EXPECT_EQ(intentOf(id).stage, MappingIntentStage::committed);
    EXPECT_EQ(intentOf(id).resolvedWindowID, sibling);
}

TEST_F(TransactionalPushTest, aPushThatCannotBePlacedMovesNothingAndSaysWhy) {
    addDisplay("E", Rect{1800, 0, 1000, 1000}); // connected, but without zones yet
    raiseEpochTo(kD, 3);
    struct Row {
        std::string name;
        std::string display;
        std::optional<std::int64_t> requiredEpoch;
        bool returnsIntent;
        std::size_t probes;
        std::optional<MappingIntentStage> stage;
        std::string note;
        bool moved;
    };
    const std::vector<Row> rows = {
        {"an epoch that no longer holds", kD, 2, false, 0, std::nullopt, "", false},
        {"the epoch that holds", kD, 3, true, 1, MappingIntentStage::committed, "hotkey.push.R1", true},
        {"a display without zones", "E", std::nullopt, true, 1, MappingIntentStage::cancelled,
         "missing state for E", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const pid_t editor = launch("com.example.editor." + row.display);
        const Rect start{100, 100, 500, 400};
        const WindowID wid = open(editor, {.frame = start, .title = "Report"});
        probes.clear();
        const auto before = mapping->intents.size();

        const auto id = pushTo(wid, 1, row.display, row.requiredEpoch);

        EXPECT_EQ(id.has_value(), row.returnsIntent);
        EXPECT_EQ(probes.size(), row.probes);
        if (row.stage) {
            EXPECT_EQ(intentOf(id).stage, *row.stage);
            EXPECT_EQ(intentOf(id).note, row.note);
        } else {
            EXPECT_EQ(mapping->intents.size(), before);
        }
        EXPECT_EQ(desktop->windows().frame(wid) != start, row.moved);
    }
    EXPECT_TRUE(
        logged("[MappingTX] skip push reason=stale-required-epoch source=hotkey.push display=D required=2 "
               "current=3 context=hotkey.push.R1"));
}

// The zone holds the pushed window only where the move got it there; a frame its own limits keep off the
// zone's still is there. A window left out stays in the zone it was in, and no window is committed for it.
TEST_F(TransactionalPushTest, aWindowTheMoveLeavesOutOfTheZoneIsNotCommittedToIt) {
    struct Row {
        std::string name;
        sim::SimWindowSpec window;
        bool placed;
    };
    const std::vector<Row> rows = {
        {"full screen, kept so by its application",
         {.frame = Rect{0, 0, 1800, 1000}, .ignoresResize = true, .ignoresMove = true},
         false},
        {"where nobody moves it",
         {.frame = Rect{50, 100, 500, 400}, .ignoresResize = true, .ignoresMove = true},
         false},
        {"moved but not resized", {.frame = Rect{50, 100, 500, 400}, .ignoresResize = true}, true},
        {"wider than the zone by its least size",
         {.frame = Rect{50, 100, 500, 400}, .minSize = Size{1300, 300}, .tellsGrantedSize = true},
         true},
    };
    for (auto row : rows) {
        SCOPED_TRACE(row.name);
        const pid_t app = launch("com.example.viewer" + std::to_string(mapping->intents.size()));
        row.window.title = "Picture";
        const WindowID wid = open(app, row.window);
        stateD().attach(WinRef{wid, app, desktop->windows().element(wid), std::nullopt, row.window.frame}, 1);
        const Rect before = desktop->windows().frame(wid);
        capture.log().clear();

        const auto id = pushTo(wid, 2);
        advance(3);

        EXPECT_EQ(std::ranges::count(stackOf(row.placed ? 2 : 1), wid), 1);
        EXPECT_EQ(stateD().zoneOf.at(wid), row.placed ? 2 : 1);
        EXPECT_EQ(desktop->windows().frame(wid) != before, row.placed);
        const MappingIntent intent = intentOf(id);
        EXPECT_EQ(intent.stage, row.placed ? MappingIntentStage::committed : MappingIntentStage::cancelled);
        if (!row.placed) {
            EXPECT_TRUE(logged("[MappingTX] move failed id=" + asciiUppercased(*id) +
                               " source=hotkey.push display=D zid=2 wid=" + std::to_string(wid) +
                               " context=hotkey.push.R2"));
        }
    }
}

// Pushed again while its window manager is still moving it for the first push: the first push gives way,
// and the window is committed to the zone of the second alone.
TEST_F(TransactionalPushTest, aWindowPushedAgainBeforeItsMoveEndedIsCommittedByTheLaterPushAlone) {
    const pid_t editor = launch("com.example.editor");
    const WindowID wid =
        open(editor, {.frame = Rect{100, 100, 500, 400}, .title = "Report", .movesAfter = milliseconds(200)});
    track();

    const auto first =
        push->transactionalPush(desktop->windows().element(wid), 1, kD, MappingIntentSource::hotkeyPush,
                                "hotkey.push.R1", MoveActivation::activate, 2.5);
    advance(0.1);
    const auto second = pushTo(wid, 2);
    advance(3);

    EXPECT_EQ(intentOf(first).stage, MappingIntentStage::cancelled);
    EXPECT_EQ(intentOf(first).note, "superseded by a later move");
    EXPECT_EQ(intentOf(second).stage, MappingIntentStage::committed);
    EXPECT_EQ(intentOf(second).resolvedWindowID, wid);
    EXPECT_EQ(desktop->windows().frame(wid), zoneFrame(2));
    EXPECT_EQ(std::ranges::count(stackOf(1), wid), 0);
    EXPECT_EQ(std::ranges::count(stackOf(2), wid), 1);
}

TEST_F(TransactionalPushTest, anAuxiliaryWindowIsRefusedBeforeAnythingMovesAndADialogIsPushed) {
    addDisplay("U", Rect{0, 1000, 1800, 1000}); // above D, which stays the main display
    Layout upper;
    upper.screenId = "U";
    upper.zones[1] = Zone{1, Rect{0, 1000, 900, 1000}, {}, 0};
    multiState->states["U"] = std::make_shared<WMState>(upper);
    struct Row {
        std::string name;
        std::string bundleID;
        std::string display;
        Rect mainFrame;
        sim::SimWindowSpec pushed;
        bool refused;
    };
    const sim::SimWindowSpec strip{.frame = Rect{1300, 100, 200, 700},
                                   .title = "",
                                   .subrole = std::nullopt,
                                   .focused = false,
                                   .main = false};
    const sim::SimWindowSpec dialog{.frame = Rect{1300, 400, 300, 200},
                                    .title = "Save",
                                    .subrole = "AXDialog",
                                    .focused = false,
                                    .main = false};
    const sim::SimWindowSpec panel{.frame = Rect{1300, 1400, 200, 100},
                                   .title = "",
                                   .subrole = std::nullopt,
                                   .focused = false,
                                   .main = false};
    const std::vector<Row> rows = {
        {"a browser's ghost strip", "com.google.chrome", kD, Rect{0, 0, 1200, 900}, strip, true},
        {"a dialog", "com.example.editor", kD, Rect{0, 0, 1200, 900}, dialog, false},
        {"a small untitled panel on a display above the main one", "com.example.paint", "U",
         Rect{0, 1050, 1200, 900}, panel, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const pid_t app = launch(row.bundleID);
        open(app, {.frame = row.mainFrame, .title = "Main"});
        const WindowID wid = open(app, row.pushed);
        const auto stackBefore = multiState->states.at(row.display)->layout.zones.at(1).stack;
        capture.log().clear();

        const auto id = pushTo(wid, 1, row.display);

        const auto stack = multiState->states.at(row.display)->layout.zones.at(1).stack;
        if (row.refused) {
            EXPECT_FALSE(id.has_value());
            EXPECT_EQ(desktop->windows().frame(wid), row.pushed.frame);
            EXPECT_EQ(stack, stackBefore);
            EXPECT_TRUE(logged("[slot.claim.rejected.auxiliary] txID="));
            ASSERT_EQ(mapping->intents.size(), 1u);
            EXPECT_EQ(mapping->intents.begin()->second.stage, MappingIntentStage::cancelled);
            EXPECT_EQ(mapping->intents.begin()->second.note, "auxiliary preflight");
        } else {
            EXPECT_EQ(intentOf(id).stage, MappingIntentStage::committed);
            EXPECT_EQ(stack.back(), wid);
        }
        mapping->intents.clear();
    }
}

} // namespace
