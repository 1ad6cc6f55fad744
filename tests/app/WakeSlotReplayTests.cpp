// Putting windows back into their remembered slots after a wake, on the simulated desktop: which windows
// are seen, which ones each remembered region takes, what stays where the zone state had it, and the slot
// claims the layout memory keeps and writes.
#include "DisplayFixture.h"

#include "app/WakeSlotReplay.h"
#include "app/WindowMappingClassifier.h"
#include "app/WindowMappingRebuild.h"
#include "tracking/WindowTracker.h"

#include <gtest/gtest.h>

#include <map>
#include <unistd.h>

using namespace korvane;
using korvane::testing::DisplayTest;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

constexpr const char* kMain = "DISPLAY-1";
constexpr const char* kLayoutID = "builtin.split-50-50";
const Rect kMainFrame{0, 0, 1920, 1080};
// Zone 1 is the left half, zone 2 the right half; their centres are (480, 540) and (1440, 540).
const Rect kZone1{0, 0, 960, 1080};
const Rect kZone2{960, 0, 960, 1080};

// A window of `size` centred on the point.
Rect around(double x, double y, double w = 400, double h = 300) {
    return Rect{x - w / 2, y - h / 2, w, h};
}

class WakeSlotReplayTest : public DisplayTest {
  protected:
    void SetUp() override {
        DisplayTest::SetUp();
        replayer.emplace(*desktop,
                         WakeSlotReplay::Dependencies{multiState, memory, tracker, classifier, rebuild, bus});
        addDisplay(kMain, kMainFrame);
        appA = desktop->workspace().launch({.bundleID = "com.a", .name = "A"});
        appB = desktop->workspace().launch({.bundleID = "com.b", .name = "B"});
        resetState();
    }
    // Two empty zones, nothing remembered, no window open.
    void resetState() {
        for (WindowID wid : opened)
            desktop->windows().close(wid);
        opened.clear();
        Layout layout{kMain, {}, {}};
        layout.zones[1] = Zone{1, kZone1, {}, 0};
        layout.zones[2] = Zone{2, kZone2, {}, 0};
        multiState->states[kMain] = std::make_shared<WMState>(layout);
        memory->layoutMemory() = LayoutMemoryStore();
        desktop->loop().runUntilIdle();
    }
    WindowID open(pid_t pid, WindowID number, const Rect& frame) {
        opened.push_back(
            desktop->windows().open(pid, {.frame = frame, .title = "Document", .number = number}));
        return opened.back();
    }
    void remember(const std::string& displayKey, const RegionSlots& slots) {
        memory->layoutMemory().map[LayoutMemoryStore::keyString(displayKey, kLayoutID)] =
            LayoutMemoryEntry{slots};
    }
    void track() {
        tracker->startObserving();
        desktop->loop().runUntilIdle();
    }
    WMState& state() { return *multiState->states.at(kMain); }
    std::optional<int> zoneOf(WindowID wid) {
        auto it = state().zoneOf.find(wid);
        return it == state().zoneOf.end() ? std::nullopt : std::optional(it->second);
    }
    std::vector<SlotClaimSnapshot> claims() {
        return memory->layoutMemory().slotClaimSnapshots(kMain, kLayoutID);
    }
    std::vector<WindowID> observedOn(const std::string& display) {
        std::vector<WindowID> wids;
        auto observed = replay().collectWakeObservedWindows();
        for (const auto& w : observed[display])
            wids.push_back(w.wid);
        return wids;
    }
    fs::path memoryFile() const { return home / "layout-memory.json"; }

    pid_t appA = 0, appB = 0;
    std::vector<WindowID> opened;
    std::shared_ptr<WindowMappingRebuild> rebuild =
        std::make_shared<WindowMappingRebuild>(*desktop, multiState, memory);
    // Made once the fixture's bus exists.
    std::optional<WakeSlotReplay> replayer;
    WakeSlotReplay& replay() { return *replayer; }
};

} // namespace

