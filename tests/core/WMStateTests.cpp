// Tests of the per-display zone state: the stack operations, their edge cases and the invariants they keep
// under long random sequences.
#include "core/MultiDisplayState.h"
#include "core/WMState.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <sstream>

namespace korvane {
namespace {

using Stack = std::vector<WindowID>;

Zone makeZone(int id, Stack stack = {}, std::optional<int> active = std::nullopt) {
    Zone z;
    z.id = id;
    z.frame = Rect(100.0 * id, 0, 100, 200);
    z.active = active ? *active : (stack.empty() ? 0 : static_cast<int>(stack.size()) - 1);
    z.stack = std::move(stack);
    return z;
}

Layout makeLayout(std::vector<Zone> zones, std::string screen = "DISPLAY-A") {
    Layout layout;
    layout.screenId = std::move(screen);
    layout.gridSpec = {2, 2, 0, 0};
    for (auto& z : zones)
        layout.zones.emplace(z.id, z);
    return layout;
}

// What a platform would give as the application's element.
platform::AXElement appElement(pid_t pid) {
    return {platform::AXElement::Kind::application, pid, 0};
}

WinRef ref(WindowID wid, pid_t pid = 100) {
    WinRef r;
    r.wid = wid;
    r.pid = pid;
    r.ax = platform::AXElement{platform::AXElement::Kind::window, pid, wid};
    return r;
}

// A state whose zones hold the given stacks, with every window attached in stack order.
WMState stateWith(const std::map<int, Stack>& stacks) {
    std::vector<Zone> zones;
    for (const auto& [id, stack] : stacks)
        zones.push_back(makeZone(id));
    WMState s(makeLayout(zones));
    for (const auto& [id, stack] : stacks)
        for (WindowID wid : stack)
            s.attach(ref(wid), id);
    return s;
}

Stack stackOf(const WMState& s, int zone) {
    return s.zone(zone).value().stack;
}
int activeOf(const WMState& s, int zone) {
    return s.zone(zone).value().active;
}

// Invariant checker for the random sequences.

enum class Op { attach, detach, cycle, applyLayout, updateZones, replaceWindow };

struct StepInfo {
    Op op;
    WindowID wid = 0;      // attach: the window; replaceWindow: the old number
    WindowID newWid = 0;   // replaceWindow
    int zone = 0;          // attach / detach / cycle
    bool succeeded = true; // detach / replaceWindow result
    bool layoutHadZones = true;
    WMState::AttachResult attachResult;
    WMState::CycleResult cycleResult;
};

std::set<WindowID> keysOf(const std::map<WindowID, WinRef>& wins) {
    std::set<WindowID> keys;
    for (const auto& [wid, r] : wins)
        keys.insert(wid);
    return keys;
}

std::set<int> zoneIds(const Layout& layout) {
    std::set<int> ids;
    for (const auto& [key, z] : layout.zones)
        ids.insert(key);
    return ids;
}

// The per-operation values of `active` are pinned by the table tests below; here only what must hold
// after any step is checked.
void checkInvariants(const WMState& before, const WMState& after, const StepInfo& step) {
    static const char* names[] = {"attach", "detach", "cycle", "applyLayout", "updateZones", "replaceWindow"};
    std::ostringstream out;
    out << names[static_cast<int>(step.op)] << " wid=" << step.wid << " new=" << step.newWid
        << " zone=" << step.zone;
    const std::string where = out.str();

    // Active is 0 for an empty stack and within it otherwise; every stack entry is mapped to its zone.
    for (const auto& [key, z] : after.layout.zones) {
        EXPECT_TRUE(z.stack.empty() ? z.active == 0 : z.active >= 0 && z.active < int(z.stack.size()))
            << where << " zone " << key << " active " << z.active;
        for (WindowID wid : z.stack) {
            auto mapped = after.zoneOf.find(wid);
            EXPECT_TRUE(mapped != after.zoneOf.end() && mapped->second == key) << where << " wid " << wid;
        }
    }

    switch (step.op) {
    case Op::attach: {
        // In the stack of exactly the zone that zoneOf names, once, on top.
        ASSERT_TRUE(after.zoneOf.contains(step.wid)) << where;
        EXPECT_EQ(after.zoneOf.at(step.wid), step.zone) << where;
        for (const auto& [key, z] : after.layout.zones)
            EXPECT_EQ(std::count(z.stack.begin(), z.stack.end(), step.wid), key == step.zone ? 1 : 0)
                << where << " zone " << key;
        if (auto target = after.zone(step.zone)) {
            ASSERT_EQ(step.attachResult.newTop, std::optional<WindowID>(step.wid)) << where;
            EXPECT_EQ(target->stack.back(), step.wid) << where;
            EXPECT_EQ(target->active, static_cast<int>(target->stack.size()) - 1) << where;
        } else {
            EXPECT_FALSE(step.attachResult.newTop) << where;
        }
        auto previous = before.zoneOf.find(step.wid);
        EXPECT_EQ(step.attachResult.previousZone,
                  previous == before.zoneOf.end() ? std::nullopt : std::optional<int>(previous->second))
            << where;
        break;
    }
    case Op::cycle:
        if (auto z = after.zone(step.zone); z && z->stack.size() >= 2) {
            EXPECT_EQ(step.cycleResult.topAfter, std::optional<WindowID>(z->stack.back())) << where;
            EXPECT_EQ(z->active, static_cast<int>(z->stack.size()) - 1) << where;
            auto sortedBefore = before.zone(step.zone)->stack, sortedAfter = z->stack;
            std::sort(sortedBefore.begin(), sortedBefore.end());
            std::sort(sortedAfter.begin(), sortedAfter.end());
            EXPECT_EQ(sortedBefore, sortedAfter) << where << ": a cycle only reorders";
        } else {
            EXPECT_EQ(before.layout, after.layout) << where << ": nothing to cycle";
        }
        break;
    case Op::applyLayout:
        if (!step.layoutHadZones) {
            EXPECT_EQ(before.zoneOf, after.zoneOf) << where << ": no zones, same mapping";
        }
        break;
    case Op::updateZones:
        for (const auto& [key, z] : after.layout.zones) {
            EXPECT_EQ(std::set<WindowID>(z.stack.begin(), z.stack.end()).size(), z.stack.size()) << where;
            if (!z.stack.empty()) {
                EXPECT_EQ(z.active, static_cast<int>(z.stack.size()) - 1) << where;
            }
        }
        EXPECT_EQ(before.zoneOf, after.zoneOf) << where;
        break;
    default:
        break;
    }

    // wins only grows (attach) or is rekeyed (replaceWindow).
    std::set<WindowID> expectedKeys = keysOf(before.wins);
    if (step.op == Op::attach) expectedKeys.insert(step.wid);
    if (step.op == Op::replaceWindow && step.succeeded && step.wid != step.newWid) {
        expectedKeys.erase(step.wid);
        expectedKeys.insert(step.newWid);
    }
    EXPECT_EQ(keysOf(after.wins), expectedKeys) << where;
    for (const auto& [wid, r] : after.wins)
        EXPECT_EQ(r.wid, wid) << where;

    // Only applyLayout changes the layout's identity.
    if (step.op != Op::applyLayout) {
        EXPECT_EQ(before.layout.screenId, after.layout.screenId) << where;
        EXPECT_EQ(before.layout.gridSpec, after.layout.gridSpec) << where;
        EXPECT_EQ(zoneIds(before.layout), zoneIds(after.layout)) << where;
    }
}

class RandomSequence {
  public:
    explicit RandomSequence(unsigned seed) : rng_(seed) {}

