// Rebuilding the window-to-zone mappings on the simulated desktop: the grace of a missing window, what
// counts as missing, claims and wakes that keep a window, window lists that prove nothing, and stacks
// rebuilt in the window server's order.
#include "DisplayFixture.h"

#include "app/WindowMappingRebuild.h"
#include "platform/Format.h"

#include <gtest/gtest.h>

#include <functional>
#include <utility>

using namespace korvane;
using korvane::testing::DisplayTest;
using nlohmann::json;
using Stack = std::vector<WindowID>;

namespace {

constexpr const char* kMain = "DISPLAY-1";
constexpr const char* kSide = "DISPLAY-2";
// Reaching above the primary: its top edge must not shift window bounds.
const Rect kSideFrame{1920, 400, 1440, 900};
constexpr WindowID kListed = 700; // a window the tests list, unlist and change by hand

class WindowMappingRebuildTest : public DisplayTest {
  protected:
    void SetUp() override {
        DisplayTest::SetUp();
        addDisplay(kMain, Rect{0, 0, 1920, 1080});
        addDisplay(kSide, kSideFrame);
        editor = desktop->workspace().launch({.bundleID = "com.example.editor", .name = "Editor"});
        reset();
    }
    // Two zones side by side on each display, nothing mapped, nothing seen missing.
    void reset() {
        rebuild = std::make_shared<WindowMappingRebuild>(*desktop, multiState, memory);
        rebuild->isWakeRecoveryInProgress = [this] { return recovering; };
        for (auto [uuid, area] : {std::pair{kMain, Rect{0, 0, 1920, 1080}}, {kSide, kSideFrame}}) {
            Layout layout{uuid, {}, {}};
            for (int id = 1; id <= 2; ++id)
                layout.zones[id] = Zone{id, Rect{area.minX() + (id - 1) * 960, area.minY(), 960, 900}, {}, 0};
            multiState->states[uuid] = std::make_shared<WMState>(layout);
        }
    }
    WindowID open(const Rect& frame, std::optional<WindowID> number = std::nullopt) {
        return desktop->windows().open(editor, {.frame = frame, .number = number});
    }
    // Mapped and on top of the zone's stack, as a push leaves it.
    void place(const std::string& display, WindowID wid, int zone) {
        multiState->states.at(display)->attach(WinRef{wid, editor, {}, std::nullopt, std::nullopt}, zone);
    }
    bool mapped(WindowID wid, const std::string& display = kMain) const {
        return multiState->states.at(display)->zoneOf.contains(wid);
    }
    Stack stack(const std::string& display, int zone) const {
        return multiState->states.at(display)->layout.zones.at(zone).stack;
    }
    // A rebuild, time passing, and another rebuild, both allowed to prune.
    void rebuildsApart(double s, const std::string& reason = "display-change:probe:manual:test") {
        rebuild->rebuildWindowRegionMappings(true, reason);
        desktop->loop().advance(seconds(s));
        rebuild->rebuildWindowRegionMappings(true, reason);
    }

