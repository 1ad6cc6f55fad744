// Tests of the mapping transaction coordinator: the life of an intent, epochs, expiry, pruning and the
// claim log lines.
#include "tracking/MappingTransaction.h"

#include "platform/sim/LogCapture.h"
#include "platform/sim/SimDesktop.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace korvane {
namespace {

using Validation = MappingCommitValidation;
using S = MappingIntentStage;

constexpr Nanos kStart = 1'780'000'000LL * kNanosPerSecond;
const std::string kDisplay = "37D8832A-2D66-02CA-B9F7-8F30A301B230";

class MappingTransactionTest : public ::testing::Test {
  protected:
    MappingTransactionTest() {
        tx.nowProvider = [this] { return now; };
    }

    // Opens an intent the way the push does: the caller builds it and stores it under its id.
    MappingIntent& open(const std::string& id, std::int64_t zone = 3, Nanos ttl = seconds(2.5),
                        std::optional<std::string> bundle = "com.example.editor",
                        MappingIntentSource source = MappingIntentSource::hotkeyPush) {
        MappingIntent& intent = tx.intents[id];
        intent.id = id;
        intent.source = source;
        intent.targetDisplayUUID = kDisplay;
        intent.targetZoneID = zone;
        intent.displayEpoch = tx.currentEpoch(kDisplay);
        intent.pid = 4242;
        intent.bundleID = std::move(bundle);
        intent.requestedWindowID = 77;
        intent.createdAt = now;
        intent.expiresAt = now + ttl;
        intent.note = "hotkey.push.left";
        return intent;
    }
    S stageOf(const std::string& id) const { return tx.intent(id).value().stage; }
    std::vector<std::string> lines() { return capture.log().lines(); }