    int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
    bool chance(int percent) { return pick(1, 100) <= percent; }
    WindowID window() { return static_cast<WindowID>(pick(1, 12)); }
    int zoneID() { return pick(0, 6); } // layouts here only ever have zones 1 to 5

    Layout layout() {
        std::vector<Zone> zones;
        if (!chance(10)) {
            for (int id = 1; id <= 5; ++id) {
                if (chance(30)) continue;
                Stack stack;
                // A zone may arrive carrying entries of its own, duplicates included.
                if (chance(20))
                    for (int i = pick(1, 4); i > 0; --i)
                        stack.push_back(window());
                Zone z = makeZone(id, stack);
                z.frame = Rect(pick(0, 500), pick(0, 500), pick(10, 400), pick(10, 400));
                z.active = pick(-2, 6);
                zones.push_back(z);
            }
        }
        Layout l = makeLayout(zones, chance(50) ? "DISPLAY-A" : "DISPLAY-B");
        l.gridSpec = {pick(1, 3), pick(1, 3), static_cast<double>(pick(0, 8)),
                      static_cast<double>(pick(0, 8))};
        return l;
    }

    Stack order() {
        Stack list;
        for (int i = pick(0, 16); i > 0; --i)
            list.push_back(window());
        return list;
    }

  private:
    std::mt19937 rng_;
};

TEST(WMStateInvariants, holdAfterEveryStepOfRandomSequences) {
    for (unsigned seed : {1u, 7u, 42u, 2024u, 99991u}) {
        RandomSequence rnd(seed);
        WMState state(makeLayout({makeZone(1), makeZone(2), makeZone(3), makeZone(4)}));
        for (int i = 0; i < 3000; ++i) {
            const WMState before = state;
            StepInfo step;
            switch (rnd.pick(0, 9)) {
            case 0:
            case 1:
            case 2:
                step.op = Op::attach;
                step.wid = rnd.window();
                step.zone = rnd.zoneID();
                step.attachResult = state.attach(ref(step.wid), step.zone);
                break;
            case 3:
                step.op = Op::detach;
                step.wid = rnd.window();
                // Callers detach a window from the zone it is mapped to, or name a zone that is gone.
                if (!state.zoneOf.contains(step.wid)) {
                    step.zone = rnd.zoneID();
                } else {
                    step.zone = rnd.chance(75) ? state.zoneOf.at(step.wid) : (rnd.chance(50) ? 0 : 6);
                }
                step.succeeded = state.detach(step.wid, step.zone);
                EXPECT_EQ(step.succeeded, before.layout.zones.contains(step.zone));
                break;
            case 4:
            case 5:
                step.op = Op::cycle;
                step.zone = rnd.zoneID();
                step.cycleResult = state.cycle(step.zone, rnd.pick(-1, 1));
                break;
            case 6: {
                step.op = Op::applyLayout;
                Layout next = rnd.layout();
                step.layoutHadZones = !next.zones.empty();
                state.applyLayout(next);
                EXPECT_EQ(state.layout.screenId, next.screenId);
                EXPECT_EQ(state.layout.gridSpec, next.gridSpec);
                break;
            }
            case 7:
                step.op = Op::updateZones;
                state.updateZones(rnd.order());
                break;
            default: {
                step.op = Op::replaceWindow;
                step.wid = !state.zoneOf.empty() && rnd.chance(80)
                               ? std::next(state.zoneOf.begin(),
                                           rnd.pick(0, static_cast<int>(state.zoneOf.size()) - 1))
                                     ->first
                               : rnd.window();
                step.newWid =
                    rnd.chance(10) ? step.wid : rnd.window() + 20 * static_cast<WindowID>(rnd.pick(0, 1));
                std::optional<platform::AXElement> ax;
                if (rnd.chance(50))
                    ax = platform::AXElement{platform::AXElement::Kind::window, 7, step.newWid};
                step.succeeded =
                    state.replaceWindow(step.wid, step.newWid, 7, ax, std::nullopt, appElement(7));
                EXPECT_EQ(step.succeeded, step.wid == step.newWid || before.zoneOf.contains(step.wid));
                if (step.succeeded && step.wid != step.newWid) {
                    EXPECT_EQ(state.zoneOf.at(step.newWid), before.zoneOf.at(step.wid));
                    EXPECT_FALSE(state.zoneOf.contains(step.wid));
                }
                break;
            }
            }
            checkInvariants(before, state, step);
            if (::testing::Test::HasFailure()) {
                ADD_FAILURE() << "seed " << seed << " step " << i;
                return;
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------------
// applyLayout

TEST(WMStateApplyLayout, sameZoneIdsWithOtherFramesKeepStacksOrderAndActive) {
    WMState s = stateWith({{1, {10, 11, 12}}, {2, {20}}});
    s.layout.zones[1].active = 1;
    Layout next = makeLayout({makeZone(1), makeZone(2)}, "DISPLAY-B");
    next.zones[1].frame = Rect(0, 0, 640, 480);
    s.applyLayout(next);

    EXPECT_EQ(stackOf(s, 1), (Stack{10, 11, 12}));
    EXPECT_EQ(activeOf(s, 1), 1);
    EXPECT_EQ(stackOf(s, 2), (Stack{20}));
    EXPECT_EQ(s.zone(1)->frame, Rect(0, 0, 640, 480));
    EXPECT_EQ(s.layout.screenId, "DISPLAY-B");
}

TEST(WMStateApplyLayout, windowsOfVanishedZonesLoseTheirZoneButStayKnown) {
    WMState s = stateWith({{1, {10}}, {2, {20, 21}}});
    s.applyLayout(makeLayout({makeZone(1), makeZone(3)}));
    for (WindowID wid : {20, 21}) {
        EXPECT_FALSE(s.zoneOf.contains(wid));
        EXPECT_TRUE(s.wins.contains(wid));
    }
    EXPECT_FALSE(s.zone(2));
    EXPECT_TRUE(stackOf(s, 3).empty());
    EXPECT_EQ(stackOf(s, 1), (Stack{10}));

    // A layout without zones drops every zone but keeps the mapping; zones that come back bring only
    // their own entries, still checked against it.
    const auto mapping = s.zoneOf;
    s.applyLayout(makeLayout({}));
    EXPECT_TRUE(s.layout.zones.empty());
    EXPECT_EQ(s.zoneOf, mapping);
    s.applyLayout(makeLayout({makeZone(1, {10, 20}), makeZone(2)}));
    EXPECT_EQ(stackOf(s, 1), (Stack{10}));
    EXPECT_TRUE(stackOf(s, 2).empty());
}

TEST(WMStateApplyLayout, incomingEntriesAreKeptOnlyWhereTheMappingConfirmsThem) {
    WMState s = stateWith({{1, {10}}});
    s.attach(ref(30), 3); // mapped to a zone the layout does not have yet
    s.applyLayout(makeLayout({makeZone(1), makeZone(3, {30, 10, 30, 99}, 2)}));
    // 10 belongs to zone 1 and 99 to no zone; 30 passes twice and stays twice.
    EXPECT_EQ(stackOf(s, 3), (Stack{30, 30}));
    EXPECT_EQ(activeOf(s, 3), 1);
    EXPECT_EQ(stackOf(s, 1), (Stack{10}));

    // An active entry filtered out of a kept zone moves active to the new top.
    WMState t = stateWith({{1, {10, 11, 12}}});
    t.layout.zones[1].active = 2;
    t.zoneOf[12] = 2; // remapped elsewhere without touching the stack
    t.applyLayout(makeLayout({makeZone(1), makeZone(2)}));
    EXPECT_EQ(stackOf(t, 1), (Stack{10, 11}));
    EXPECT_EQ(activeOf(t, 1), 1);
}

// ---------------------------------------------------------------------------------------------------
// attach / detach

TEST(WMStateAttach, toAMissingZoneOrTheSameZoneAgain) {
    WMState s = stateWith({{1, {10, 11}}});
    auto again = s.attach(ref(10), 1);
    EXPECT_EQ(stackOf(s, 1), (Stack{11, 10}));
    EXPECT_EQ(activeOf(s, 1), 1);
    EXPECT_EQ(again.previousZone, std::optional<int>(1));
    EXPECT_EQ(again.newTop, std::optional<WindowID>(10));

    // The mapping is recorded and the old zone left even when the layout lacks the new zone.
    auto missing = s.attach(ref(10), 9);
    EXPECT_EQ(missing.previousZone, std::optional<int>(1));
    EXPECT_FALSE(missing.newTop);
    EXPECT_EQ(s.zoneOf.at(10), 9);
    EXPECT_EQ(stackOf(s, 1), (Stack{11}));

    EXPECT_FALSE(s.detach(11, 7)) << "no zone 7";
    EXPECT_EQ(s.zoneOf.at(11), 1);
    EXPECT_EQ(stackOf(s, 1), (Stack{11}));
}

TEST(WMStateDetach, activeIsKeptWhenStillWithinAndPulledBackOtherwise) {
    struct Row {
        Stack stack;
        int active;
        WindowID removed;
        Stack expectedStack;
        int expectedActive;
    };
    const Row rows[] = {
        {{10, 11, 12, 13}, 2, 10, {11, 12, 13}, 2}, // below active: not shifted
        {{10, 11, 12}, 2, 10, {11, 12}, 1},         // active now past the end
        {{10, 11, 12}, 0, 12, {10, 11}, 0},
        {{10, 11, 10}, 2, 10, {11}, 0}, // every occurrence goes
        {{10}, 0, 10, {}, 0},
    };
    for (const auto& row : rows) {
        WMState s(makeLayout({makeZone(1, row.stack, row.active)}));
        s.zoneOf[row.removed] = 1;
        EXPECT_TRUE(s.detach(row.removed, 1));
        EXPECT_EQ(stackOf(s, 1), row.expectedStack);
        EXPECT_EQ(activeOf(s, 1), row.expectedActive);
        EXPECT_FALSE(s.zoneOf.contains(row.removed));
    }
}

// ---------------------------------------------------------------------------------------------------
// cycle

TEST(WMStateCycle, rotatesAndReportsTops) {
    struct Row {
        Stack stack;
        int active;
        int direction;
        Stack expected;
        std::optional<WindowID> before, after;
    };
    const Row rows[] = {
        {{1, 2, 3}, 2, 1, {2, 3, 1}, 3, 1},       // forward: bottom to top
        {{1, 2, 3}, 2, 0, {2, 3, 1}, 3, 1},       // zero counts as forward
        {{1, 2, 3}, 2, -1, {3, 1, 2}, 3, 2},      // backward: top to bottom
        {{1, 2, 3, 4}, 1, 1, {1, 2, 4, 3}, 2, 3}, // forward from an inner active entry
        {{1, 2, 3}, -1, 1, {2, 3, 1}, 3, 1},      // a negative active counts as the top
        {{1, 2, 3}, 7, -1, {3, 1, 2}, 3, 2},      // so does one past the end
        {{5}, 0, 1, {5}, 5, 5},                   // a single window stays
        {{}, 0, -1, {}, std::nullopt, std::nullopt},
    };
    for (const auto& row : rows) {
        WMState s(makeLayout({makeZone(1, row.stack, row.active)}));
        auto result = s.cycle(1, row.direction);
        EXPECT_EQ(stackOf(s, 1), row.expected);
        EXPECT_EQ(activeOf(s, 1), std::max(0, static_cast<int>(row.stack.size()) - 1));
        EXPECT_EQ(result.topBefore, row.before);
        EXPECT_EQ(result.topAfter, row.after);
    }
    WMState s(makeLayout({makeZone(1, {5})}));
    auto missing = s.cycle(3, 1);
    EXPECT_FALSE(missing.topBefore || missing.topAfter);
}

// ---------------------------------------------------------------------------------------------------
// updateZones

TEST(WMStateUpdateZones, rebuildsStacksInListOrderOncePerWindow) {
    WMState s = stateWith({{1, {10, 11}}, {2, {20}}});
    s.attach(ref(40), 4); // mapped to a zone the layout lacks
    s.wins[50] = ref(50); // known but unmapped
    s.updateZones({11, 20, 10, 11, 40, 50, 77});
    EXPECT_EQ(stackOf(s, 1), (Stack{11, 10}));
    EXPECT_EQ(activeOf(s, 1), 1);
    EXPECT_EQ(stackOf(s, 2), (Stack{20}));
    EXPECT_EQ(s.zoneOf.at(40), 4);

    // Unlisted windows end in no stack but stay mapped.
    s.updateZones({});
    EXPECT_TRUE(stackOf(s, 1).empty());
    EXPECT_EQ(activeOf(s, 1), 0);
    EXPECT_EQ(s.zoneOf.at(10), 1);
}

// ---------------------------------------------------------------------------------------------------
// replaceWindow

TEST(WMStateReplaceWindow, newNumberTakesTheOldPlaceInTheStack) {
    struct Row {
        const char* what;
        std::map<int, Stack> stacks;
        int active;
        WindowID oldWid, newWid;
        Stack expectedZone1;
        int expectedActive;
    };
    const Row rows[] = {
        {"old in the middle", {{1, {10, 11, 12}}}, 2, 11, 50, {10, 50, 12}, 2},
        {"old at the bottom", {{1, {10, 11, 12}}}, 2, 10, 50, {50, 11, 12}, 2},
        {"new already below old in the zone", {{1, {50, 10, 11}}}, 2, 11, 50, {10, 50}, 1},
        {"new already above old in the zone", {{1, {10, 11, 50}}}, 2, 10, 50, {50, 11}, 1},
        {"new in another zone", {{1, {10, 11}}, {2, {50, 51}}}, 1, 10, 50, {50, 11}, 1},
        {"old the only entry, new on top", {{1, {10, 50}}}, 1, 10, 50, {50}, 0},
    };
    for (const auto& row : rows) {
        WMState s = stateWith(row.stacks);
        s.layout.zones[1].active = row.active;
        EXPECT_TRUE(s.replaceWindow(row.oldWid, row.newWid, 1, std::nullopt, std::nullopt, appElement(1)))
            << row.what;
        EXPECT_EQ(stackOf(s, 1), row.expectedZone1) << row.what;
        EXPECT_EQ(activeOf(s, 1), row.expectedActive) << row.what;
        EXPECT_EQ(s.zoneOf.at(row.newWid), 1) << row.what;
        EXPECT_FALSE(s.zoneOf.contains(row.oldWid)) << row.what;
        if (row.stacks.contains(2)) {
            EXPECT_EQ(stackOf(s, 2), (Stack{51})) << row.what;
        }
    }
}

TEST(WMStateReplaceWindow, edgeCasesOfTheOldNumber) {
    WMState s = stateWith({{1, {10, 11}}});
    s.wins[30] = ref(30);
    const WMState before = s;
    // Equal numbers succeed without change; an unmapped old number fails.
    EXPECT_TRUE(s.replaceWindow(10, 10, 1, std::nullopt, Rect(1, 2, 3, 4), appElement(1)));
    EXPECT_FALSE(s.replaceWindow(30, 31, 1, std::nullopt, std::nullopt, appElement(1)));
    EXPECT_EQ(s.layout, before.layout);
    EXPECT_EQ(s.zoneOf, before.zoneOf);
    EXPECT_EQ(keysOf(s.wins), keysOf(before.wins));
    EXPECT_EQ(s.wins.at(10).lastFrame, std::nullopt);

    // Mapped but not in its stack: the new number goes on top.
    s.zoneOf[60] = 1;
    s.wins[60] = ref(60);
    EXPECT_TRUE(s.replaceWindow(60, 61, 1, std::nullopt, std::nullopt, appElement(1)));
    EXPECT_EQ(stackOf(s, 1), (Stack{10, 11, 61}));

    // Its zone missing from the layout: the mapping still moves.
    s.attach(ref(70), 5);
    EXPECT_TRUE(s.replaceWindow(70, 71, 3, std::nullopt, std::nullopt, appElement(3)));
    EXPECT_EQ(s.zoneOf.at(71), 5);
    EXPECT_EQ(stackOf(s, 1), (Stack{10, 11, 61}));
}

TEST(WMStateReplaceWindow, newRecordInheritsFromTheOldOneOrUsesTheApplicationElement) {
    const platform::AXElement given{platform::AXElement::Kind::window, 9, 999};
    const platform::AXElement app = appElement(9);
    WinRef old = ref(10, 4);
    old.lastZone = 3;
    old.lastFrame = Rect(5, 5, 50, 50);
    struct Row {
        bool oldRecord; // else mapped in zone 2 but never attached
        std::optional<platform::AXElement> ax;
        std::optional<Rect> frame;
        platform::AXElement expectedAx;
        std::optional<Rect> expectedFrame;
        int expectedLastZone;
    };
    const Row rows[] = {
        {true, std::nullopt, std::nullopt, old.ax, old.lastFrame, 3},
        {true, given, Rect(1, 1, 10, 10), given, Rect(1, 1, 10, 10), 3},
        {false, given, Rect(1, 2, 3, 4), given, Rect(1, 2, 3, 4), 2},
        {false, std::nullopt, std::nullopt, app, std::nullopt, 2},
    };
    for (const auto& row : rows) {
        WMState s(makeLayout({makeZone(2, {10})}));
        if (row.oldRecord)
            s.attach(old, 2);
        else
            s.zoneOf[10] = 2;
        ASSERT_TRUE(s.replaceWindow(10, 11, 9, row.ax, row.frame, appElement(9)));
        const WinRef& r = s.wins.at(11);
        EXPECT_EQ(r.wid, 11u);
        EXPECT_EQ(r.pid, 9);
        EXPECT_EQ(r.ax, row.expectedAx);
        EXPECT_EQ(r.lastZone, std::optional<int>(row.expectedLastZone));
        EXPECT_EQ(r.lastFrame, row.expectedFrame);
        EXPECT_FALSE(s.wins.contains(10));
    }
}

// ---------------------------------------------------------------------------------------------------
// MultiDisplayState

TEST(MultiDisplayState, activeStateNeedsANamedExistingDisplay) {
    MultiDisplayState multi;
    auto a = std::make_shared<WMState>(makeLayout({makeZone(1)}, "A"));
    multi.states["A"] = a;
    multi.states[""] = std::make_shared<WMState>(makeLayout({}, ""));
    EXPECT_EQ(multi.activeState(), nullptr); // empty UUID, even with a state stored under ""
    multi.activeDisplayUUID = "B";
    EXPECT_EQ(multi.activeState(), nullptr);
    multi.activeDisplayUUID = "A";
    EXPECT_EQ(multi.activeState(), a);
}

TEST(WMStateDetach, fromAZoneThatDoesNotHoldTheWindowChangesNothing) {
    WMState s = stateWith({{1, {10, 11}}, {2, {12}}});
    EXPECT_FALSE(s.detach(11, 2));
    EXPECT_EQ(stackOf(s, 1), (Stack{10, 11}));
    EXPECT_EQ(s.zoneOf.at(11), 1);

    s.layout.zones[2].stack.push_back(10); // a stray entry: it goes, the window's place stays
    EXPECT_TRUE(s.detach(10, 2));
    EXPECT_EQ(stackOf(s, 2), (Stack{12}));
    EXPECT_EQ(s.zoneOf.at(10), 1);
}

} // namespace
} // namespace korvane