TEST_F(WakeSlotReplayTest, eachRegionTakesItsApplicationsWindowsMappedFirstThenNearestThenLowestNumber) {
    memory->setMemoryScope(kMain, kLayoutID);
    track();
    struct Window {
        WindowID wid;
        Rect frame;
        std::optional<int> mappedBefore;
    };
    struct Row {
        const char* name;
        RegionSlots remembered;
        std::vector<Window> windows; // all of com.a
        std::map<WindowID, std::optional<int>> after;
    };
    const Row rows[] = {
        {"the nearest of two",
         {{1, {"com.a"}}},
         {{31, around(150, 200), std::nullopt}, {32, around(500, 560), std::nullopt}},
         {{31, std::nullopt}, {32, 1}}},
        {"one already in the region before a nearer one",
         {{1, {"com.a"}}},
         {{31, around(150, 200), 1}, {32, around(500, 560), std::nullopt}},
         {{31, 1}, {32, std::nullopt}}},
        {"the lower number of two at the same distance",
         {{1, {"com.a"}}},
         {{34, around(380, 540), std::nullopt}, {33, around(580, 540), std::nullopt}},
         {{33, 1}, {34, std::nullopt}}},
        {"as many as remembered; a third, mapped to the other zone, leaves it for lying in this one",
         {{1, {"com.a", "com.a"}}},
         {{31, around(480, 540), std::nullopt},
          {32, around(300, 400), std::nullopt},
          {33, around(900, 540), 2}},
         {{31, 1}, {32, 1}, {33, std::nullopt}}},
        {"as many as remembered; one lying in the other zone keeps the zone it had",
         {{1, {"com.a"}}},
         {{31, around(480, 540), std::nullopt}, {33, around(1000, 540), 2}},
         {{31, 1}, {33, 2}}},
        {"only a window lying in the zone, however near",
         {{1, {"com.a"}}},
         {{31, around(1000, 540), std::nullopt}},
         {{31, std::nullopt}}},
        {"a region the layout lacks takes nothing",
         {{7, {"com.a"}}, {1, {""}}},
         {{31, around(480, 540), std::nullopt}},
         {{31, std::nullopt}}},
        {"neither remembered nor mapped stays out",
         {{2, {"com.b"}}},
         {{31, around(1440, 540), std::nullopt}},
         {{31, std::nullopt}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        resetState();
        remember(kMain, row.remembered);
        for (const Window& w : row.windows) {
            open(appA, w.wid, w.frame);
            if (w.mappedBefore)
                state().attach(WinRef{w.wid, appA, {}, std::nullopt, std::nullopt}, *w.mappedBefore);
        }
        desktop->loop().runUntilIdle();
        replay().replayWakeSlotAssignments("system-wake-0ms");
        for (const auto& [wid, zone] : row.after)
            EXPECT_EQ(zoneOf(wid), zone) << wid;
    }
}

// Without an entry of its own, a display's layout is looked up under the key of all displays; without a
// scope, only the windows the state still maps are put back, and no claim is made.
TEST_F(WakeSlotReplayTest, theRegionsOfAllDisplaysStandInAndADisplayWithoutScopeOnlyKeepsItsMappings) {
    track();
    struct Row {
        const char* name;
        const char* rememberedUnder;
        bool scoped;
        std::optional<int> remembered; // where com.a's window ends up
        std::size_t claims;
    };
    const Row rows[] = {
        {"its own entry", kMain, true, 1, 2},
        {"the entry of all displays", "__ALL_DISPLAYS__", true, 1, 2},
        {"no scope", kMain, false, std::nullopt, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        resetState();
        memory->removeMemoryScopes([](const std::string&) { return true; });
        if (row.scoped) memory->setMemoryScope(kMain, kLayoutID);
        remember(row.rememberedUnder, {{1, {"com.a"}}});
        const WindowID a = open(appA, 51, around(480, 540));
        const WindowID b = open(appB, 52, around(1440, 540));
        state().attach(WinRef{b, appB, {}, 2, std::nullopt}, 2);
        desktop->loop().runUntilIdle();

        replay().replayWakeSlotAssignments("system-wake-0ms");

        EXPECT_EQ(zoneOf(a), row.remembered);
        EXPECT_EQ(zoneOf(b), 2);
        EXPECT_EQ(claims().size(), row.claims);
        EXPECT_EQ(fs::exists(memoryFile()), row.claims > 0);
        fs::remove(memoryFile());
    }
}

TEST_F(WakeSlotReplayTest, onlyApplicationWindowsOfOtherApplicationsThatPlacementsMayTouchAreSeen) {
    desktop->process().setBundleIdentifier("com.korvane.app");
    const pid_t own = desktop->workspace().launch({.bundleID = "com.korvane.app"});
    const pid_t anonymous = desktop->workspace().launch({.name = "No bundle"});
    const pid_t blank = desktop->workspace().launch({.bundleID = "", .name = "Blank"});
    const pid_t browser = desktop->workspace().launch({.bundleID = "com.google.chrome"});
    // A browser's ghost strip beside its window: the classifier leaves it alone.
    const WindowID strip = desktop->windows().open(browser, {.frame = Rect{100, 100, 250, 600},
                                                             .title = "",
                                                             .subrole = std::nullopt,
                                                             .focused = false,
                                                             .main = false});
    track();

    const json bounds = {{"X", 600}, {"Y", 300}, {"Width", 400}, {"Height", 300}};
    const json good = {{"Number", 500}, {"OwnerPID", appA}, {"Layer", 0}, {"Bounds", bounds}};
    auto without = [&](const char* key) {
        json e = good;
        e.erase(key);
        return e;
    };
    auto with = [&](const char* key, json value) {
        json e = good;
        e[key] = std::move(value);
        return e;
    };
    struct Row {
        const char* name;
        json entry;
        bool seen;
    };
    const Row rows[] = {
        {"an application window", good, true},
        {"a layer given as a whole floating number", with("Layer", 0.0), true},
        {"no layer", without("Layer"), false},
        {"another layer", with("Layer", 3), false},
        {"no number", without("Number"), false},
        {"no owner", without("OwnerPID"), false},
        {"owner 0", with("OwnerPID", 0), false},
        {"this very process", with("OwnerPID", ::getpid()), false},
        {"an owner that runs no application", with("OwnerPID", 99999), false},
        {"an application without a bundle identifier", with("OwnerPID", anonymous), false},
        {"an application with an empty bundle identifier", with("OwnerPID", blank), false},
        {"this program under another process", with("OwnerPID", own), false},
        {"no bounds", without("Bounds"), false},
        {"bounds without a height", with("Bounds", json{{"X", 600}, {"Y", 300}, {"Width", 400}}), false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const int raw = desktop->windowServer().addRawEntry(row.entry);
        const auto seen = observedOn(kMain);
        EXPECT_EQ(std::count(seen.begin(), seen.end(), 500u), row.seen ? 1 : 0);
        EXPECT_EQ(std::count(seen.begin(), seen.end(), strip), 0);
        desktop->windowServer().removeRawEntry(raw);
    }
}

// Window-list bounds count from the primary screen's top edge. Flipping them against the highest top
// edge of all screens would move every window up by the height of a display above the primary, and a
// window near the primary's top would be put back on that display.
TEST_F(WakeSlotReplayTest, aWindowOnThePrimaryIsSeenThereWithItsFrameWhenADisplaySitsAboveIt) {
    constexpr const char* kAbove = "DISPLAY-ABOVE";
    addDisplay(kAbove, Rect{0, 1080, 1920, 1080});
    track();
    const Rect frame{200, 700, 400, 300};
    const WindowID wid = open(appA, 61, frame);
    desktop->loop().runUntilIdle();

    const auto observed = replay().collectWakeObservedWindows();
    ASSERT_TRUE(observed.contains(kMain));
    ASSERT_EQ(observed.at(kMain).size(), 1u);
    EXPECT_EQ(observed.at(kMain).front().wid, wid);
    EXPECT_EQ(observed.at(kMain).front().frame, frame);
    EXPECT_FALSE(observed.contains(kAbove));
}

TEST_F(WakeSlotReplayTest, nothingOnScreenOrNothingToTouchIsSkippedWithoutChangeOrNotice) {
    desktop->windowServer().setShowsSystemEntries(false);
    memory->setMemoryScope(kMain, kLayoutID);
    remember(kMain, {{1, {"com.google.chrome"}}});
    const pid_t browser = desktop->workspace().launch({.bundleID = "com.google.chrome"});
    track();
    for (bool withStrip : {false, true}) {
        SCOPED_TRACE(withStrip);
        capture.log().clear();
        if (withStrip)
            desktop->windows().open(browser, {.frame = Rect{100, 100, 250, 600},
                                              .title = "",
                                              .subrole = std::nullopt,
                                              .focused = false,
                                              .main = false});
        desktop->loop().advance(seconds(0.1)); // the tracker has taken it in
        replay().replayWakeSlotAssignments("system-wake-0ms");
        EXPECT_TRUE(logged("[WakeReplay] skipped reason=system-wake-0ms observed=0"));
        EXPECT_FALSE(logged("[WakeReplay] done"));
    }
    EXPECT_TRUE(state().zoneOf.empty());
    EXPECT_TRUE(refreshes.empty());
    EXPECT_FALSE(fs::exists(memoryFile()));
}

// The claims of a scope become exactly this replay's: numbered per region and application, dated when
// first made, and written only when they differ from what the memory holds.
TEST_F(WakeSlotReplayTest, theScopesClaimsBecomeTheReplaysAndAreWrittenOnlyWhenTheyChange) {
    memory->setMemoryScope(kMain, kLayoutID);
    remember(kMain, {{1, {"com.a", "com.a"}}, {2, {"com.a"}}});
    const Nanos longAgo = desktop->loop().wallClock() - seconds(3600);
    memory->layoutMemory().recordSlotClaims(kMain, kLayoutID,
                                            {{"DISPLAY-1:r1:s0:com.a", 1, "com.a", "hotkey.push", longAgo},
                                             {"DISPLAY-1:r2:s5:com.b", 2, "com.b", "hotkey.push", longAgo}});
    open(appA, 71, around(400, 500));
    open(appA, 72, around(600, 600));
    open(appA, 73, around(1440, 540));
    track();

    const Nanos firstAt = desktop->loop().wallClock();
    replay().replayWakeSlotAssignments("system-wake-0ms");
    const std::vector<SlotClaimSnapshot> expected = {
        {"DISPLAY-1:r1:s0:com.a", 1, "com.a", "wake.replay", firstAt},
        {"DISPLAY-1:r1:s1:com.a", 1, "com.a", "wake.replay", firstAt},
        {"DISPLAY-1:r2:s0:com.a", 2, "com.a", "wake.replay", firstAt},
    };
    EXPECT_EQ(claims(), expected);
    ASSERT_TRUE(fs::exists(memoryFile()));
    EXPECT_EQ(LayoutMemoryStore::fromJSON(json::parse(read(memoryFile())))
                  .slotClaimSnapshots(kMain, kLayoutID)
                  .size(),
              3u);

    // The same placements later: the claims keep their dates and nothing is written, but the menu still
    // hears of the replay().
    fs::remove(memoryFile());
    desktop->loop().advance(seconds(5));
    replay().replayWakeSlotAssignments("system-wake-250ms");
    EXPECT_EQ(claims(), expected);
    EXPECT_FALSE(fs::exists(memoryFile()));
    EXPECT_TRUE(logged("[WakeReplay] done reason=system-wake-250ms displays=1 total=3"));
    EXPECT_EQ(refreshes.size(), 2u);
}

// A file written elsewhere may file one slot under two names; the latest claim of it is the one kept, and
// a replay that finds the window where that claim says leaves it as it is.
TEST_F(WakeSlotReplayTest, aSlotClaimedTwiceInTheFileKeepsItsLatestDateThroughAReplay) {
    memory->setMemoryScope(kMain, kLayoutID);
    remember(kMain, {{1, {"com.a"}}});
    const std::string slot = "DISPLAY-1:r1:s0:com.a";
    auto claimAt = [&](double since2001) {
        return json{{"slotID", slot},
                    {"regionID", 1},
                    {"bundleID", "com.a"},
                    {"source", "wake.replay"},
                    {"committedAt", since2001}};
    };
    auto fileWith = [](const json& snapshots) {
        return json{
            {"schemaVersion", 2},
            {"entries", {{"DISPLAY-1___builtin.split-50-50", {{"regionToSlots", {{"1", {"com.a"}}}}}}}},
            {"slotClaimSnapshots", {{"DISPLAY-1___builtin.split-50-50", snapshots}}}};
    };
    memory->layoutMemory() = LayoutMemoryStore::fromJSON(fileWith({{"newer", claimAt(700000100.0)}}));
    const auto latest = claims();
    memory->layoutMemory() = LayoutMemoryStore::fromJSON(
        fileWith({{"older", claimAt(700000000.0)}, {"newer", claimAt(700000100.0)}}));
    ASSERT_EQ(claims().size(), 1u);
    open(appA, 81, around(480, 540));
    track();

    replay().replayWakeSlotAssignments("system-wake-0ms");

    ASSERT_EQ(claims().size(), 1u);
    EXPECT_EQ(claims().front().committedAt, latest.front().committedAt);
}