    pid_t editor = 0;
    bool recovering = false;
    std::shared_ptr<WindowMappingRebuild> rebuild;
};

TEST_F(WindowMappingRebuildTest, aMissingWindowIsPrunedOnceMissingForTheWholeGraceAndKeptBefore) {
    for (auto [later, pruned] : {std::pair{7.9, false}, {8.0, true}, {30.0, true}}) {
        SCOPED_TRACE(later);
        reset();
        const WindowID gone = open(Rect{100, 100, 400, 300});
        place(kMain, gone, 1);
        desktop->windows().close(gone);
        rebuild->rebuildWindowRegionMappings(false, "manual-check"); // without permission: only dated
        desktop->loop().advance(seconds(later));
        rebuild->rebuildWindowRegionMappings(true, "display-change:x");
        EXPECT_EQ(mapped(gone), !pruned);
        EXPECT_EQ(stack(kMain, 1).empty(), pruned);
        EXPECT_EQ(logged(platform::format("reconcile display=DISPLAY-1 removed=1 sample=[%u]", gone)),
                  pruned);
    }
}

// The live test asks about the one window: an entry on the application layer, or one whose layer says
// nothing, keeps it alive. A gone window mapped to a zone its layout lacks still leaves for good.
TEST_F(WindowMappingRebuildTest, aWindowIsMissingWhenUnlistedOrOffTheApplicationLayer) {
    struct Row {
        const char* name;
        std::optional<json> layer; // absent: no layer key
        bool listed;
        int zone;
        bool pruned;
    };
    const Row rows[] = {
        {"on layer 0", json(0), true, 2, false},
        {"without a layer", std::nullopt, true, 2, false},
        {"with a layer that is no number", json("front"), true, 2, false},
        {"moved to layer 3", json(3), true, 2, true},
        {"not listed", json(0), false, 2, true},
        {"not listed, in a zone the layout lacks", json(0), false, 7, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        reset();
        multiState->states[kMain]->zoneOf[kListed] = row.zone;
        json e = {{"Number", kListed},
                  {"OwnerPID", editor},
                  {"Bounds", {{"X", 10}, {"Y", 10}, {"Width", 9}, {"Height", 9}}}};
        if (row.layer) e["Layer"] = *row.layer;
        const int raw = row.listed ? desktop->windowServer().addRawEntry(e) : 0;
        rebuildsApart(8.0);
        EXPECT_EQ(mapped(kListed), !row.pruned);
        if (row.listed) desktop->windowServer().removeRawEntry(raw);
    }
}

// Wake passes prune and date nothing and rebuild the stacks of every display that maps a window; the
// grace runs only from a sighting outside the wake.
TEST_F(WindowMappingRebuildTest, wakePassesPruneAndDateNothingAndRebuildEveryMappedDisplaysStacks) {
    const WindowID back = open(Rect{100, 100, 400, 300});
    const WindowID front = open(Rect{200, 100, 400, 300});
    struct Row {
        const char* reason;
        bool recovering;
        const char* summary;
    };
    const Row rows[] = {
        {"system-wake-450ms", false, "reason=system-wake-450ms allowPrune=true tracked=3"},
        {"display-change:x", true,
         "reason=display-change:x allowPrune=true effectiveAllowPrune=false tracked=3"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.reason);
        reset();
        place(kMain, back, 1);
        place(kMain, front, 1); // against the window server's order, and covering the mapping
        place(kMain, kListed, 2);
        recovering = row.recovering;
        rebuildsApart(60.0, row.reason);
        EXPECT_TRUE(mapped(kListed));
        EXPECT_TRUE(rebuild->missingWindowFirstSeenAt().empty());
        EXPECT_EQ(stack(kMain, 1), (Stack{back, front}));
        EXPECT_TRUE(logged(row.summary));
        EXPECT_EQ(logged("effectiveAllowPrune=false wakeRecovery=1"), row.recovering);

        recovering = false;
        rebuildsApart(7.9);
        EXPECT_TRUE(mapped(kListed));
    }
}

// A committed claim of the application on the zone stands for one window there: a live window met first
// uses it up, a missing one met first is kept by it. The mapping's order decides which comes first.
TEST_F(WindowMappingRebuildTest, aClaimOnTheZoneKeepsAMissingWindowUnlessALiveOneUsedItUp) {
    memory->setMemoryScope(kMain, "layout.two");
    memory->layoutMemory().recordSlotClaims(
        kMain, "layout.two", {SlotClaimSnapshot{"DISPLAY-1:r2", 2, "com.example.editor", "hotkey.push", 0}});
    for (auto [missing, kept] : {std::pair<WindowID, bool>{800, true}, {950, false}}) {
        SCOPED_TRACE(missing);
        reset();
        const WindowID live = open(Rect{1000, 100, 400, 300}, 900);
        place(kMain, live, 2);
        place(kMain, missing, 2);
        rebuildsApart(20.0);
        EXPECT_EQ(mapped(missing), kept);
        EXPECT_TRUE(mapped(live));
        desktop->windows().close(live);
    }
}

// A list that cannot be read, or an empty one, proves nothing: no window is pruned for being absent.
TEST_F(WindowMappingRebuildTest, aWindowListThatCannotBeReadOrIsEmptyChangesNothing) {
    auto& server = desktop->windowServer();
    std::optional<int> junk;
    const std::pair<const char*, std::function<void()>> rows[] = {
        {"no list", [&] { server.setAvailable(false); }},
        {"an entry that is no dictionary",
         [&] {
             junk = server.addRawEntry(json::array({1, 2}));
         }},
        {"an empty list", [&] { server.setShowsSystemEntries(false); }},
    };
    for (const auto& [name, spoil] : rows) {
        SCOPED_TRACE(name);
        reset();
        place(kMain, kListed, 1);
        rebuild->rebuildWindowRegionMappings(true, "display-change:first"); // dated; the stack covers it
        multiState->states[kMain]->layout.zones.at(1).stack.clear();
        desktop->loop().advance(seconds(9));
        spoil();
        capture.log().clear();
        rebuild->rebuildWindowRegionMappings(true, "display-change:spoilt");
        EXPECT_TRUE(mapped(kListed));
        EXPECT_TRUE(stack(kMain, 1).empty());
        EXPECT_EQ(capture.log().count("[RebuildMappings] reason="), 0u);
        EXPECT_EQ(logged("[RebuildMappings] skipped: windowListEmpty"),
                  std::string_view(name) == "an empty list");
        server.setAvailable(true);
        server.setShowsSystemEntries(true);
        if (junk) server.removeRawEntry(*std::exchange(junk, std::nullopt));
    }
}

// Stacks that no longer cover the mapping are rebuilt from the windows the list puts on the display, so
// that each zone's active (last) entry is its front-most window; mapped windows shown elsewhere go to the
// bottom in the mapping's order. Stacks that cover it stay as they are.
TEST_F(WindowMappingRebuildTest, stacksThatNoLongerCoverTheMappingFollowTheWindowListOnTheirDisplay) {
    const WindowID a = open(Rect{100, 100, 400, 300});
    const WindowID b = open(Rect{120, 120, 400, 300});
    const WindowID c = open(Rect{1100, 100, 400, 300});
    // High on the display that reaches above the primary: flipped against that display's top edge it
    // would lie on no display, and so count as the primary's.
    const WindowID elsewhere = open(Rect{2000, 1100, 400, 200});
    auto& state = *multiState->states[kMain];
    for (auto [wid, zone] : {std::pair{a, 1}, {b, 1}, {c, 2}, {elsewhere, 2}})
        state.zoneOf[wid] = zone; // mapped, but in no stack

    rebuild->rebuildWindowRegionMappings(false, "manual-check");
    EXPECT_EQ(stack(kMain, 1), (Stack{a, b}));
    EXPECT_EQ(state.layout.zones.at(1).active, 1);
    EXPECT_EQ(stack(kMain, 2), (Stack{elsewhere, c}));
    EXPECT_EQ(state.layout.zones.at(2).active, 1);
    EXPECT_TRUE(logged("[RebuildMappings] stacks rebuilt display=DISPLAY-1 ordered=4 mapping=4"));

    desktop->windows().raise(a);
    rebuild->rebuildWindowRegionMappings(false, "manual-check");
    EXPECT_EQ(stack(kMain, 1), (Stack{a, b}));

    // A window nobody placed makes the list as long as the mapping: the one shown elsewhere still keeps
    // its place in its zone.
    open(Rect{300, 300, 400, 300});
    state.layout.zones.at(2).stack.clear();
    rebuild->rebuildWindowRegionMappings(false, "manual-check");
    EXPECT_EQ(stack(kMain, 2), (Stack{elsewhere, c}));
}

} // namespace