    sim::ScopedLogCapture capture;
    Nanos now = kStart;
    MappingTransactionCoordinator tx;
};

TEST_F(MappingTransactionTest, openResolveCommitWritesTheClaimLines) {
    const MappingIntent& intent = open("1f0e7d6c-0000-4000-8000-00000000abcd");
    now += milliseconds(120);
    EXPECT_TRUE(tx.resolve(intent.id, 78));
    EXPECT_EQ(stageOf(intent.id), S::resolved);
    now += seconds(0.0005);
    EXPECT_EQ(tx.commit(intent.id, kDisplay, 3, std::nullopt), Validation{Validation::Committed{}});
    auto stored = tx.intent(intent.id).value();
    EXPECT_EQ(stored.stage, S::committed);
    EXPECT_EQ(stored.resolvedWindowID, std::optional<WindowID>(78));
    EXPECT_EQ(stored.committedAt, std::optional<Nanos>(now));
    // The transaction id is upper-cased and the elapsed time counts from the opening.
    ASSERT_EQ(lines().size(), 2u);
    EXPECT_EQ(lines().back(), "[wm] [slot.claim.committed] txID=1F0E7D6C-0000-4000-8000-00000000ABCD "
                              "source=hotkey.push displayUUID=" +
                                  kDisplay + " regionID=3 slotID=" + kDisplay +
                                  ":r3 wid=78 pid=4242 elapsedMs=120.5");

    // Without window and pid the line shows a hyphen and zero.
    MappingIntent& bare = open("A", -2);
    bare.source = MappingIntentSource::autoLaunch;
    tx.log("slot.claim.created", bare, std::nullopt, std::nullopt, 0.0);
    EXPECT_EQ(lines().back(), "[wm] [slot.claim.created] txID=A source=autolaunch displayUUID=" + kDisplay +
                                  " regionID=-2 slotID=" + kDisplay + ":r-2 wid=- pid=0 elapsedMs=0.0");
}

TEST_F(MappingTransactionTest, commitAfterAnEpochRaiseIsStale) {
    EXPECT_EQ(tx.currentEpoch(kDisplay), 0);
    open("T");
    EXPECT_TRUE(tx.resolve("T", 90));
    EXPECT_EQ(tx.bumpEpoch(kDisplay, "applyRegionSet:builtin.split-50-50"), 1);
    tx.bumpEpoch("OTHER", "display-change:test"); // another display's epoch is irrelevant
    now += milliseconds(40);
    EXPECT_EQ(tx.commit("T", kDisplay, 3, std::nullopt), Validation{(Validation::StaleEpoch{0, 1})});
    EXPECT_EQ(stageOf("T"), S::expired);
    EXPECT_EQ(capture.log().count("[slot.claim.rejected.epoch] txID=T "), 1u);

    open("U"); // opened under the new epoch
    EXPECT_TRUE(tx.commit("U", kDisplay, 3, 91).is<Validation::Committed>());
}

TEST_F(MappingTransactionTest, commitChecksRunInOrder) {
    using V = Validation;
    using MT = V::MismatchedTarget;
    struct Row {
        const char* what;
        Nanos after; // time passed since opening (ttl 1 s)
        std::string display;
        std::int64_t zone;
        std::optional<WindowID> wid;
        V expected;
        S stageAfter;
    };
    const std::string kElse = "ELSEWHERE";
    const Row rows[] = {
        {"overdue beats a wrong target", seconds(1.0) + 1, kElse, 9, 5, {V::Expired{}}, S::expired},
        {"exactly at expiry is in time", seconds(1.0), kDisplay, 3, 5, {V::Committed{}}, S::committed},
        {"other zone of the right display", 0, kDisplay, 4, 5, {MT{kDisplay, kDisplay, 3, 4}}, S::intent},
        {"other display", 0, kElse, 3, 5, {MT{kDisplay, kElse, 3, 3}}, S::intent},
        {"never resolved, no window", 0, kDisplay, 3, std::nullopt, {V::Unresolved{}}, S::intent},
        {"never resolved, window given", 0, kDisplay, 3, 5, {V::Committed{}}, S::committed},
    };
    for (const auto& row : rows) {
        now = kStart;
        const MappingIntent before = open(row.what, 3, seconds(1.0));
        capture.log().clear();
        now += row.after;
        EXPECT_EQ(tx.commit(row.what, row.display, row.zone, row.wid), row.expected) << row.what;
        auto after = tx.intent(row.what).value();
        EXPECT_EQ(after.stage, row.stageAfter) << row.what;
        if (row.stageAfter == S::intent) {
            EXPECT_EQ(after, before) << row.what << ": left unchanged";
            EXPECT_TRUE(lines().empty()) << row.what;
        } else if (row.stageAfter == S::committed) {
            EXPECT_EQ(after.resolvedWindowID, row.wid) << row.what;
            EXPECT_EQ(capture.log().count("[slot.claim.committed]"), 1u) << row.what;
        } else {
            EXPECT_EQ(capture.log().count("[slot.claim.expired]"), 1u) << row.what;
        }
    }
    EXPECT_EQ(tx.commit("no such id", kDisplay, 3, 1), Validation{Validation::MissingIntent{}});

    // Past expiry even a committed intent turns expired.
    open("C", 3, seconds(1.0));
    ASSERT_TRUE(tx.commit("C", kDisplay, 3, 5).is<Validation::Committed>());
    now += seconds(2.0);
    EXPECT_TRUE(tx.commit("C", kDisplay, 3, 5).is<Validation::Expired>());
    EXPECT_EQ(stageOf("C"), S::expired);
}

TEST_F(MappingTransactionTest, expirySweepTouchesOnlyOverdueOpenIntents) {
    open("due-now", 1, seconds(1.0));
    open("overdue-requested", 2, seconds(1.0) - 1);
    open("overdue-resolved", 3, seconds(0.5));
    tx.resolve("overdue-resolved", 55);
    open("overdue-committed", 4, seconds(0.5));
    tx.commit("overdue-committed", kDisplay, 4, 56);
    open("overdue-cancelled", 5, seconds(0.5));
    tx.cancel("overdue-cancelled", "user");
    capture.log().clear();

    now += seconds(1.0);
    EXPECT_EQ(tx.expireStale(), 2);
    EXPECT_EQ(stageOf("due-now"), S::intent);
    EXPECT_EQ(stageOf("overdue-requested"), S::expired);
    EXPECT_EQ(stageOf("overdue-resolved"), S::expired);
    EXPECT_EQ(stageOf("overdue-committed"), S::committed);
    EXPECT_EQ(stageOf("overdue-cancelled"), S::cancelled);
    // The line names the resolved window when there is one, else the requested one.
    EXPECT_TRUE(capture.log().contains(":r3 wid=55 pid=4242")); // zone 3 is the resolved one
    EXPECT_TRUE(capture.log().contains(":r2 wid=77 pid=4242"));

    EXPECT_EQ(tx.expireStale(now + 1), 1); // an explicit instant replaces the provider's
    EXPECT_EQ(stageOf("due-now"), S::expired);
}

TEST_F(MappingTransactionTest, resolveAcceptsOnlyOpenIntentsInTime) {
    open("R", 3, seconds(1.0));
    EXPECT_FALSE(tx.resolve("missing", 1));
    EXPECT_TRUE(tx.resolve("R", 10));
    EXPECT_TRUE(tx.resolve("R", 11)); // a second resolve replaces the number
    EXPECT_EQ(tx.intent("R")->resolvedWindowID, std::optional<WindowID>(11));

    open("late", 3, seconds(1.0));
    now += seconds(1.0) + 1;
    capture.log().clear();
    EXPECT_FALSE(tx.resolve("late", 12));
    EXPECT_EQ(stageOf("late"), S::expired);
    EXPECT_EQ(tx.intent("late")->resolvedWindowID, std::nullopt);
    EXPECT_TRUE(capture.log().contains("[slot.claim.expired] txID=LATE") && capture.log().contains("wid=12"));
    EXPECT_FALSE(tx.resolve("late", 13)); // closed: no change, no line
    EXPECT_EQ(lines().size(), 1u);
}

TEST_F(MappingTransactionTest, cancelLeavesCommittedIntentsAlone) {
    open("committed");
    tx.commit("committed", kDisplay, 3, 1);
    open("expired", 3, 0);
    now += 1;
    tx.expireStale();
    open("open");
    capture.log().clear();
    tx.cancel("committed", "too late");
    tx.cancel("expired", "user abort");
    tx.cancel("open", "auxiliary preflight");
    tx.cancel("open", "again");
    tx.cancel("missing", "nothing");

    EXPECT_EQ(stageOf("committed"), S::committed);
    EXPECT_EQ(tx.intent("committed")->note, "hotkey.push.left");
    EXPECT_EQ(stageOf("expired"), S::cancelled);
    EXPECT_EQ(tx.intent("expired")->note, "user abort");
    EXPECT_EQ(tx.intent("open")->note, "again");
    EXPECT_EQ(tx.intents.size(), 3u);
    EXPECT_TRUE(lines().empty());
}

TEST_F(MappingTransactionTest, pruneDropsOnlyClosedIntentsPastTheCutoff) {
    // Everything opened at kStart; the age rule measures expiresAt, or committedAt for a commit.
    open("open-old", 1, seconds(1.0));
    open("expired-recent", 2, seconds(9.5));
    open("expired-old", 3, seconds(9.0) - 1);
    open("cancelled-recent", 4, seconds(30));
    open("committed-old", 5, seconds(30));
    open("committed-recent", 6, seconds(30));
    open("committed-undated", 7, seconds(30));
    tx.cancel("cancelled-recent", "x");
    tx.commit("committed-old", kDisplay, 5, 1);
    now = kStart + seconds(9.0); // exactly at the cutoff below: kept
    tx.commit("committed-recent", kDisplay, 6, 2);
    tx.intents["expired-recent"].stage = S::expired;
    tx.intents["expired-old"].stage = S::expired;
    tx.intents["committed-undated"].stage = S::committed;

    // An age below one second counts as one second: cutoff = 10 s - 1 s.
    now = kStart + seconds(10.0);
    tx.prune(0.5);
    std::vector<std::string> kept;
    for (const auto& [id, intent] : tx.intents)
        kept.push_back(id);
    EXPECT_EQ(kept, (std::vector<std::string>{"cancelled-recent", "committed-recent", "expired-recent",
                                              "open-old"}));

    now = kStart + seconds(1000.0); // open intents survive any prune
    tx.prune(20.0);
    EXPECT_EQ(tx.intents.size(), 1u);
}

TEST_F(MappingTransactionTest, openIntentMatchesSourceAndBundleAfterASweep) {
    open("with-bundle", 1, seconds(5.0), "com.example.editor", MappingIntentSource::autoLaunch);
    open("without-bundle", 2, seconds(5.0), std::nullopt, MappingIntentSource::autoLaunch);
    open("other-source", 3, seconds(5.0), "com.example.viewer", MappingIntentSource::hotkeyPush);
    open("short-lived", 4, seconds(1.0), "com.example.viewer", MappingIntentSource::autoLaunch);
    open("committed", 5, seconds(5.0), "com.example.mail", MappingIntentSource::autoLaunch);
    tx.commit("committed", kDisplay, 5, 1);

    EXPECT_EQ(tx.openIntent(MappingIntentSource::autoLaunch, std::nullopt)->id, "without-bundle");
    EXPECT_EQ(tx.openIntent(MappingIntentSource::autoLaunch, "com.example.editor")->id, "with-bundle");
    EXPECT_FALSE(tx.openIntent(MappingIntentSource::autoLaunch, "com.example.mail"));
    // "other-source" waits for the same application under another source.
    EXPECT_EQ(tx.openIntent(MappingIntentSource::autoLaunch, "com.example.viewer")->id, "short-lived");

    now += seconds(2.0);
    EXPECT_FALSE(tx.openIntent(MappingIntentSource::autoLaunch, "com.example.viewer"));
    EXPECT_EQ(stageOf("short-lived"), S::expired);
}

TEST(MappingTransactionClock, defaultsToThePlatformWallClock) {
    sim::ScopedSimDesktop desktop;
    sim::ScopedLogCapture capture;
    MappingTransactionCoordinator tx;
    const Nanos start = desktop->runLoop().wallClock();
    MappingIntent& intent = tx.intents["W"];
    intent.createdAt = start;
    intent.expiresAt = start + seconds(1.0);
    desktop->loop().advance(seconds(1.0));
    EXPECT_EQ(tx.expireStale(), 0);
    desktop->loop().advance(milliseconds(1));
    EXPECT_EQ(tx.expireStale(), 1);
}

TEST_F(MappingTransactionTest, pruneWithAnAgeBeyondTheClockKeepsEverythingInsteadOfOverflowing) {
    for (double age : {std::nan(""), std::numeric_limits<double>::infinity(), 1e300, 9.3e9}) {
        now = kStart;
        open("closed", 1, seconds(1.0));
        tx.cancel("closed", "x");
        now = kStart + seconds(100.0);
        tx.prune(age);
        EXPECT_TRUE(tx.intents.contains("closed")) << age;
    }
}

// Stages and sources are told by the exact text the claim lines print; other text names none.
TEST(MappingIntentNames, readBackFromTheirExactTextOnly) {
    const std::pair<const char*, S> stages[] = {{"intent", S::intent},
                                                {"resolved", S::resolved},
                                                {"committed", S::committed},
                                                {"expired", S::expired},
                                                {"cancelled", S::cancelled}};
    for (const auto& [text, stage] : stages) {
        EXPECT_EQ(mappingIntentStageFrom(text), stage) << text;
        EXPECT_EQ(toString(stage), text);
    }
    using Src = MappingIntentSource;
    const std::pair<const char*, Src> sources[] = {
        {"layout.apply", Src::layoutApply},   {"hotkey.push", Src::hotkeyPush},
        {"manual.push", Src::manualPush},     {"tracker.create", Src::trackerCreate},
        {"autolaunch", Src::autoLaunch},      {"gather", Src::gather},
        {"gather.global", Src::gatherGlobal}, {"display.change", Src::displayChange}};
    for (const auto& [text, source] : sources) {
        EXPECT_EQ(mappingIntentSourceFrom(text), source) << text;
        EXPECT_EQ(toString(source), text);
    }
    for (const char* other : {"", "Intent", "canceled", "autoLaunch", "hotkey.push "}) {
        EXPECT_EQ(mappingIntentStageFrom(other), std::nullopt) << other;
        EXPECT_EQ(mappingIntentSourceFrom(other), std::nullopt) << other;
    }
}

} // namespace
} // namespace korvane
